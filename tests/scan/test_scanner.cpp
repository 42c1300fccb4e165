#include "TestTree.h"
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"
#include "scan/ScanControl.h"

#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

// Keeps every progress text in order, and the bar's values; `hook` runs after each
// folder event.
struct Recorder : ScanProgressSink
{
    QStringList texts;
    L folders;
    QList<double> percents;
    std::function<void()> hook = [] {};

    void foldersToScan(int total) override { texts << ScanTexts::foldersToScan(total); hook(); }
    void directoryBegun(int total, const FilePath &dir) override
    {
        folders << dir;
        texts << ScanTexts::scanningDirectory(counters->directoriesBegun, total, dir);
        percents << ScanTexts::directoryPercent(counters->directoriesBegun, total);
        hook();
    }
    void photosFoundMilestone() override { texts << ScanTexts::photosFound(counters->photosFound); }
};

// The real file system with a fault per path: "list" (never lists), "walk" (the first
// listing fails), "stat" (no attributes), "dir" (not a folder), "nobirth" (no birth time),
// "file" (listed as a regular file, as when it was one a moment ago).
struct FaultyFileSystem : PosixFileSystem
{
    mutable QHash<B, B> faults;
    bool untyped = false; // report every entry type as unknown, and list in name order
    std::function<void(const FilePath &)> onList = [](const FilePath &) {};

    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override
    {
        onList(dir);
        const B fault = faults.value(dir) == "walk" ? faults.take(dir) : faults.value(dir);
        if (fault == "list" || fault == "walk")
            return std::nullopt;
        auto entries = PosixFileSystem::listDirectory(dir);
        std::vector<DirEntry> empty;
        for (DirEntry &entry : entries ? *entries : empty) {
            if (untyped || faults.value(appendPathComponent(dir, entry.name)) == "file")
                entry.type = untyped ? EntryType::unknown : EntryType::file;
        }
        if (untyped && entries)
            std::ranges::sort(*entries, {}, &DirEntry::name);
        return entries;
    }
    std::optional<ItemAttributes> attributes(const FilePath &path) const override
    {
        auto attributes = faults.value(path) == "stat" ? std::nullopt : PosixFileSystem::attributes(path);
        if (attributes && faults.value(path) == "nobirth")
            attributes->created.reset();
        return attributes;
    }
    bool isDirectory(const FilePath &path, bool follow) const override { return faults.value(path) != "dir" && PosixFileSystem::isDirectory(path, follow); }
};

struct Flags
{
    std::atomic<bool> pause = false, stop = false;
    std::function<void(std::chrono::milliseconds)> pauseWait;
};

ScanResult scan(const L &paths, Recorder *progress = nullptr, const FileSystem &fs = PosixFileSystem(), const Flags &flags = {})
{
    Recorder none;
    return scanFolders(fs, paths, {flags.pause, flags.stop, flags.pauseWait}, progress ? *progress : none);
}

L sortedPaths(const ScanResult &result, const TestTree &tree)
{
    L paths;
    for (const PhotoItem &photo : result.photos)
        paths << photo.path().mid(tree.root.size() + 1);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The folders a scan of `dir` lists, in order, worked out without walkTree.
void expectedFolders(const B &dir, L &out, bool sorted, bool scanPath = true)
{
    L names = TestTree::list(dir);
    if (sorted)
        std::ranges::sort(names);
    for (const B &name : std::as_const(names)) {
        const B path = dir + '/' + name;
        struct stat st;
        if (::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && !name.startsWith('.') && !name.startsWith('~'))
            out << path;
        if (::lstat(path, &st) == 0 && S_ISDIR(st.st_mode))
            expectedFolders(path, out, sorted, false);
    }
    if (scanPath)
        out << dir;
}

} // namespace

