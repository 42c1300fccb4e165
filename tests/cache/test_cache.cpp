// The library cache as the duplicate stage uses it: a warm pass reads only what changed,
// and a cache that fails, whatever the way, changes no group.
#include "ProbedFileSystem.h"
#include "TestMounts.h"
#include "TestTree.h"
#include "cache/LibraryCache.h"
#include "duplicates/DuplicateStage.h"
#include "platform/ContentHash.h"

#include <QTest>

#include <sqlite3.h>

#include <thread>

using namespace Qt::StringLiterals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

// One scan's duplicate stage over the photos `names` of `t`, as the window runs it: the
// groups' names, then " | " and the log lines past the summary. A member whose digest is not
// its file's present contents' is marked.
QString pass(const TestTree &t, const L &names, const FileSystem &fs, const LibraryCache *cache)
{
    LibraryState state;
    for (const B &name : names)
        state.allPhotos.append(PhotoItem(makePhotoId(), t.path(name), name, 0, {}, {}, u"JPG"_s));
    const std::atomic<bool> stop = false;
    const StageOutcome outcome = DuplicateStage(fs, cache).prepare(state)({stop, [](const QString &, double) {}})(state);
    QStringList groups;
    for (const DuplicateGroup &group : std::as_const(state.duplicateGroups)) {
        QStringList members;
        for (const PhotoItem &photo : group.photos)
            members << QString::fromUtf8(photo.name()) + (photo.hash() == ContentHash::hexOf(fileBytes(photo.path())) ? u""_s : u"(wrong digest)"_s);
        groups << members.join(u' ');
    }
    return groups.join(u", ") + u" | " + outcome.logLines.mid(state.duplicateGroups.isEmpty() ? 0 : 1).join(u"; ");
}

// Runs `sql` on its own connection to `file`, which stays open (and holds what it locked)
// until the result goes.
std::shared_ptr<sqlite3> connection(const B &file, const B &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(file, &db);
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("%s: %s", sql.constData(), sqlite3_errmsg(db));
    return {db, sqlite3_close};
}

} // namespace

