#include "TestMounts.h"
#include "TestTree.h"
#include "actions/FileOperations.h"
#include "platform/FileCopy.h"
#include "platform/FileSystem.h"

#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <sys/wait.h>

using namespace Qt::StringLiterals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

constexpr timespec sourceTime{1'500'000'000, 123'456'789};
const FileOperation copy = FileOperation::copy, move = FileOperation::move;

struct Run
{
    FileOpOutcome outcome;
    QStringList log, progress; // progress: "done/errors/total" after each file
};

Run run(FileOperation operation, const B &destDir, const L &sources)
{
    QList<FileJob> jobs;
    for (const B &source : sources)
        jobs.append({PhotoId(jobs.size() + 1), source, lastPathComponent(source).toByteArray()});
    Run r;
    r.outcome = runFileOperation(
        operation, destDir, jobs,
        [&](const FileOpProgress &p) { r.progress << u"%1/%2/%3"_s.arg(p.done).arg(p.errors).arg(p.total); },
        [&](const QString &line) { r.log << line; });
    return r;
}

// Contents, modification time and mode of a file, or "<missing>".
B fileState(const B &path)
{
    struct stat st;
    if (::stat(path, &st) != 0)
        return "<missing>";
    return fileBytes(path) + ' ' + B::number(qint64(st.st_mtim.tv_sec)) + '.' + B::number(qint64(st.st_mtim.tv_nsec))
           + ' ' + B::number(st.st_mode & 07777, 8);
}

QLatin1StringView verb(FileOperation operation) { return QLatin1StringView(operation == copy ? "copying" : "moving"); }

// The real file system, running `at` at each of the copy's steps ("rename", "unnamed",
// "flush file", "flush folder"). With `across`, a rename between folders crosses file
// systems; without `links` every rename does; without `unnamed` there is no O_TMPFILE.
struct StepFileSystem : PosixFileSystem
{
    bool unnamed = true, links = true, across = true;
    std::function<void(const B &step)> at = [](const B &) {};
    int openUnnamed(const FilePath &dir) const override { at("unnamed"); return unnamed ? PosixFileSystem::openUnnamed(dir) : (errno = EOPNOTSUPP, -1); }
    int flush(int fd) const override { at(isFolder(fd) ? "flush folder" : "flush file"); return PosixFileSystem::flush(fd); }
    int renameNoReplace(const FilePath &from, const FilePath &to) const override
    {
        at("rename");
        return links && (!across || parentPath(from) == parentPath(to)) ? PosixFileSystem::renameNoReplace(from, to) : EXDEV;
    }
    static bool isFolder(int fd) { struct stat st; return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode); }
};

const B e = "\xc3\xa9"; // a two-byte character

} // namespace

