#include "TestTree.h"
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"
#include "scan/ScanControl.h"
#include "scan/ScanSequence.h"

#include <QDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

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

// The real file system, listing in name order, with a fault per path: "walk" (the first
// listing fails), "dir" (not a folder), "nobirth" (no birth time), "file" (listed as a
// regular file, as when it was one a moment ago).
struct FaultyFileSystem : PosixFileSystem
{
    mutable QHash<B, B> faults;
    bool untyped = false; // report every entry type as unknown, as without d_type
    std::function<void(const FilePath &)> onList = [](const FilePath &) {};

    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override
    {
        onList(dir);
        auto entries = faults.value(dir) == "walk" && faults.remove(dir) ? std::nullopt : PosixFileSystem::listDirectory(dir);
        if (!entries)
            return entries;
        std::ranges::sort(*entries, {}, &DirEntry::name);
        for (DirEntry &entry : *entries) {
            if (untyped || faults.value(appendPathComponent(dir, entry.name)) == "file")
                entry.type = untyped ? EntryType::unknown : EntryType::file;
        }
        return entries;
    }
    std::optional<ItemAttributes> attributes(const FilePath &path) const override
    {
        auto attributes = PosixFileSystem::attributes(path);
        if (attributes && faults.value(path) == "nobirth")
            attributes->created.reset();
        return attributes;
    }
    bool isDirectory(const FilePath &path, bool follow) const override { return faults.value(path) != "dir" && PosixFileSystem::isDirectory(path, follow); }
};

const std::atomic<bool> never = false; // for a scan neither paused nor stopped

// A stage that tells what it saw of the library and whether its run was stopped; `during`
// runs in its work.
struct NoteStage final : ScanStage
{
    NoteStage(QString n, std::function<void(const StageContext &)> d = [](const StageContext &) {}) : name(std::move(n)), during(std::move(d)) {}
    QString startedText() const override { return name; }
    StageWork prepare(const LibraryState &library) const override
    {
        return [name = name, seen = library.searchText, count = library.allPhotos.size(), during = during](const StageContext &c) -> StageApply {
            during(c);
            return [=, stopped = c.stop ? u" stopped"_s : QString()](LibraryState &l) {
                l.searchText += name;
                return StageOutcome{u"%1 after '%2' of %3%4"_s.arg(name, seen).arg(count).arg(stopped), {}, LibraryChange::none};
            };
        };
    }
    QString name;
    std::function<void(const StageContext &)> during;
};

} // namespace

