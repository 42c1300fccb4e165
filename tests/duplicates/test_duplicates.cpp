#include "TestTree.h"
#include "duplicates/ContentMatch.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"
#include "model/LibraryState.h"
#include "platform/Md5.h"
#include "platform/PosixFileSystem.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <future>

using namespace Qt::StringLiterals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

constexpr qsizetype chunk = ReadBuffers::chunkSize;

B noise(qsizetype size, quint32 seed)
{
    std::vector<quint32> words(size_t(size / 4 + 1));
    QRandomGenerator(seed).fillRange(words.data(), qsizetype(words.size()));
    return B(reinterpret_cast<const char *>(words.data()), size);
}

B flipped(B bytes, qsizetype at) { bytes[at] = char(bytes[at] ^ 1); return bytes; }

// "KEY" or "KEY~N" (byte N flipped): E is empty, A and B share a size, C spans two chunks,
// H has the same first block as its flipped variants.
B content(const B &key)
{
    const qsizetype tilde = key.indexOf('~');
    const B base = tilde < 0 ? key : key.left(tilde);
    const B bytes = base == "A" ? noise(3000, 1) : base == "B" ? noise(3000, 2)
                  : base == "C" ? noise(chunk + 4097, 3) : base == "H" ? noise(5000, 4) : B();
    return tilde < 0 ? bytes : flipped(bytes, key.mid(tilde + 1).toLongLong());
}

QString md5(const B &key) { return Md5::hexOf(content(key)); }

// The real file system, reporting other devices and inodes where told to, and counting
// the files the pass opens.
struct ProbedFileSystem : PosixFileSystem
{
    QHash<ino_t, std::pair<dev_t, ino_t>> identities; // real inode -> reported device, inode
    mutable std::atomic<int> opened = 0;
    std::function<void()> onOpen = [] {};

    bool statPath(const FilePath &path, struct stat &st) const override { return PosixFileSystem::statPath(path, st) && remap(st); }
    bool statOpen(int fd, struct stat &st) const override { ++opened; onOpen(); return PosixFileSystem::statOpen(fd, st) && remap(st); }
    bool remap(struct stat &st) const { std::tie(st.st_dev, st.st_ino) = identities.value(st.st_ino, {st.st_dev, st.st_ino}); return true; }
};

// Photos on the files of a tree, named by their path below it; passes run and publish as
// the controller's do.
struct Library
{
    const TestTree &tree;
    LibraryState state;
    ProbedFileSystem fs;

    explicit Library(const TestTree &t) : tree(t) {}
    void add(const L &names)
    {
        for (const B &name : names)
            state.allPhotos.append(PhotoItem(makePhotoId(), tree.path(name), name, 0, {}, {}, u"JPG"_s));
    }
    B add(const L &names, const B &bytes) { add(names); return tree.make(names, bytes); } // the files too
    DuplicatePassResult run(const DuplicateProgress &progress = {}, const std::atomic<bool> &stop = false) const
    {
        // As the window's worker does: the groups are made ready for a swap.
        DuplicatePassResult result = runDuplicatePass(duplicateSnapshot(state.allPhotos), fs, stop, progress);
        result.preparedGroups = duplicateGroupsOf(result);
        return result;
    }
    std::optional<DuplicateSummary> pass() { return publishDuplicatePass(state, run()); }
    const PhotoItem &photo(const B &name) const { return *std::ranges::find(state.allPhotos, name, &PhotoItem::name); }
    void remove(const L &names) { state.allPhotos.removeIf([&](const PhotoItem &p) { return names.contains(p.name()); }); }
    // Each group's member names joined by spaces; the digests and ids checked against them.
    QStringList groups() const
    {
        QStringList result;
        PhotoIdSet ids;
        for (const DuplicateGroup &group : state.duplicateGroups) {
            QStringList names;
            for (const PhotoItem &photo : group.photos) {
                names << QString::fromUtf8(photo.name()) + (photo.hash() != group.hash ? u"(hash differs)"_s : QString());
                ids << photo.id();
            }
            result << names.join(u' ');
        }
        return ids == state.duplicatePhotoIds ? result : result << u"(ids differ)"_s;
    }
};

} // namespace