class TestScanner : public QObject
{
    Q_OBJECT
private slots:
    void folderTree_data()
    {
        QTest::addColumn<bool>("untyped");
        QTest::newRow("listing's entry types") << false;
        QTest::newRow("types unknown, as without d_type; in name order") << true;
    }
    void folderTree()
    {
        QFETCH(bool, untyped);
        TestTree t;
        t.make({"p/a/b/c/", "p/e/", "p/.hidden/h.jpg", "p/.hidden/inner/h.jpg", "p/~cache/c.jpg",
                "p/~cache/photos/p.jpg", "p/album.jpg/", "p/file.jpg", "p/lnk.jpg -> a/x.jpg",
                "p/dangling.jpg -> nowhere", "p/up -> .", "p/loop1 -> loop2", "p/loop2 -> loop1",
                "outside/o.jpg", "p/out -> ../outside", "p/fifo.jpg|", "p/socket.png=", "p/tofifo.jpg -> fifo.jpg",
                "p/null.jpg -> /dev/null"});
        t.make({"p/a/x.jpg"}, "1234567");
        L folders; // a folder and one inside it: the inner one is walked and listed twice
        expectedFolders(t.path("p"), folders, untyped);
        expectedFolders(t.path("p/a"), folders, untyped);
        FaultyFileSystem fs;
        fs.untyped = untyped;
        Recorder progress;
        const ScanResult result = scan({t.path("p"), t.path("p/a")}, &progress, fs);
        QCOMPARE(progress.folders, folders);
        QCOMPARE(result.directoryCount, folders.size());
        QVERIFY(std::is_sorted(progress.percents.begin(), progress.percents.end()) && progress.percents.last() == 100);
        // Links are listed, never walked: "p" is listed a second time through "up". Only
        // regular files and links to them are photos: not "album.jpg", nor the FIFO, socket
        // or device, which the scan must not open.
        QCOMPARE(sortedPaths(result, t),
                 L({"p/.hidden/inner/h.jpg", "p/a/x.jpg", "p/a/x.jpg", "p/file.jpg", "p/lnk.jpg", "p/out/o.jpg",
                    "p/up/file.jpg", "p/up/lnk.jpg", "p/~cache/photos/p.jpg"}));
        PhotoIdSet ids; // a file reached twice still gets two records; a link, its target's size
        for (const PhotoItem &photo : result.photos) {
            ids << photo.id();
            QVERIFY(photo.name() != "lnk.jpg" || photo.size() == 7);
        }
        QCOMPARE(ids.size(), result.photos.size());
    }