class TestCache : public QObject
{
    Q_OBJECT
private slots:
    // Files "name:BYTES" (3000 of the letter; "Z": 2999 "A"s and a "Z"; "A9": 9000 "A"s,
    // "Z9" and "Y9" with a last or first byte changed), ":N" on fake device N,
    // ":!" changed while the cold pass reads it, ":+" made after it. Then a change, and the warm pass: its groups,
    // the files it opened, its log.
    void warmPass_data()
    {
        QTest::addColumn<L>("files");
        QTest::addColumn<B>("change");
        QTest::addColumn<QString>("warm");
        QTest::addColumn<int>("opened");
        QTest::addColumn<int>("thenOpened"); // by a third pass
        QTest::newRow("unchanged: nothing read") << L{"a:A", "b:A", "c:B", "d:B", "e:A", "u:" + B(5, 'A')} << B() << u"a b e, c d | Reused 5 of 5 fingerprints"_s << 0 << 0;
        // A file of the size that was no copy has no row: it is told apart from one known
        // file by its blocks each time, never read whole.
        QTest::newRow("a near-copy beside known files") << L{"a:A", "b:A", "z:Z"} << B() << u"a b | Reused 2 of 3 fingerprints"_s << 2 << 2;
        // Same size, the modification time put back: the status-change time tells.
        QTest::newRow("rewritten, time put back") << L{"a:A", "b:A", "c:A"} << B("rewrite b") << u"a c | Reused 2 of 3 fingerprints"_s << 2 << 2;
        QTest::newRow("same bytes rewritten") << L{"a:A", "b:A"} << B("same b") << u"a b | Reused 1 of 2 fingerprints"_s << 2 << 0;
        // Inode 7 on two devices: two files, two rows; swapped, both are read again.
        QTest::newRow("one inode on two devices") << L{"x:A:1", "y:B:2", "x2:A", "y2:B"} << B() << u"x x2, y y2 | Reused 4 of 4 fingerprints"_s << 0 << 0;
        QTest::newRow("devices swapped") << L{"x:A:1", "y:A:2", "z:A"} << B("swap") << u"x y z | Reused 1 of 3 fingerprints"_s << 3 << 0;
        L many{"a:A", "b:A"}; // more new files than are compared side by side, beside known ones
        QString members = u"a b"_s;
        for (int i = 0; i < 17; ++i)
            many << "n" + B::number(i) + ":A:+", members += u" n"_s + QString::number(i);
        QTest::newRow("many new copies of known files") << many << B() << members + u" | Reused 2 of 19 fingerprints"_s << 17 << 0;
        // Longer files: a same-size file whose last block differs is told apart by the
        // samples of the last blocks alone; an equal sample proves nothing.
        QTest::newRow("sampled near-copy beside known files") << L{"a:A9", "b:A9", "z:Z9"} << B() << u"a b | Reused 3 of 3 fingerprints"_s << 0 << 0;
        QTest::newRow("same last block: read each time") << L{"a:A9", "y:Y9"} << B() << u" | Reused 0 of 2 fingerprints"_s << 2 << 2;
        QTest::newRow("copy of a sampled file appears") << L{"a:A9", "z:Z9", "n:A9:+"} << B() << u"a n | Reused 0 of 3 fingerprints"_s << 3 << 0;
        QTest::newRow("changed while read: no row") << L{"a:A", "b:A", "c:A:!"} << B() << u"a b c | Reused 2 of 3 fingerprints"_s << 2 << 0;
    }
    void warmPass()
    {
        QFETCH(L, files);
        QFETCH(B, change);
        TestTree t;
        const LibraryCache cache(t.path(".cache/lumisort"), {50, {}});
        ProbedFileSystem fs;
        L names;
        QList<std::pair<B, B>> later;
        for (const B &file : files) {
            const L parts = file.split(':');
            const B bytes = parts[1] == "Z" ? B(2999, 'A') + 'Z' : parts[1] == "A9" ? B(9000, 'A') : parts[1] == "Z9" ? B(8999, 'A') + 'Z'
                          : parts[1] == "Y9" ? 'Y' + B(8999, 'A') : parts[1].size() > 1 ? parts[1] : B(3000, parts[1][0]);
            if (parts.value(2) == "+") {
                later.append({names.emplace_back(parts[0]), bytes});
                continue;
            }
            fs.marks[statOf(t.make({names.emplace_back(parts[0])}, bytes)).st_ino] = parts.value(2);
        }
        pass(t, names, fs, &cache);
        fs.marks.removeIf([](const auto &mark) { return mark.value() == "!"; });
        for (const auto &[name, bytes] : later)
            t.make({name}, bytes);
        const B changed = change.mid(change.indexOf(' ') + 1);
        if (change.startsWith("rewrite") || change.startsWith("same")) {
            const struct stat st = statOf(t.path(changed));
            t.make({changed}, B(3000, change.startsWith("same") ? 'A' : 'C'));
            QCOMPARE(::utimensat(AT_FDCWD, t.path(changed), std::array{st.st_atim, st.st_mtim}.data(), 0), 0);
        } else if (change == "swap") {
            std::swap(fs.marks[statOf(t.path("x")).st_ino], fs.marks[statOf(t.path("y")).st_ino]);
        }
        fs.opened = 0;
        const QString warm = pass(t, names, fs, &cache);
        QTEST(warm, "warm");
        QTEST(int(fs.opened), "opened");
        fs.opened = 0;
        QFETCH(int, thenOpened); // what was read whole is known now
        QCOMPARE(pass(t, names, fs, &cache), thenOpened ? warm : warm.section(u' ', 0, -5) + u" %1 of %1 fingerprints"_s.arg(warm.section(u' ', -2, -2)));
        QCOMPARE(int(fs.opened), thenOpened);
        QCOMPARE((QList{modeOf(t.path(".cache/lumisort")), modeOf(cache.file())}), (QList{0700U, 0600U}));
    }