class TestDuplicates : public QObject
{
    Q_OBJECT
private slots:
    void grouping_data()
    {
        QTest::addColumn<L>("files"); // "name:content"
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("identical bytes, other names, folders, types")
            << L{"a/x.jpg:A", "b/y.PNG:A", "c/z.heic:B"} << QStringList{u"a/x.jpg b/y.PNG"_s};
        QTest::newRow("3 + 2 copies") << L{"1:A", "2:C", "3:A", "4:B", "5:C", "6:A"} << QStringList{u"1 3 6"_s, u"2 5"_s};
        QTest::newRow("zero-length files") << L{"e1:E", "e2:E", "e3:E"} << QStringList{u"e1 e2 e3"_s};
        // First byte, first chunk boundary, middle, second chunk boundary, last byte.
        QTest::newRow("one size, different bytes")
            << L{"c:C", "first:C~0", "block:C~4096", "middle:C~131000", "chunk:C~262144", "last:C~266240"} << QStringList();
        QTest::newRow("two contents of one size") << L{"1:A", "2:B", "3:A", "4:B"} << QStringList{u"1 3"_s, u"2 4"_s};
        QTest::newRow("copies among near-copies") << L{"1:C~100", "2:C", "3:C~100", "4:C~200000", "5:C"}
                                                  << QStringList{u"1 3"_s, u"2 5"_s};
        L many;
        for (int i = 0; i < 17; ++i)
            many << (i % 2 ? B("v" + B::number(i) + ":H~" + B::number(4200 + i)) : B("h" + B::number(i) + ":H"));
        QTest::newRow("many files of one size and first block") << many << QStringList{u"h0 h2 h4 h6 h8 h10 h12 h14 h16"_s};
    }
    void grouping()
    {
        QFETCH(L, files);
        QFETCH(QStringList, groups);
        TestTree t;
        Library library(t);
        for (const B &file : files)
            library.add({file.left(file.indexOf(':'))}, content(file.mid(file.indexOf(':') + 1)));
        const std::optional<DuplicateSummary> published = library.pass();
        QVERIFY(published);
        QCOMPARE(library.groups(), groups);
        const qsizetype members = groups.join(u' ').split(u' ', Qt::SkipEmptyParts).size();
        QCOMPARE(DuplicateTexts::summary(*published), u"Found %1 duplicate groups (%2 photos)"_s.arg(groups.size()).arg(members));
    }

    // A file is its device and inode: records of one file (a folder chosen twice, hard
    // links) count once; the same inode number on another device is another file.
    void fileIdentity_data()
    {
        QTest::addColumn<L>("records");
        QTest::addColumn<bool>("otherDevice"); // "y" reported with x's inode on another device
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("one path twice") << L{"x", "x"} << false << QStringList();
        QTest::newRow("hard links") << L{"x", "h"} << false << QStringList();
        QTest::newRow("first record of a file joins a copy") << L{"h", "x", "y", "x"} << false << QStringList{u"h y"_s};
        QTest::newRow("same inode, other device") << L{"x", "y"} << true << QStringList{u"x y"_s};
    }
    void fileIdentity()
    {
        QFETCH(L, records);
        QFETCH(bool, otherDevice);
        QFETCH(QStringList, groups);
        TestTree t;
        t.make({"x", "y"}, content("C"));
        QCOMPARE(::link(t.path("x"), t.path("h")), 0);
        Library library(t);
        struct stat x, y;
        QVERIFY(::stat(t.path("x"), &x) == 0 && ::stat(t.path("y"), &y) == 0);
        if (otherDevice)
            library.fs.identities = {{x.st_ino, {1, 7}}, {y.st_ino, {2, 7}}};
        library.add(records);
        QVERIFY(library.pass());
        QCOMPARE(library.groups(), groups);
        for (const PhotoItem &photo : std::as_const(library.state.allPhotos)) // other records get the digest
            QCOMPARE(photo.hash(), groups.isEmpty() ? QString() : md5("C"));
    }