    // Which names are photos and their types; each recorded byte-exact, with its size and times.
    void fileNames()
    {
        TestTree t;
        L expected, found;
        for (const auto &[name, type] : std::initializer_list<std::pair<B, const char *>>{
                 {"IMG.JPG", "JPG"}, {"IMG.Jpg", "JPG"}, {"IMG.jpg", "JPG"}, {"a.JPEG", "JPEG"},
                 {"b.tif", "TIF"}, {"c.Tiff", "TIFF"}, {"d.heic", "HEIC"}, {"e.HEIF", "HEIF"},
                 {"f.webp", "WEBP"}, {"g.bmp", "BMP"}, {"h.png", "PNG"}, {"i.gif", "GIF"},
                 {"~draft.jpg", "JPG"}, {"x.txt.png", "PNG"}, {".hidden.jpg", ""}, {"scan.pdf", ""},
                 {"noextension", ""}, {"jpg", ""}, {"a.jpg.txt", ""}, {"a.", ""}, {"a.jpgg", ""},
                 {"with space 'n' \"quotes\".jpg", "JPG"}, {"new\nline.gif", "GIF"},
                 {"caf\xe9.jpg", "JPG"}, {"\xff\xfe.PNG", "PNG"}}) {
            const timespec times[2] = {{1'000'000'000, 5}, {1'000'000'000, 5}};
            QCOMPARE(::utimensat(AT_FDCWD, t.make({"odd \xff dir/" + name}, name), times, 0), 0);
            if (*type)
                expected << name + '|' + type;
        }
        for (const PhotoItem &photo : scan({t.root}).photos) {
            found << photo.name() + '|' + photo.fileType().toLatin1();
            QVERIFY(photo.path() == t.path("odd \xff dir/" + photo.name()) && photo.size() == photo.name().size());
            QCOMPARE(photo.dateModified(), Timestamp(1'000'000'000s + 5ns));
            if (const auto birth = PosixFileSystem().attributes(photo.path())->created) // not the modification time
                QCOMPARE(photo.dateCreated(), *birth);
        }
        std::ranges::sort(expected);
        std::ranges::sort(found);
        QCOMPARE(found, expected);
    }

    void progress_data()
    {
        QTest::addColumn<L>("paths");
        QTest::addColumn<int>("files"); // in "leaf"
        QTest::addColumn<QStringList>("texts");
        const QString one = u"Found 1 folders to scan..."_s;
        QTest::newRow("no paths") << L() << 1 << QStringList{one};
        QTest::newRow("a file") << L{"leaf/1.jpg"} << 1 << QStringList{one, u"[1/1] Scanning: 1.jpg"_s};
        QTest::newRow("twice") << L{"leaf", "leaf"} << 1
                               << QStringList{u"Found 2 folders to scan..."_s, u"[1/2] Scanning: leaf"_s,
                                              u"[2/2] Scanning: leaf"_s};
        for (int files : {49, 100, 10'000}) {
            QStringList texts{one, u"[1/1] Scanning: leaf"_s};
            for (int found = 50; found <= files; found += 50)
                texts << u"Found %1 photos..."_s.arg(found);
            QTest::addRow("%d files", files) << L{"leaf"} << files << texts;
        }
    }
    void progress()
    {
        QFETCH(L, paths);
        QFETCH(int, files);
        TestTree t;
        for (int i = 1; i <= files; ++i)
            t.make({"leaf/" + B::number(i) + ".jpg"});
        L expectedNames, names;
        for (B &path : paths) {
            path = t.path(path);
            if (path.endsWith("/leaf"))
                expectedNames << TestTree::list(path); // the file system's order, not sorted
        }
        Recorder progress;
        const ScanResult result = scan(paths, &progress);
        QTEST(progress.texts, "texts");
        QCOMPARE(result.directoryCount, paths.size());
        for (const PhotoItem &photo : result.photos)
            names << photo.name();
        QCOMPARE(names, expectedNames);
    }

    // A fault at `path`, or an event there: "rm" removes it after the walk, "halt" stops the
    // scan when the walk lists it, "stop" when its folder begins, "pause" pauses after the walk
    // and then stops; "scan" adds it as a scan path. Nothing in a trash is ever recorded.
    void faults_data()
    {
        QTest::addColumn<B>("path");
        QTest::addColumn<B>("fault"); // else a FaultyFileSystem fault
        QTest::addColumn<L>("photos");
        const L all{"p/.Trash-x/sub/f.jpg", "p/1.jpg", "p/Trash/e.jpg", "p/data/Trash2/g.jpg", "p/lnk/4.jpg", "p/other/4.jpg",
                    "p/sub/2.jpg", "p/sub/deep/3.jpg"};
        const auto allBut = [&](const L &lost) { L kept = all; kept.removeIf([&](const B &p) { return lost.contains(p); }); return kept; };
        const auto allAnd = [&](const B &more) { L found = all + L{more}; std::ranges::sort(found); return found; };
        QTest::newRow("no birth time") << B("p/1.jpg") << B("nobirth") << all;
        // The walk cannot read the scan path, but the path itself is listed later.
        QTest::newRow("scan path unwalkable") << B("p") << B("walk") << L{"p/1.jpg"};
        QTest::newRow("scan path unlistable") << B("p") << B("list") << L();
        QTest::newRow("folder unwalkable") << B("p/sub") << B("walk") << allBut({"p/sub/deep/3.jpg"});
        QTest::newRow("folder unlistable") << B("p/sub") << B("list") << allBut({"p/sub/2.jpg", "p/sub/deep/3.jpg"});
        QTest::newRow("file unexaminable") << B("p/sub/2.jpg") << B("stat") << allBut({"p/sub/2.jpg"});
        QTest::newRow("link unexaminable") << B("p/lnk") << B("dir") << allBut({"p/lnk/4.jpg"});
        QTest::newRow("folder listed as a file") << B("p/x.jpg") << B("file") << all;
        QTest::newRow("folder removed") << B("p/sub") << B("rm") << allBut({"p/sub/2.jpg", "p/sub/deep/3.jpg"});
        QTest::newRow("stopped during the walk") << B("p/sub") << B("halt") << L();
        QTest::newRow("stopped at the last folder") << B("p") << B("stop") << allBut({"p/1.jpg"});
        QTest::newRow("stopped while paused") << B() << B("pause") << L();
        QTest::newRow("scan path in another user's trash") << B("p/.Trash-1009/files") << B("scan") << all;
        QTest::newRow("the home trash as scan path") << B("p/data/Trash") << B("scan") << all;
        QTest::newRow("scan path in the home trash, through a link") << B("p/datalink/Trash/files") << B("scan") << all;
        QTest::newRow("a folder named like the home trash") << B("p/data/Trash2") << B("scan") << allAnd("p/data/Trash2/g.jpg");
        QTest::newRow("the home trash by another spelling") << B("p/datalink") << B("scan") << allAnd("p/datalink/Trash2/g.jpg");
    }
    void faults()
    {
        QFETCH(B, path);
        QFETCH(B, fault);
        const auto before = std::chrono::system_clock::now() - 1s;
        TestTree t;
        t.make({"p/1.jpg", "p/sub/2.jpg", "p/sub/deep/3.jpg", "p/other/4.jpg", "p/lnk -> other", "p/data/Trash/files/a.jpg",
                "p/.Trash-1009/files/b.jpg", "p/.Trash/1009/files/c.jpg", "p/.Trash-1009/files/deep/d.jpg", "p/Trash/e.jpg",
                "p/.Trash-x/sub/f.jpg", "p/data/Trash2/g.jpg", "p/datalink -> data", "p/x.jpg/"});
        const auto restore = qScopeGuard([saved = qgetenv("XDG_DATA_HOME")] { qputenv("XDG_DATA_HOME", saved); });
        qputenv("XDG_DATA_HOME", t.path("p/data"));
        FaultyFileSystem fs;
        fs.faults[t.path(path)] = fault;
        Flags flags;
        QList<std::chrono::milliseconds> waits; // while paused, until the third wait ends in a stop
        flags.pauseWait = [&](std::chrono::milliseconds interval) {
            waits << interval;
            flags.stop = flags.stop || waits.size() == 3;
            flags.pause = waits.size() < 10;
        };
        fs.onList = [&](const FilePath &dir) { flags.stop = flags.stop || (fault == "halt" && dir == t.path(path)); };
        bool walked = false;
        Recorder progress;
        progress.hook = [&] { // after the walk, then as each folder begins
            if (fault == "rm" && !walked)
                QDir(QFile::decodeName(t.path(path))).removeRecursively();
            flags.pause = fault == "pause";
            flags.stop = flags.stop || (fault == "stop" && walked && progress.folders.last() == t.path(path));
            walked = true;
        };
        const L paths = fault == "scan" ? L{t.path("p"), t.path(path)} : L{t.path("p")};
        const ScanResult result = scan(paths, &progress, fs, flags);
        QTEST(sortedPaths(result, t), "photos");
        QCOMPARE(waits, fault == "pause" ? QList<std::chrono::milliseconds>(3, 200ms) : QList<std::chrono::milliseconds>());
        QCOMPARE(progress.texts.isEmpty(), fault == "halt"); // not even the folder count
        for (const PhotoItem &photo : result.photos) // birth time, or the time of the scan
            QVERIFY(photo.dateCreated() > before && photo.dateCreated() <= std::chrono::system_clock::now());
    }

    // The log's list of chosen folders.
    void pathList() { QCOMPARE(ScanControlTexts::pathListLiteral({"/a", "/b \"x\"\\\n"}), u"[\"/a\", \"/b \\\"x\\\"\\\\\\n\"]"_s); }

    // A mode 000 file is still recorded (only its attributes are read); nothing in a mode
    // 000 folder is; a mode 644 folder is listed but its entries cannot be examined. Root
    // reads anything, so root scans as an unprivileged user.
    void unreadable()
    {
        TestTree t;
        t.make({"p/ok/a.jpg", "p/secret.jpg", "p/locked/b.jpg", "p/locked/sub/", "p/blind/c.jpg", "p/blind/sub/"});
        for (const auto &[path, mode] : {std::pair{t.root, 0755}, {t.path("p/secret.jpg"), 0},
                                         {t.path("p/locked"), 0}, {t.path("p/blind"), 0644}})
            QCOMPARE(::chmod(path, mode_t(mode)), 0);
        const auto restore = qScopeGuard([&] { ::chmod(t.path("p/locked"), 0755); ::chmod(t.path("p/blind"), 0755); });
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || ::seteuid(65534) == 0);
        const L found = sortedPaths(scan({t.path("p")}), t);
        QVERIFY(!root || ::seteuid(0) == 0);
        QCOMPARE(found, L({"p/ok/a.jpg", "p/secret.jpg"}));
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "test_scanner.moc"