class TestScanner : public QObject
{
    Q_OBJECT
private slots:
    void folderTree_data()
    {
        QTest::addColumn<bool>("untyped");
        QTest::newRow("listing's entry types") << false;
        QTest::newRow("types unknown, as without d_type") << true;
    }
    void folderTree()
    {
        QFETCH(bool, untyped);
        TestTree t;
        t.make({"p/a/b/c/", "p/e/", "p/.hidden/h.jpg", "p/.hidden/inner/h.jpg", "p/~cache/c.jpg", "p/~cache/photos/p.jpg",
                "p/album.jpg/", "p/file.jpg", "p/lnk.jpg -> a/x.jpg", "p/dangling.jpg -> nowhere", "p/up -> .", "p/loop1 -> loop2",
                "p/loop2 -> loop1", "outside/o.jpg", "p/out -> ../outside", "p/fifo.jpg|", "p/socket.png=", "p/tofifo.jpg -> fifo.jpg",
                "p/null.jpg -> /dev/null"});
        t.make({"p/a/x.jpg"}, "12345678"); // longer than the link's own "a/x.jpg"
        // Only regular files and links to them are photos: not "album.jpg", nor the FIFO,
        // socket or device, which the scan must not open. A file reached twice is recorded twice.
        L expected{"p/.hidden/inner/h.jpg|JPG", "p/a/x.jpg|JPG", "p/a/x.jpg|JPG", "p/file.jpg|JPG", "p/lnk.jpg|JPG", "p/out/o.jpg|JPG",
                   "p/up/file.jpg|JPG", "p/up/lnk.jpg|JPG", "p/~cache/photos/p.jpg|JPG"};
        // Which names are photos and their types; each recorded byte-exact, with its size and times.
        const timespec times[2] = {{1'000'000'000, 5}, {1'000'000'000, 5}};
        for (const auto &[name, type] : std::initializer_list<std::pair<B, const char *>>{
                 {"IMG.JPG", "JPG"}, {"IMG.Jpg", "JPG"}, {"IMG.jpg", "JPG"}, {"a.JPEG", "JPEG"}, {"b.tif", "TIF"}, {"c.Tiff", "TIFF"},
                 {"d.heic", "HEIC"}, {"e.HEIF", "HEIF"}, {"f.webp", "WEBP"}, {"g.bmp", "BMP"}, {"h.png", "PNG"}, {"i.gif", "GIF"},
                 {"~draft.jpg", "JPG"}, {"x.txt.png", "PNG"}, {".hidden.jpg", ""}, {"scan.pdf", ""}, {"noextension", ""}, {"jpg", ""},
                 {"a.jpg.txt", ""}, {"a.", ""}, {"a.jpgg", ""}, {"with space 'n' \"quotes\".jpg", "JPG"}, {"new\nline.gif", "GIF"},
                 {"caf\xe9.jpg", "JPG"}, {"\xff\xfe.PNG", "PNG"}}) {
            QCOMPARE(::utimensat(AT_FDCWD, t.make({"p/odd \xff dir/" + name}, name), times, 0), 0);
            if (*type)
                expected << "p/odd \xff dir/" + name + '|' + type;
        }
        FaultyFileSystem fs;
        fs.untyped = untyped;
        Recorder progress;
        const ScanResult result = scanFolders(fs, {t.path("p"), t.path("p/a")}, {never, never}, progress);
        // Each scan path after the folders below it, in walk order; folders named ".x" or "~x"
        // are walked but not listed. Links are listed, never walked: "p" is listed a second
        // time through "up". A folder inside another scan path is listed twice.
        L folders, found;
        for (const char *folder : {"p/.hidden/inner", "p/a", "p/a/b", "p/a/b/c", "p/album.jpg", "p/e", "p/odd \xff dir", "p/out", "p/up",
                                   "p/~cache/photos", "p", "p/a/b", "p/a/b/c", "p/a"})
            folders << t.path(folder);
        QCOMPARE(progress.folders, folders);
        QVERIFY(std::is_sorted(progress.percents.begin(), progress.percents.end()) && progress.percents.last() == 100);
        for (const PhotoItem &photo : result.photos) {
            found << photo.path().mid(t.root.size() + 1) + '|' + photo.fileType().toLatin1();
            if (photo.name() == "lnk.jpg") // a link has its target's size
                QCOMPARE(photo.size(), 8);
            if (!photo.path().contains("/odd "))
                continue;
            QVERIFY(photo.size() == photo.name().size() && photo.dateModified() == Timestamp(1'000'000'000s + 5ns));
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
        QTest::newRow("twice") << L{"leaf", "leaf"} << 1 << QStringList{u"Found 2 folders to scan..."_s, u"[1/2] Scanning: leaf"_s, u"[2/2] Scanning: leaf"_s};
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
        const ScanResult result = scanFolders(PosixFileSystem(), paths, {never, never}, progress);
        QTEST(progress.texts, "texts");
        for (const PhotoItem &photo : result.photos)
            names << photo.name();
        QCOMPARE(names, expectedNames);
    }

    // A fault at `path`, or an event there: "rm" removes it after the walk, "halt" stops the
    // scan when the walk lists it, "stop" when its folder begins, "pause" pauses after the walk
    // and then stops; "scan" adds it as a scan path; "mode N" gives it that mode, and root then
    // scans as an unprivileged user. Nothing in a trash is ever recorded.
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
        QTest::newRow("scan path unreadable") << B("p") << B("mode 000") << L();
        QTest::newRow("folder unwalkable") << B("p/sub") << B("walk") << allBut({"p/sub/deep/3.jpg"});
        QTest::newRow("file unreadable") << B("p/1.jpg") << B("mode 000") << all; // only its attributes are read
        QTest::newRow("folder unreadable") << B("p/sub") << B("mode 000") << allBut({"p/sub/2.jpg", "p/sub/deep/3.jpg"});
        QTest::newRow("folder listable, entries unexaminable") << B("p/sub") << B("mode 644") << allBut({"p/sub/2.jpg", "p/sub/deep/3.jpg"});
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
        const auto restore = qScopeGuard([&, saved = qgetenv("XDG_DATA_HOME")] { qputenv("XDG_DATA_HOME", saved); ::chmod(t.path(path), 0755); });
        qputenv("XDG_DATA_HOME", t.path("p/data"));
        const bool chmodded = fault.startsWith("mode "), unprivileged = chmodded && ::geteuid() == 0;
        QVERIFY(::chmod(t.root, 0755) == 0 && (!chmodded || ::chmod(t.path(path), mode_t(fault.mid(5).toUInt(nullptr, 8))) == 0));
        FaultyFileSystem fs;
        fs.faults[t.path(path)] = fault;
        std::atomic<bool> pause = false, stop = false;
        QList<std::chrono::milliseconds> waits; // while paused, until the third wait ends in a stop
        const auto pauseWait = [&](std::chrono::milliseconds interval) {
            waits << interval;
            stop = stop || waits.size() == 3;
            pause = waits.size() < 10;
        };
        bool listedAfterStop = false; // the walk ends as soon as it is stopped
        fs.onList = [&](const FilePath &dir) {
            listedAfterStop = listedAfterStop || stop;
            stop = stop || (fault == "halt" && dir == t.path(path));
        };
        Recorder progress;
        progress.hook = [&] { // after the walk, then as each folder begins
            if (fault == "rm" && progress.folders.isEmpty())
                QDir(QFile::decodeName(t.path(path))).removeRecursively();
            pause = fault == "pause";
            stop = stop || (fault == "stop" && progress.folders.endsWith(t.path(path)));
        };
        const L paths = fault == "scan" ? L{t.path("p"), t.path(path)} : L{t.path("p")};
        QVERIFY(!unprivileged || ::seteuid(65534) == 0);
        const ScanResult result = scanFolders(fs, paths, {pause, stop, pauseWait}, progress);
        QVERIFY(!unprivileged || ::seteuid(0) == 0);
        L found;
        for (const PhotoItem &photo : result.photos) { // birth time, or the time of the scan
            found << photo.path().mid(t.root.size() + 1);
            QVERIFY(photo.dateCreated() > before && photo.dateCreated() <= std::chrono::system_clock::now());
        }
        std::ranges::sort(found);
        QTEST(found, "photos");
        QVERIFY(!listedAfterStop);
        QCOMPARE(waits, fault == "pause" ? QList<std::chrono::milliseconds>(3, 200ms) : QList<std::chrono::milliseconds>());
        // Stopped in the walk: not even the folder count; while paused: no folder begins.
        QCOMPARE(std::min<qsizetype>(progress.texts.size(), 2), fault == "halt" ? 0 : fault == "pause" ? 1 : 2);
    }

    // A run's stages follow the walk and the first page one after another, each seeing what
    // the one before applied; a stop ends the run after the stage under way; a newer run
    // stops the old one and drops what it still reports.
    void sequence_data()
    {
        QTest::addColumn<B>("fault");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("in order") << B() << QStringList{u"walk 2"_s, u"A after '' of 2"_s, u"B after 'A' of 2"_s};
        QTest::newRow("stopped in A") << B("stop") << QStringList{u"walk 2"_s, u"A after '' of 2 stopped"_s};
        QTest::newRow("replaced in A") << B("replace") << QStringList{u"walk 2"_s, u"walk 2"_s, u"A after '' of 2"_s, u"B after 'A' of 2"_s};
    }
    void sequence()
    {
        QFETCH(B, fault);
        TestTree t;
        t.make({"p/a.jpg", "p/b.png"});
        LibraryState library;
        library.scanPaths = {t.path("p")};
        PosixFileSystem fs;
        QThreadPool pool;
        QSemaphore gate;
        std::shared_ptr<ScanRun> first;
        std::atomic<int> works = 0, sawStop = 0;
        QStringList log, statuses;
        {
            ScanSequence sequence(library, fs, pool);
            sequence.addStage(std::make_unique<NoteStage>(u"A"_s, [&](const StageContext &c) {
                if (fault == "stop")
                    first->stop = true;
                if (fault == "replace" && works++ == 0) { // the first run's A, under way, is replaced
                    QMetaObject::invokeMethod(&sequence, [&] { sequence.start(); gate.release(); }, Qt::QueuedConnection);
                    gate.acquire();
                    sawStop += c.stop;
                }
            }));
            sequence.addStage(std::make_unique<NoteStage>(u"B"_s));
            connect(&sequence, &ScanSequence::walkFinished, &sequence, [&](bool stopped) {
                log << u"walk %1%2"_s.arg(library.allPhotos.size()).arg(stopped ? u" stopped"_s : QString());
                sequence.firstPageReady();
            });
            connect(&sequence, &ScanSequence::statusChanged, &sequence, [&](const QString &text) { statuses << text; });
            connect(&sequence, &ScanSequence::stageApplied, &sequence, [&](const StageOutcome &o) { log << o.status; });
            sequence.start();
            first = sequence.run();
            QFETCH(QStringList, expected);
            QTRY_COMPARE(log, expected);
            pool.waitForDone();
            QCoreApplication::processEvents();
            QVERIFY(sequence.stagesDone());
        }
        QCOMPARE(statuses.contains(u"B"_s), fault != "stop");
        QCOMPARE(sawStop.load(), fault == "replace" ? 1 : 0);
    }

    // The log's list of chosen folders.
    void pathList() { QCOMPARE(ScanControlTexts::pathListLiteral({"/a", "/b \"x\"\\\n"}), u"[\"/a\", \"/b \\\"x\\\"\\\\\\n\"]"_s); }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "test_scanner.moc"