    void unreadableKeepTheirHash()
    {
        TestTree t;
        t.make({"a", "b", "c", "d"}, content("A"));
        t.make({"empty", "album/", "grows -> /proc/version"}); // /proc reports size 0
        Library library(t);
        library.add({"a", "b", "c", "album", "d", "empty", "grows"});
        QVERIFY(library.pass());
        QCOMPARE(library.groups(), QStringList{u"a b c d"_s});
        QVERIFY(library.photo("album").hash().isEmpty() && library.photo("grows").hash().isEmpty());

        QCOMPARE(::unlink(t.path("b")) + ::unlink(t.path("c")), 0);
        t.make({"c/"});
        QVERIFY(library.pass());
        QCOMPARE(library.groups(), QStringList{u"a d"_s});
        QVERIFY(library.photo("b").hash() == md5("A") && library.photo("c").hash() == md5("A"));
    }

    // Every 20th photo, on the pass's thread, the bar rising through the upper half.
    void progress()
    {
        TestTree t;
        Library library(t);
        for (int i = 0; i < 45; ++i)
            library.add({B::number(i)}, i % 3 ? noise(100 + i, quint32(i)) : content("A"));
        QStringList texts;
        QList<double> percents{50};
        const auto result = std::async(std::launch::async, [&] {
            const QThread *thread = QThread::currentThread();
            return library.run([&](int position, int total) {
                texts << (QThread::currentThread() == thread ? DuplicateTexts::progress(position, total) : u"other thread"_s);
                percents << DuplicateTexts::progressPercent(position, total);
            });
        }).get();
        QCOMPARE(texts, QStringList({u"Finding duplicates: 0/45"_s, u"Finding duplicates: 20/45"_s, u"Finding duplicates: 40/45"_s}));
        QVERIFY(std::is_sorted(percents.begin(), percents.end()) && percents.last() < 100);
        QCOMPARE(result.groups.size(), 1);

        Library empty(t);
        const auto none = publishDuplicatePass(empty.state, empty.run([&](int, int) { texts << u"-"_s; }));
        QVERIFY(none && none->groupCount == 0 && none->duplicateCount == 0 && texts.size() == 3);
        QCOMPARE(DuplicateTexts::finished(none->groupCount, 0) + u'|' + DuplicateTexts::finished(2, 7), u"Ready - 0 photos|Found 2 duplicate groups"_s);
    }

    // A stop ends the pass within the files each thread has in hand, however many sets of
    // same-size files are left, and changes nothing.
    void stopping()
    {
        TestTree t;
        Library library(t);
        library.add({"a", "b"}, content("C"));
        library.add({"c"}, content("C~5"));
        QVERIFY(library.pass());
        t.make({"c"}, content("C"));
        for (int i = 0; i < 200; ++i)
            library.add({"p" + B::number(i), "q" + B::number(i)}, noise(5000 + i, quint32(i)));
        std::atomic<bool> stop = false;
        library.fs.opened = 0;
        library.fs.onOpen = [&] { stop = true; };
        const DuplicatePassResult stopped = library.run({}, stop);
        const int threads = int(std::max(1U, std::thread::hardware_concurrency()));
        // Each thread ends within the set it has in hand: three files at most here (a, b, c).
        QVERIFY2(library.fs.opened <= 3 * threads, qPrintable(QString::number(library.fs.opened)));
        QVERIFY(stopped.stopped && !publishDuplicatePass(library.state, stopped));
        QVERIFY(library.run({}, true).stopped); // set before the pass began
        QCOMPARE(library.groups(), QStringList{u"a b"_s});
        QVERIFY(library.photo("c").hash().isEmpty()); // kept

        library.fs.onOpen = [] {};
        QVERIFY(library.pass());
        QCOMPARE(library.groups().first(), u"a b c"_s);
    }