    // A cache that cannot be used, however it fails, gives the groups a pass without one
    // gives, and one log line. A damaged file, or one of another version, is rebuilt. The
    // cache knows "a" and "b" of the pass.
    void faults_data()
    {
        QTest::addColumn<B>("fault");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("rowsAfter");
        const QString none = u"Reused 0 of 4 fingerprints"_s, locked = u"Library cache not used: database is locked"_s;
        QTest::newRow("not a database") << B("garbage") << none + u"; Library cache rebuilt: file is not a database"_s << 4;
        QTest::newRow("a damaged page") << B("damage") << none + u"; Library cache rebuilt: database disk image is malformed"_s << 4;
        QTest::newRow("another version") << B("version") << none << 4;
        QTest::newRow("another window writing") << B("BEGIN EXCLUSIVE") << u"Reused 2 of 4 fingerprints; "_s + locked << 2;
        QTest::newRow("another window holding it") << B("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE") << locked << 2;
        QTest::newRow("read-only folder") << B("readonly") << u"Library cache not used: unable to open database file"_s << 2;
        QTest::newRow("full disk") << B("full") << u"Library cache not used: disk I/O error"_s << 0;
        QTest::newRow("no home") << B("home") << u"Library cache not used: no cache folder (HOME is not set)"_s << -1;
    }
    void faults()
    {
        QFETCH(B, fault);
        QFETCH(QString, log);
        TestTree t;
        const B folder = t.path("cache");
        const LibraryCache cache(fault == "home" ? B() : folder, {50, {}});
        const L names{"a", "b", "c", "d"};
        for (const B &name : names)
            t.make({name}, B(3000, name < "c" ? 'A' : 'B'));
        ProbedFileSystem fs;
        std::optional<TestMount> mount;
        if (fault == "full" && !mount.emplace(TestMount::tmpfs, t.make({"cache/"}), "size=64k").ok)
            QSKIP("cannot mount here");
        pass(t, {"a", "b"}, fs, &cache);
        std::shared_ptr<sqlite3> other;
        if (fault == "garbage") {
            t.make({"cache/library.sqlite"}, B("not a database\n").repeated(400));
        } else if (fault == "damage") {
            B bytes = fileBytes(cache.file());
            QVERIFY(bytes.size() >= 8192);
            t.make({"cache/library.sqlite"}, bytes.replace(4096, 4096, B(4096, '\x5a')));
        } else if (fault == "version") {
            other = connection(cache.file(), "DROP TABLE files; CREATE TABLE files(path TEXT); PRAGMA user_version=7");
        } else if (fault.startsWith("PRAGMA") || fault.startsWith("BEGIN")) {
            other = connection(cache.file(), fault + "; DELETE FROM files WHERE path = 'none'");
        } else if (fault == "readonly" && !mount.emplace(TestMount::readOnly, folder).ok) {
            QSKIP("cannot mount here");
        } else if (fault == "full") {
            const int fd = ::open(B(folder + "/filler"), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            for (const B block(4096, 'x'); ::write(fd, block.constData(), 4096) > 0;) {
            }
            ::close(fd);
        }
        QCOMPARE(pass(t, names, fs, &cache), u"a b, c d | "_s + log);
        other.reset();
        mount.reset();
        QTEST(int(CacheSession(cache).rowCount()), "rowsAfter");
    }

    // Rows of files no pass met for 90 days go; a pass keeps the rows it uses. Clearing
    // empties the cache. Two writers at once lose no row and see no error; lookups find them.
    void upkeep()
    {
        TestTree t;
        qint64 today = 1000;
        const LibraryCache cache(t.path("cache"), {1500, [&] { return today; }});
        for (const B &name : L{"a", "b", "c", "d"})
            t.make({name}, B(3000, name < "c" ? 'A' : 'B'));
        PosixFileSystem fs;
        const auto rows = [&] { return CacheSession(cache).rowCount(); };
        pass(t, {"a", "b", "c", "d"}, fs, &cache);
        // 90 days unseen are kept, 91 are not; a row a pass uses is seen that day.
        for (const auto &[day, scanned, left] : {std::tuple{1090, L{"a", "b"}, 4}, {1091, L{"a", "b"}, 2}, {1181, L{"c"}, 2}, {1182, L{"c"}, 0}}) {
            today = day;
            pass(t, scanned, fs, &cache);
            QCOMPARE(rows(), left);
        }
        pass(t, {"a", "b"}, fs, &cache);
        QVERIFY(rows() == 2 && CacheSession(cache).clear() && rows() == 0);

        const auto write = [&](char prefix) {
            CacheSession session(cache);
            for (int batch = 0; batch < 3; ++batch) {
                std::vector<CachedDigest> written;
                for (int i = 0; i < 5000; ++i)
                    written.push_back({prefix + B::number(batch * 5000 + i), {1, quint64(i), 3000, 1, 1}, ContentDigest{}});
                session.store(written);
            }
            QVERIFY2(session.message().isEmpty(), qPrintable(session.message()));
        };
        std::jthread other(write, 'x');
        write('y');
        other.join();
        QCOMPARE(rows(), 30'000);

        // Looked up in any order, with repeats, gaps, paths before and after every row and a
        // stale stamp: exactly the rows whose stamps match. "path:inode" each; "1" found.
        CacheSession session(cache);
        const auto lookup = [&](const L &asked) {
            std::vector<B> paths;
            std::vector<FileStamp> stamps;
            for (const B &entry : asked)
                paths.push_back(entry.split(':')[0]), stamps.push_back({1, entry.split(':')[1].toULongLong(), 3000, 1, 1});
            B found;
            const auto records = session.lookup(paths);
            for (size_t k = 0; k < records.size(); ++k)
                found += records[k] && records[k]->stamp == stamps[k] ? '1' : '0';
            return found;
        };
        QCOMPARE(lookup({"x9999:4999", "x7:7", "w:0", "x7:7", "x14999:4999", "x15000:0", "y5:6", "x100:100", "x1001:1001", "x0:0", "z:0", "y14000:4000"}),
                 B("110110011101"));

        // Rows found by several lookups of one session are all seen by its store.
        today += LibraryCache::keepDays + 1;
        for (const char prefix : {'x', 'y'}) {
            L half;
            for (int n = 0; n < 15000; ++n)
                half << prefix + B::number(n) + ':' + B::number(n % 5000);
            QVERIFY(!lookup(half).contains('0'));
        }
        QVERIFY(session.store({}) && session.dropUnseen());
        QCOMPARE(rows(), 30'000);

        // Digests, samples and signatures share a row while its stamp holds; a new stamp
        // forgets the others, and a sample alone keeps the digest of an unchanged file.
        const FileStamp first{1, 1, 3000, 1, 1}, second{1, 1, 3000, 2, 1};
        const auto known = [&](const FileStamp &stamp) {
            const B path = "s";
            const auto row = session.lookup({&path, 1}).at(0);
            const auto signature = session.lookupSignatures({&path, 1}, {&stamp, 1}).at(0);
            return u"%1 %2"_s.arg(row && row->stamp == stamp ? (row->digest ? u"digest/"_s : u"-/"_s) + QString::number(row->sample) : u"-"_s,
                                  signature ? QString::fromLatin1(signature->signature.isEmpty() ? "empty" : signature->signature)
                                                  + u" %1x%2"_s.arg(signature->pixels.width()).arg(signature->pixels.height())
                                            : u"-"_s);
        };
        const auto store = [&](const FileStamp &stamp, std::optional<ContentDigest> digest, quint64 sample) {
            session.store(std::vector<CachedDigest>{{"s", stamp, digest, sample}});
        };
        store(first, ContentDigest{}, 5);
        QCOMPARE(known(first), u"digest/5 -"_s);
        session.storeSignatures(std::vector<CachedSignature>{{"s", first, "sig", {4, 3}}});
        store(first, {}, 6);
        QCOMPARE(known(first), u"digest/6 sig 4x3"_s);
        session.storeSignatures(std::vector<CachedSignature>{{"s", second, {}, {0, 0}}});
        QCOMPARE(known(second), u"- empty 0x0"_s);
        QCOMPARE(known(first), u"- -"_s);
        store(first, {}, 7);
        QCOMPARE(known(first), u"-/7 -"_s);
        store(first, ContentDigest{}, 0);
        QCOMPARE(known(first), u"digest/7 -"_s);
    }
};

QTEST_GUILESS_MAIN(TestCache)
#include "test_cache.moc"