class TestFileOps : public QObject
{
    Q_OBJECT

private slots:
    // Sources hold their own relative path; what is written keeps contents, time and mode.
    void names_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<QList<L>>("files"); // existing (holding "old"; "tmpfs": "d" is another file system), sources, {dest}, written names in job order
        const std::pair<const char *, QList<L>> rows[] = {
            {"to another file system", {{"tmpfs", "s/real.jpg"}, {"s/a.jpg", "s/b b.jpg", "s/ln.jpg -> real.jpg"}, {"d/album"}, {"a.jpg", "b b.jpg", "ln.jpg"}}},
            {"255 bytes taken", {{"d/x" + e.repeated(125) + ".jpg", "d/" + e.repeated(125) + "x.jpg"}, {"s/x" + e.repeated(125) + ".jpg", "s/" + e.repeated(125) + "x.jpg"},
                                 {"d"}, {"x" + e.repeated(124) + "_1.jpg", e.repeated(124) + "_1.jpg"}}},
            {"a.jpg after a, a_1, a_2; last dot", {{"d/a.jpg", "d/a_1.jpg", "d/a_2.jpg", "d/a.b.jpg"}, {"s/a.jpg", "s/a.b.jpg"}, {"d"}, {"a_3.jpg", "a.b_1.jpg"}}},
            {"one name twice, new folders", {{}, {"s/IMG.jpg", "t/IMG.jpg"}, {"d/new/deeper"}, {"IMG.jpg", "IMG_1.jpg"}}},
            {"numbered name taken", {{"d/IMG_1.jpg"}, {"s/IMG_1.jpg"}, {"d"}, {"IMG_1_1.jpg"}}},
            {"no extension, dangling links", {{"d/README -> nowhere", "d/README_1 -> nowhere"}, {"s/README"}, {"d"}, {"README_2"}}},
            {"into its own folder", {{}, {"s/a.jpg"}, {"s"}, {"a_1.jpg"}}},
            {"odd names, a symlinked photo", {{"s/real.jpg"}, {"s/caf\xe9 100% .jpg", "s/new\nline.jpg", "s/ln.jpg -> real.jpg"}, {"d"}, {"caf\xe9 100% .jpg", "new\nline.jpg", "ln.jpg"}}},
        };
        for (FileOperation op : {copy, move})
            for (const auto &[name, files] : rows)
                QTest::addRow("%s %s", verb(op).data(), name) << op << files;
    }
    void names()
    {
        QFETCH(FileOperation, operation);
        QFETCH(QList<L>, files);
        L existing = files[0];
        const L sources = files[1], written = files[3];
        const B dest = files[2][0];
        TestTree t;
        std::optional<TestMount> mount;
        if (existing.removeAll("tmpfs") && !mount.emplace(TestMount::tmpfs, t.make({"d/"})).ok)
            QSKIP("cannot mount here");
        for (const B &entry : existing)
            t.make({entry}, "old");
        L paths, bytes; // a link's photo is its target's
        for (const B &r : sources) {
            paths << t.make({r}, r);
            const timespec times[2] = {sourceTime, sourceTime};
            QCOMPARE(::utimensat(AT_FDCWD, paths.last(), times, 0) + ::chmod(paths.last(), 0640), 0);
            bytes << fileBytes(paths.last());
        }
        const Run r = run(operation, t.path(dest), paths);
        QVERIFY2(r.log.isEmpty() && r.outcome.succeededIds.size() == sources.size(), qPrintable(r.log.join(u'\n')));
        for (qsizetype i = 0; i < sources.size(); ++i) {
            QCOMPARE(fileState(t.path(dest) + '/' + written[i]), bytes[i] + " 1500000000.123456789 640");
            QCOMPARE(fileBytes(paths[i]) == "<missing>", operation == move);
        }
        for (const B &entry : existing)
            QVERIFY(entry.contains(" -> ") || fileBytes(t.path(entry)) == "old");
    }

    // A failed file leaves no partial copy and stays where it was.
    void failures_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<B>("setup");
        QTest::addColumn<int>("done"); // big.jpg always fails; small.jpg may not
        QTest::addColumn<QString>("error");
        for (FileOperation op : {copy, move}) {
            const char *v = verb(op).data();
            QTest::addRow("%s vanished source", v) << op << B("vanished") << 1 << u"No such file or directory"_s;
            QTest::addRow("%s destination is a file", v) << op << B("file") << 0 << u"Not a directory"_s;
            QTest::addRow("%s read-only destination", v) << op << B("readonly") << 0 << u"Read-only file system"_s;
            QTest::addRow("%s full destination", v) << op << B("full") << 1 << u"No space left on device"_s;
        }
    }
    void failures()
    {
        QFETCH(FileOperation, operation);
        QFETCH(B, setup);
        QFETCH(int, done);
        QFETCH(QString, error);
        TestTree t;
        const B big = t.make({"s/big.jpg"}, B(1 << 20, 'x')), small = t.make({"s/small.jpg"}, "small");
        const B dest = setup == "file" ? t.make({"d"}) : t.make({"d/"});
        std::optional<TestMount> mount;
        if (setup == "vanished") {
            ::unlink(big);
        } else if (setup != "file" && !mount.emplace(setup == "full" ? TestMount::tmpfs : TestMount::readOnly, dest, "size=256k").ok) {
            QSKIP("cannot mount here");
        }
        const Run r = run(operation, t.path("d"), {big, small});
        const QString line = u"Error %1 %3: %2"_s.arg(verb(operation), error); // %3: the file
        QCOMPARE(r.log.join(u'|'), done ? line.arg(u"big.jpg") : line.arg(u"big.jpg") + u'|' + line.arg(u"small.jpg"));
        QCOMPARE(r.progress, QStringList({u"0/1/2"_s, u"%1/%2/2"_s.arg(done).arg(2 - done)}));
        QCOMPARE(r.outcome.succeededIds, done ? PhotoIdSet{2} : PhotoIdSet());
        QCOMPARE(setup == "file" ? L() : TestTree::list(dest), done ? L{"small.jpg"} : L());
        QCOMPARE(fileBytes(big) + '|' + fileBytes(small), (setup == "vanished" ? B("<missing>") : B(1 << 20, 'x')) + '|'
                                                              + (operation == move && done ? B("<missing>") : B("small")));
    }

    // Whatever happens to the source or the name during a copy or a move between file
    // systems, a file that fails leaves the source as it is and nothing of its own at the
    // destination; a name taken meanwhile is not touched. A move removes the source only
    // once the copy and its folder are on disk.
    void interference_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<B>("setup"); // "link" (to photo.jpg), "no tmpfile", "no links", "one fs", "readonly" (source folder)
        QTest::addColumn<B>("step");
        QTest::addColumn<B>("action");
        QTest::addColumn<QString>("error"); // none: it works
        const QString changed = u"The file changed while it was copied"_s, taken = u"File exists"_s;
        const std::tuple<const char *, FileOperation, const char *, const char *, const char *, QString> rows[] = {
            {"grows while copied", copy, "", "unnamed", "grow", changed},
            {"grows while copied, no O_TMPFILE", copy, "no tmpfile", "unnamed", "grow", changed},
            {"name taken", copy, "", "unnamed", "take", taken},
            {"name taken, no O_TMPFILE", copy, "no tmpfile", "flush file", "take", taken},
            {"name taken, no O_TMPFILE or links", copy, "no tmpfile no links", "unnamed", "take", taken},
            {"temporary removed, no O_TMPFILE or links", copy, "no tmpfile no links", "flush file", "drop", u"No such file or directory"_s},
            {"flushed first", move, "", "", "", {}},
            {"flushed first, no O_TMPFILE", move, "no tmpfile", "", "", {}},
            {"flushed first, no O_TMPFILE or links", move, "no tmpfile no links", "", "", {}},
            {"grows while copied", move, "", "flush file", "grow", changed},
            {"edited while copied, time kept", move, "", "flush file", "edit, time kept", changed},
            {"edited after the copy", move, "", "flush folder", "edit", changed},
            {"replaced after the copy", move, "", "flush folder", "replace", changed},
            {"removed after the copy", move, "", "flush folder", "drop", u"No such file or directory"_s},
            {"link's photo edited after the copy", move, "link", "flush folder", "edit", changed},
            {"name taken", move, "", "unnamed", "take", taken},
            {"name taken, one file system", move, "one fs", "rename", "take", taken},
            {"name taken, no O_TMPFILE or links", move, "no tmpfile no links", "flush file", "take", taken},
            {"source cannot be removed", move, "readonly", "", "", u"Read-only file system"_s},
        };
        for (const auto &[name, op, setup, step, action, error] : rows)
            QTest::addRow("%s %s", verb(op).data(), name) << op << B(setup) << B(step) << B(action) << error;
    }
    void interference()
    {
        QFETCH(FileOperation, operation);
        QFETCH(B, setup);
        QFETCH(B, step);
        QFETCH(B, action);
        QFETCH(QString, error);
        TestTree t;
        const B dest = t.make({"d/"}), source = t.make({"s/a.jpg"}, "photo");
        if (setup == "link")
            QCOMPARE(::rename(source, t.path("s/photo.jpg")) + ::symlink("photo.jpg", source), 0);
        const timespec times[2] = {sourceTime, sourceTime};
        ::utimensat(AT_FDCWD, source, times, 0);
        std::optional<TestMount> mount;
        if (setup == "readonly" && !mount.emplace(TestMount::readOnly, t.path("s")).ok)
            QSKIP("cannot mount here");
        StepFileSystem fs;
        fs.unnamed = !setup.contains("no tmpfile");
        fs.links = !setup.contains("no links");
        fs.across = setup != "one fs";
        B expected = error.isEmpty() && operation == move ? "<missing>" : "photo";
        int flushes = 0; // while the source is there
        const auto changeTime = [](const B &path) { struct stat st; ::stat(path, &st); return std::pair(st.st_ctim.tv_sec, st.st_ctim.tv_nsec); };
        fs.at = [&](const B &now) {
            flushes += now.startsWith("flush") && ::access(source, F_OK) == 0;
            if (now != step || std::exchange(step, B()).isEmpty())
                return;
            if (action == "take") {
                t.make({"d/a.jpg"}, "old");
            } else if (action == "drop") { // the source after the copy, else the temporary
                QCOMPARE(::unlink(now == "flush folder" ? source : dest + TestTree::list(dest).value(0)), 0);
                expected = now == "flush folder" ? "<missing>" : expected;
            } else if (action == "replace") {
                ::rename(t.make({"s/new.jpg"}, expected = "other"), source);
            } else { // in place; the change time moves in clock ticks, so edit in a later one
                while (action.endsWith("kept") && changeTime(t.make({"s/probe"})) == changeTime(source)) {}
                t.make({"s/a.jpg"}, expected = action == "grow" ? "photoPHOTO" : "PHOTO");
                if (action.endsWith("kept"))
                    ::utimensat(AT_FDCWD, source, times, 0);
            }
        };
        const FileTransfer transfer = operation == copy ? copyFileInto(source, "a.jpg", dest, fs) : moveFileInto(source, "a.jpg", dest, fs);
        QCOMPARE(transfer.ok ? QString() : transfer.error, error);
        QCOMPARE(fileBytes(source), expected);
        const B written = error.isEmpty() ? "photo" : action == "take" ? "old" : "<missing>";
        QCOMPARE(TestTree::list(dest), written == "<missing>" ? L() : L{"a.jpg"});
        QCOMPARE(fileBytes(t.path("d/a.jpg")), written);
        if (error.isEmpty())
            QCOMPARE(flushes, 2); // the copy and its folder, before the source went
    }

    // Each field that shows a change tells two states of a file apart.
    void sameStateFields()
    {
        const struct stat a = {};
        for (const auto change : {+[](struct stat &s) { ++s.st_dev; }, +[](struct stat &s) { ++s.st_ino; }, +[](struct stat &s) { ++s.st_size; },
                                  +[](struct stat &s) { ++s.st_mtim.tv_sec; }, +[](struct stat &s) { ++s.st_mtim.tv_nsec; },
                                  +[](struct stat &s) { ++s.st_ctim.tv_sec; }, +[](struct stat &s) { ++s.st_ctim.tv_nsec; }}) {
            struct stat b = a;
            change(b);
            QVERIFY(sameState(a, a) && !sameState(a, b));
        }
    }

    // A move killed where O_TMPFILE is unavailable leaves no part of the photo under its
    // name; a later run into that folder removes what it left, but not a copy still going on.
    void killedRun()
    {
        TestTree t;
        const B source = t.make({"s/BIG.jpg"}, B(1 << 20, 'x')), other = t.make({"s/x.part"}, "x"), dest = t.make({"d/"});
        const pid_t child = ::fork();
        if (child == 0) {
            StepFileSystem fs;
            fs.unnamed = false;
            fs.at = [](const B &step) { if (step == "flush file") ::raise(SIGSTOP); };
            moveFileInto(source, "BIG.jpg", dest, fs);
            ::_exit(0);
        }
        bool reaped = false;
        const auto reap = [&] { return std::exchange(reaped, true) || (::kill(child, SIGKILL) == 0 && ::waitpid(child, nullptr, 0) == child); };
        const auto cleanup = qScopeGuard(reap);
        int status = 0;
        QVERIFY(::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)); // while writing
        QVERIFY(run(copy, dest, {other}).log.isEmpty());
        L left = TestTree::list(dest);
        QVERIFY2(left.size() == 2 && left.contains("x.part") && !left.contains("BIG.jpg"), left.join(' '));
        QVERIFY(reap());
        QVERIFY(run(copy, dest, {source}).log.isEmpty());
        left = TestTree::list(dest);
        std::sort(left.begin(), left.end());
        QCOMPARE(left, L({"BIG.jpg", "x.part"}));
        QCOMPARE(fileBytes(t.path("d/BIG.jpg")), fileBytes(source));
    }

    // The texts the window's own tests do not reach.
    void texts()
    {
        using namespace FileOperationTexts;
        QCOMPARE(working(copy) + working(move) + deleteSummary({3, 0, 3, {}}),
                 u"Copying...Moving...Deleted 3 photos - loaded more to replace"_s);
        QCOMPARE(progressPercent({0, 0, 0}) + deletePercent({0, 0, 0}), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestFileOps)
#include "test_fileops.moc"
