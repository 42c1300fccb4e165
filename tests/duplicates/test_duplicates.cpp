#include "ProbedFileSystem.h"
#include "TestTree.h"
#include "duplicates/ContentMatch.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"
#include "model/LibraryState.h"
#include "platform/ContentHash.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

constexpr qsizetype chunk = ReadBuffers::chunkSize;

// "BASE" or "BASE~N~M..." (bytes N, M... flipped). BASE: E is empty, A and B share a size, C
// spans two chunks, H has the same first block as its variants, "S/R" is S bytes of seed R.
B content(const B &key)
{
    static const QHash<B, std::pair<qsizetype, quint32>> named{
        {"E", {0, 0}}, {"A", {3000, 1}}, {"B", {3000, 2}}, {"C", {chunk + 4097, 3}}, {"H", {5000, 4}}};
    const L flips = key.split('~'), random = flips[0].split('/');
    const auto [size, seed] = named.value(flips[0], {random[0].toLongLong(), random.value(1).toUInt()});
    std::vector<quint32> words(size_t(size / 4 + 1));
    QRandomGenerator(seed).fillRange(words.data(), qsizetype(words.size()));
    B bytes(reinterpret_cast<const char *>(words.data()), size);
    for (const B &at : flips.mid(1))
        bytes[at.toLongLong()] = char(bytes[at.toLongLong()] ^ 1);
    return bytes;
}

QString sha(const B &key) { return ContentHash::hexOf(content(key)); }

// Photos on the files of a tree, named by their path below it; passes run and publish as
// the controller's do.
struct Library
{
    const TestTree &tree;
    LibraryState state;
    ProbedFileSystem fs;