    // The library may change while the pass runs: results find their photos by id.
    void publishFindsPhotosById_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("none") << u"none"_s << QStringList{u"1 2 3"_s, u"4 5"_s};
        QTest::newRow("photos left") << u"remove 2 5"_s << QStringList{u"1 3"_s};
        // The first group dissolves while the last stays whole: its survivor is no duplicate.
        QTest::newRow("the first group dissolved") << u"remove 2 3"_s << QStringList{u"4 5"_s};
        QTest::newRow("a photo came first") << u"insert"_s << QStringList{u"1 2 3"_s, u"4 5"_s};
        QTest::newRow("order reversed") << u"reverse"_s << QStringList{u"3 2 1"_s, u"5 4"_s};
    }
    void publishFindsPhotosById()
    {
        QFETCH(QString, change);
        TestTree t;
        Library library(t);
        library.add({"1", "2", "3"}, content("A"));
        library.add({"4", "5"}, content("B"));
        library.add({"6"}, content("C"));
        const DuplicatePassResult result = library.run();
        if (change.startsWith(u"remove"_s))
            library.remove(change.mid(7).toLatin1().split(' '));
        else if (change == u"insert")
            library.state.allPhotos.prepend(PhotoItem(makePhotoId(), t.path("new"), "new", 0, {}, {}, u"JPG"_s));
        else if (change == u"reverse")
            std::reverse(library.state.allPhotos.begin(), library.state.allPhotos.end());
        QVERIFY(publishDuplicatePass(library.state, result));
        QTEST(library.groups(), "groups");
        for (const PhotoItem &photo : std::as_const(library.state.allPhotos))
            QCOMPARE(photo.hash(), photo.name() <= "3" ? md5("A") : photo.name() <= "5" ? md5("B") : QString());
        if (change == u"none") { // after a delete, the groups shrink and dissolve without a pass
            const PhotoIdSet removed{library.photo("2").id(), library.photo("4").id()};
            library.remove({"2", "4"});
            const DuplicateSummary summary = pruneDuplicateGroups(library.state, removed);
            QVERIFY(summary.groupCount == 1 && summary.duplicateCount == 2);
            QCOMPARE(library.groups(), QStringList{u"1 3"_s});
        }
    }

    // Sizes around the block and chunk boundaries; each file new, a copy or a one-byte
    // variant of an earlier one; grouped against md5sum's digests.
    void agreesWithMd5sum()
    {
        TestTree t;
        Library library(t);
        QRandomGenerator random(2024);
        const qsizetype sizes[] = {0, 1, 4095, 4096, 4097, 8193, chunk - 1, chunk, chunk + 1, 2 * chunk + 4097};
        QList<B> made;
        QStringList paths;
        for (int k = 0; k < 60; ++k) {
            const int kind = made.isEmpty() ? 2 : random.bounded(3);
            B bytes = kind == 2 ? noise(sizes[random.bounded(int(std::size(sizes)))], random.generate())
                                : made[random.bounded(int(made.size()))];
            if (kind == 1 && !bytes.isEmpty())
                bytes = flipped(bytes, random.bounded(bytes.size()));
            made << bytes;
            paths << QFile::decodeName(library.add({"d" + B::number(k % 4) + "/f" + B::number(k)}, bytes));
        }
        QVERIFY(library.pass());

        QProcess md5sum;
        md5sum.start(u"md5sum"_s, paths);
        QVERIFY(md5sum.waitForFinished(60'000) && md5sum.exitCode() == 0);
        QMap<QString, QStringList> expected, actual; // digest -> names
        for (const B &line : md5sum.readAllStandardOutput().trimmed().split('\n'))
            expected[QString::fromLatin1(line.left(32))] << QString::fromUtf8(line.mid(34 + t.root.size() + 1));
        expected.removeIf([](const auto &names) { return names.value().size() < 2; });
        for (const DuplicateGroup &group : std::as_const(library.state.duplicateGroups))
            for (const PhotoItem &photo : group.photos)
                actual[group.hash] << QString::fromUtf8(photo.name());
        QVERIFY(expected.size() >= 5);
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "test_duplicates.moc"