    explicit Library(const TestTree &t) : tree(t) {}
    void add(const L &names) // with their sizes as a scan finds them
    {
        for (const B &name : names)
            state.allPhotos.append(PhotoItem(makePhotoId(), tree.path(name), name, statOf(tree.path(name)).st_size, {}, {}, u"JPG"_s));
    }
    B add(const L &names, const B &bytes) { const B made = tree.make(names, bytes); add(names); return made; } // the files too
    DuplicatePassResult run(const DuplicateProgress &progress = {}, const std::atomic<bool> &stop = false) const
    {
        // As the window's worker does: the groups are made ready for a swap.
        DuplicatePassResult result = runDuplicatePass(duplicateSnapshot(state.allPhotos), fs, stop, progress);
        result.preparedGroups = duplicateGroupsOf(result);
        return result;
    }
    std::optional<DuplicateSummary> pass() { return publishDuplicatePass(state, run()); }
    const PhotoItem &photo(const B &name) const { return *std::ranges::find(state.allPhotos, name, &PhotoItem::name); }
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
    // Each entry adds a record: "name:KEY" of a new file holding content(KEY), "name:KEY:MARK"
    // of one marked so in the file system (if changing or replaced, it gets no digest); "name=other"
    // of a new hard link to `other`; "name/", "name|" or "name -> target" of a new folder,
    // FIFO or link; "name" of a path already made.
    void grouping_data()
    {
        QTest::addColumn<L>("files");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("no photos") << L() << QStringList();
        QTest::newRow("identical bytes, other names, folders, types; a size of its own") << L{"a/x.jpg:A", "b/y.PNG:A", "c/z.heic:B", "d/u.jpg:C"} << QStringList{u"a/x.jpg b/y.PNG"_s};
        QTest::newRow("3 + 2 + 2 copies, two of one size") << L{"1:A", "2:C", "3:A", "4:B", "5:C", "6:A", "7:B"} << QStringList{u"1 3 6"_s, u"2 5"_s, u"4 7"_s};
        QTest::newRow("zero-length files") << L{"e1:E", "e2:E", "e3:E"} << QStringList{u"e1 e2 e3"_s};
        // First byte, both sides of the first chunk boundary, middle, 256 KiB in, last byte.
        QTest::newRow("one size, different bytes") << L{"c:C", "first:C~0", "block:C~4095", "next:C~4096", "middle:C~131000",
                                                        "chunk:C~262144", "last:C~266240"} << QStringList();
        QTest::newRow("copies among near-copies") << L{"1:C~100", "2:C", "3:C~100", "4:C~200000", "5:C"} << QStringList{u"1 3"_s, u"2 5"_s};
        QTest::newRow("copies after a file differing in its last block") << L{"1:C~262145", "2:C", "3:C"} << QStringList{u"2 3"_s};
        QTest::newRow("changed while read: the first, a later one") << L{"1:C:!", "2:C", "3:C:!", "4:C"} << QStringList{u"2 4"_s};
        QTest::newRow("replaced after it was examined") << L{"1:C", "2:C:^", "3:C"} << QStringList{u"1 3"_s};
        // No folder, FIFO or device is opened; a file that outgrows its size (/proc reports 0)
        // is left out.
        QTest::newRow("not regular files") << L{"a:A", "b:A", "c:A", "album/", "d:A", "empty:E", "grows -> /proc/version",
                                                "fifo|", "null -> /dev/null"} << QStringList{u"a b c d"_s};
        // A file is its device and inode: only its first record can join a group; a hard link
        // or the same path again is no copy.
        QTest::newRow("first record of a file joins a copy") << L{"h:C", "x=h", "y:C", "x"} << QStringList{u"h y"_s};
        QTest::newRow("same inode, other device") << L{"x:C:1", "y:C:2"} << QStringList{u"x y"_s};
        // Past 16 files of one size, sets split by their first block and hashed file by file.
        L many{"w1:H~0", "w2:H~0"};
        for (int i = 0; i < 17; ++i)
            many << (i > 2 ? B("v" + B::number(i) + ":H~" + B::number(4200 + i)) : B("h" + B::number(i) + ":H" + (i == 2 ? ":!" : "")));
        QTest::newRow("many files of one size, one changing") << many << QStringList{u"w1 w2"_s, u"h0 h1"_s};
        // Sizes around the block and chunk boundaries: two copies, and a file that differs
        // from them in its last byte.
        L sizes;
        QStringList pairs;
        for (const qsizetype size : std::initializer_list<qsizetype>{1, 4095, 4096, 4097, 8192, 8193, chunk - 1, chunk, chunk + 1, 2 * chunk + 4097}) {
            const B n = B::number(size), key = n + '/' + n;
            sizes << "a" + n + ':' + key << "b" + n + ':' + key << "c" + n + ':' + key + '~' + B::number(size - 1);
            pairs << QString::fromLatin1("a" + n + " b" + n);
        }
        QTest::newRow("sizes at block and chunk boundaries") << sizes << pairs;
    }
    void grouping()
    {
        QFETCH(L, files);
        QFETCH(QStringList, groups);
        TestTree t;
        Library library(t);
        QHash<B, B> keys; // record name -> content key; none for folders and links
        for (const B &entry : files) {
            const L file = entry.split(':'), link = entry.split('=');
            B name = file[0];
            if (file.size() > 1) {
                const B mark = file.value(2);
                keys[name] = mark.isEmpty() || mark.toUInt() ? file[1] : B();
                library.fs.marks[statOf(t.make({name}, content(file[1]))).st_ino] = mark;
            } else if (link.size() > 1) {
                QCOMPARE(::link(t.path(link[1]), t.path(name = link[0])), 0);
                keys[name] = keys[link[1]];
            } else if (entry.endsWith('/') || entry.endsWith('|') || entry.contains(' ')) {
                name = t.make({entry}).mid(t.root.size() + 1);
            }
            library.add({name});
        }
        // Every 20th photo and the end, on the pass's thread, the bar rising through the upper half.
        QStringList texts, expectedTexts;
        QList<double> percents{50};
        const std::optional<DuplicateSummary> published = publishDuplicatePass(library.state, library.run([&](int position, int total) {
            texts << (QThread::currentThread() == thread() ? DuplicateTexts::progress(position, total) : u"other thread"_s);
            percents << DuplicateTexts::progressPercent(position, total);
        }));
        for (qsizetype at = 0; !files.isEmpty() && at < files.size() + 20; at += 20) // the end shows the whole count
            expectedTexts << u"Finding duplicates: %1/%2"_s.arg(std::min(at, files.size())).arg(files.size());
        QCOMPARE(texts, expectedTexts);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()) && percents.last() == (files.isEmpty() ? 50 : 100));
        QVERIFY(published && !library.fs.openedOther);
        QCOMPARE(library.groups(), groups);
        // A photo whose scanned size no other photo has is not looked at again.
        const auto &photos = library.state.allPhotos;
        QCOMPARE(library.fs.statted.load(), std::ranges::count_if(photos, [&](const PhotoItem &p) { return std::ranges::count(photos, p.size(), &PhotoItem::size) > 1; }));
        const QStringList members = groups.join(u' ').split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(DuplicateTexts::summary(*published), u"Found %1 duplicate groups (%2 photos)"_s.arg(groups.size()).arg(members.size()));
        // Every record of a grouped file gets the digest; in small sets no other file is read whole.
        QSet<B> grouped;
        for (const QString &member : members)
            grouped << keys.value(member.toUtf8());
        for (const PhotoItem &photo : std::as_const(library.state.allPhotos)) {
            const B key = keys.value(photo.name());
            // Past 16 files of one size and first block, each file is hashed alone.
            const bool mayBeHashed = files.size() > 16 && !key.isNull() && !photo.hash().isEmpty();
            QCOMPARE(photo.hash(), grouped.contains(key) || mayBeHashed ? sha(key) : QString());
        }
    }

    // A pass changes only what it established: a stop, set before it began or while it
    // runs, ends it within the files each thread has in hand, however many sets of
    // same-size files are left, and changes nothing; files gone or no longer regular keep
    // their digest.
    void laterPasses()
    {
        TestTree t;
        Library library(t);
        library.add({"a", "b", "d", "e"}, content("C"));
        library.add({"c"}, content("C~5"));
        QVERIFY(library.pass());
        QCOMPARE(library.groups(), QStringList{u"a b d e"_s});
        QCOMPARE(::unlink(t.path("d")) + ::unlink(t.path("e")), 0);
        t.make({"e/"});
        t.make({"c"}, content("C"));
        for (int i = 0; i < 200; ++i)
            library.add({"p" + B::number(i), "q" + B::number(i)}, content(B::number(5000 + i) + '/' + B::number(i)));
        std::atomic<bool> stop = false;
        library.fs.opened = 0;
        library.fs.onOpen = [&] { stop = true; };
        QList<int> reported;
        const DuplicatePassResult stopped = library.run([&](int position, int) { reported << position; }, stop);
        const int threads = int(std::max(1U, std::thread::hardware_concurrency()));
        // Each thread ends within the set it has in hand: three files at most here (a, b, c);
        // progress counts only the photos settled.
        QVERIFY2(library.fs.opened <= 3 * threads && reported.last() <= 3 * threads, qPrintable(QString::number(library.fs.opened)));
        QVERIFY(stopped.stopped && !publishDuplicatePass(library.state, stopped));
        // A stop that comes once the files are open ends their comparison before a chunk is read.
        stop = false;
        const auto candidate = [&](const B &name) { const struct stat st = statOf(t.path(name)); return ContentCandidate{t.path(name), {st.st_dev, st.st_ino}}; };
        const ContentCandidate open[] = {candidate("a"), candidate("b")};
        ReadBuffers buffers;
        QVERIFY(!matchContents(library.fs, open, content("C").size(), false, stop, buffers));
        QVERIFY(library.run({}, true).stopped);
        QCOMPARE(library.groups(), QStringList{u"a b d e"_s});
        QVERIFY(library.photo("c").hash().isEmpty());

        library.fs.onOpen = [] {};
        QVERIFY(library.pass());
        QCOMPARE(library.groups().first(), u"a b c"_s);
        QVERIFY(library.photo("d").hash() == sha("C") && library.photo("e").hash() == sha("C"));
    }

    // The library may change while the pass runs: results find their photos by id. After a
    // delete, the groups shrink and dissolve without a pass.
    void publishFindsPhotosById_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("groups");
        const QString empty = u"w x y z"_s;
        QTest::newRow("none") << u"none"_s << QStringList{u"1 2 3"_s, u"4 5"_s, empty};
        QTest::newRow("photos left") << u"remove 2 5"_s << QStringList{u"1 3"_s, empty};
        // The first group dissolves while the others stay whole: its survivor is no duplicate.
        QTest::newRow("the first group dissolved") << u"remove 2 3"_s << QStringList{u"4 5"_s, empty};
        QTest::newRow("a photo came first") << u"insert"_s << QStringList{u"1 2 3"_s, u"4 5"_s, empty};
        QTest::newRow("order reversed") << u"reverse"_s << QStringList{u"3 2 1"_s, u"5 4"_s, u"z y x w"_s};
        // Pruning forgets the ids that left, or when they are many, gathers those that stay.
        QTest::newRow("pruned") << u"prune 2 4"_s << QStringList{u"1 3"_s, empty};
        QTest::newRow("pruned, most ids") << u"prune 2 4 w x"_s << QStringList{u"1 3"_s, u"y z"_s};
    }
    void publishFindsPhotosById()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, groups);
        TestTree t;
        Library library(t);
        for (const auto &[names, key] : {std::pair{L{"1", "2", "3"}, "A"}, {L{"4", "5"}, "B"}, {L{"6"}, "C"}, {L{"w", "x", "y", "z"}, "E"}})
            library.add(names, content(key));
        const DuplicatePassResult result = library.run();
        const L names = change.section(u' ', 1).toLatin1().split(' ');
        if (change.startsWith(u"remove"_s))
            library.state.allPhotos.removeIf([&](const PhotoItem &p) { return names.contains(p.name()); });
        else if (change == u"insert")
            library.state.allPhotos.prepend(PhotoItem(makePhotoId(), t.path("new"), "new", 0, {}, {}, u"JPG"_s));
        else if (change == u"reverse")
            std::reverse(library.state.allPhotos.begin(), library.state.allPhotos.end());
        std::optional<DuplicateSummary> summary = publishDuplicatePass(library.state, result);
        if (change.startsWith(u"prune"_s)) {
            PhotoIdSet removed;
            for (const B &name : names)
                removed << library.photo(name).id();
            summary = pruneDuplicateGroups(library.state, removed);
        }
        QCOMPARE(library.groups(), groups);
        QVERIFY(summary && summary->groupCount == groups.size() && summary->duplicateCount == groups.join(u' ').split(u' ').size());
        for (const PhotoItem &photo : std::as_const(library.state.allPhotos))
            QCOMPARE(photo.hash(), photo.name() <= "3" ? sha("A") : photo.name() <= "5" ? sha("B") : photo.name() >= "w" ? sha("E") : QString());
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "test_duplicates.moc"
