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

constexpr timespec sourceTimes[2] = {{1'500'000'000, 123'456'789}, {1'500'000'000, 123'456'789}};
const FileOperation copy = FileOperation::copy, move = FileOperation::move;

// What a run reports, in order: its log lines and, after each file, "done/errors/total".
// `succeeded` receives the photos that went.
QStringList run(FileOperation operation, const B &destDir, const L &sources, PhotoIdSet *succeeded = nullptr)
{
    QList<FileJob> jobs;
    for (const B &source : sources)
        jobs.append({PhotoId(jobs.size() + 1), source, lastPathComponent(source).toByteArray()});
    QStringList reported;
    const FileOpOutcome outcome = runFileOperation(
        operation, destDir, jobs, [&](const FileOpProgress &p) { reported << u"%1/%2/%3"_s.arg(p.done).arg(p.errors).arg(p.total); },
        [&](const QString &line) { reported << line; });
    if (succeeded)
        *succeeded = outcome.succeededIds;
    return reported;
}

// Contents, modification time and mode of a file.
B fileState(const B &path)
{
    struct stat st = {};
    ::stat(path, &st);
    return fileBytes(path) + ' ' + B::number(qint64(st.st_mtim.tv_sec)) + '.' + B::number(qint64(st.st_mtim.tv_nsec))
           + ' ' + B::number(st.st_mode & 07777, 8);
}

QLatin1StringView verb(FileOperation operation) { return QLatin1StringView(operation == copy ? "copying" : "moving"); }

// The real file system, running `at` at each of the copy's steps ("rename", "unnamed",
// "flush file", "flush folder"). A rename between folders crosses file systems, unless
// `setup` says "one fs"; with "no links" every rename does; "no tmpfile": no O_TMPFILE.
struct StepFileSystem : PosixFileSystem
{
    explicit StepFileSystem(const B &s) : setup(s) {}
    const B setup;
    std::function<void(const B &step)> at = [](const B &) {};
    int openUnnamed(const FilePath &dir) const override { at("unnamed"); return setup.contains("no tmpfile") ? (errno = EOPNOTSUPP, -1) : PosixFileSystem::openUnnamed(dir); }
    int flush(int fd) const override { struct stat st; at(::fstat(fd, &st) || !S_ISDIR(st.st_mode) ? "flush file" : "flush folder"); return PosixFileSystem::flush(fd); }
    int renameNoReplace(const FilePath &from, const FilePath &to) const override
    {
        at("rename");
        const bool renames = !setup.contains("no links") && (setup == "one fs" || parentPath(from) == parentPath(to));
        return renames ? PosixFileSystem::renameNoReplace(from, to) : EXDEV;
    }
};

const B e = "\xc3\xa9"; // a two-byte character

} // namespace

class TestFileOps : public QObject
{
    Q_OBJECT

private slots:
    // Each source lands under its written name, keeping contents, time and mode (sources
    // hold their own relative path), or, where that name is empty, fails with `error`: it
    // stays as it was, and nothing of it is left at the destination. What existed stays.
    void runs_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<B>("setup"); // "tmpfs": d/ is another file system; "full": a small one, and the first source 1 MB; "readonly": d/ is read-only; "vanished": the first source is gone
        QTest::addColumn<QList<L>>("files"); // existing (holding "old"), sources, {dest}, written names in job order
        QTest::addColumn<QString>("error");
        const L two{"s/big.jpg", "s/small.jpg"};
        const std::tuple<const char *, const char *, QList<L>, QString> rows[] = {
            {"to another file system", "tmpfs", {{"s/real.jpg"}, {"s/a.jpg", "s/b b.jpg", "s/ln.jpg -> real.jpg"}, {"d/album"}, {"a.jpg", "b b.jpg", "ln.jpg"}}, {}},
            {"255 bytes taken", "", {{"d/x" + e.repeated(125) + ".jpg", "d/" + e.repeated(125) + "x.jpg"}, {"s/x" + e.repeated(125) + ".jpg", "s/" + e.repeated(125) + "x.jpg"},
                                     {"d"}, {"x" + e.repeated(124) + "_1.jpg", e.repeated(124) + "_1.jpg"}}, {}},
            {"a.jpg after a, a_1, a_2; last dot", "", {{"d/a.jpg", "d/a_1.jpg", "d/a_2.jpg", "d/a.b.jpg"}, {"s/a.jpg", "s/a.b.jpg"}, {"d"}, {"a_3.jpg", "a.b_1.jpg"}}, {}},
            {"one name twice, new folders", "", {{}, {"s/IMG.jpg", "t/IMG.jpg"}, {"d/new/deeper"}, {"IMG.jpg", "IMG_1.jpg"}}, {}},
            {"numbered name taken", "", {{"d/IMG_1.jpg"}, {"s/IMG_1.jpg"}, {"d"}, {"IMG_1_1.jpg"}}, {}},
            {"no extension, dangling links", "", {{"d/README -> nowhere", "d/README_1 -> nowhere"}, {"s/README"}, {"d"}, {"README_2"}}, {}},
            {"into its own folder", "", {{}, {"s/a.jpg"}, {"s"}, {"a_1.jpg"}}, {}},
            {"odd names, a symlinked photo", "", {{"s/real.jpg"}, {"s/caf\xe9 100% .jpg", "s/new\nline.jpg", "s/ln.jpg -> real.jpg"}, {"d"}, {"caf\xe9 100% .jpg", "new\nline.jpg", "ln.jpg"}}, {}},
            {"vanished source", "vanished", {{}, two, {"d"}, {"", "small.jpg"}}, u"No such file or directory"_s},
            {"destination is a file", "", {{"d"}, two, {"d"}, {"", ""}}, u"Not a directory"_s},
            {"read-only destination", "readonly", {{}, two, {"d"}, {"", ""}}, u"Read-only file system"_s},
            {"full destination", "full", {{}, two, {"d"}, {"", "small.jpg"}}, u"No space left on device"_s},
        };
        for (FileOperation op : {copy, move})
            for (const auto &[name, setup, files, error] : rows)
                QTest::addRow("%s %s", verb(op).data(), name) << op << B(setup) << files << error;
    }
    void runs()
    {
        QFETCH(FileOperation, operation);
        QFETCH(B, setup);
        QFETCH(QList<L>, files);
        QFETCH(QString, error);
        const L &existing = files[0], &sources = files[1], &written = files[3];
        TestTree t;
        const B dest = t.path(files[2][0]);
        std::optional<TestMount> mount;
        if (QList<B>{"tmpfs", "full", "readonly"}.contains(setup)
            && !mount.emplace(setup == "readonly" ? TestMount::readOnly : TestMount::tmpfs, t.make({"d/"}), setup == "full" ? "size=256k" : "size=4m").ok)
            QSKIP("cannot mount here");
        for (const B &entry : existing)
            t.make({entry}, "old");
        L paths, bytes; // a link's photo is its target's
        for (const B &r : sources) {
            paths << t.make({r}, setup == "full" && paths.isEmpty() ? B(1 << 20, 'x') : r);
            QCOMPARE(::utimensat(AT_FDCWD, paths.last(), sourceTimes, 0) + ::chmod(paths.last(), 0640), 0);
            if (setup == "vanished" && paths.size() == 1)
                ::unlink(paths[0]);
            bytes << fileBytes(paths.last());
        }
        PhotoIdSet reportedIds, expectedIds;
        const QStringList reported = run(operation, dest, paths, &reportedIds);
        QStringList expected;
        L landed;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            if (written[i].isEmpty()) {
                expected << u"Error %1 %2: %3"_s.arg(verb(operation), QString::fromUtf8(lastPathComponent(paths[i])), error);
                QCOMPARE(fileBytes(paths[i]), bytes[i]);
            } else {
                expectedIds.insert(PhotoId(i + 1));
                landed << written[i];
                QCOMPARE(fileState(dest + '/' + written[i]), bytes[i] + " 1500000000.123456789 640");
                QCOMPARE(fileBytes(paths[i]) == "<missing>", operation == move);
            }
            expected << u"%1/%2/%3"_s.arg(expectedIds.size()).arg(i + 1 - expectedIds.size()).arg(sources.size());
        }
        QCOMPARE(reported, expected);
        QCOMPARE(reportedIds, expectedIds);
        if (!error.isEmpty()) // nothing of a failed file, where the destination is a folder
            QCOMPARE(fileBytes(dest) == "old" ? L() : TestTree::list(dest), landed);
        for (const B &entry : existing)
            QVERIFY(entry.contains(" -> ") || fileBytes(t.path(entry)) == "old");
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
        t.make({"s/photo.jpg"}, "photo"); // what "link" shows
        const B dest = t.make({"d/"}), source = t.make({setup == "link" ? "s/a.jpg -> photo.jpg" : "s/a.jpg"}, "photo");
        ::utimensat(AT_FDCWD, source, sourceTimes, 0);
        std::optional<TestMount> mount;
        if (setup == "readonly" && !mount.emplace(TestMount::readOnly, t.path("s")).ok)
            QSKIP("cannot mount here");
        StepFileSystem fs(setup);
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
                    ::utimensat(AT_FDCWD, source, sourceTimes, 0);
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
        QList<struct stat> changed(7, a);
        ++changed[0].st_dev, ++changed[1].st_ino, ++changed[2].st_size, ++changed[3].st_mtim.tv_sec, ++changed[4].st_mtim.tv_nsec;
        ++changed[5].st_ctim.tv_sec, ++changed[6].st_ctim.tv_nsec;
        QVERIFY(sameState(a, a) && std::none_of(changed.begin(), changed.end(), [&](const struct stat &b) { return sameState(a, b); }));
    }

    // A move killed where O_TMPFILE is unavailable leaves no part of the photo under its
    // name; a later run into that folder removes what it left, but not a copy still going on
    // nor a photo merely named like a leftover.
    void killedRun()
    {
        TestTree t;
        const B source = t.make({"s/BIG.jpg"}, B(1 << 20, 'x')), other = t.make({"s/.lumisort-x.part"}, "x"), dest = t.make({"d/"});
        const pid_t child = ::fork();
        if (child == 0) {
            StepFileSystem fs("no tmpfile");
            fs.at = [](const B &step) { if (step == "flush file") ::raise(SIGSTOP); };
            moveFileInto(source, "BIG.jpg", dest, fs);
            ::_exit(0);
        }
        bool reaped = false;
        const auto reap = [&] { return std::exchange(reaped, true) || (::kill(child, SIGKILL) == 0 && ::waitpid(child, nullptr, 0) == child); };
        const auto cleanup = qScopeGuard(reap);
        int status = 0;
        QVERIFY(::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)); // while writing
        QCOMPARE(run(copy, dest, {other}), QStringList{u"1/0/1"_s});
        L left = TestTree::list(dest);
        QVERIFY2(left.size() == 2 && left.contains(".lumisort-x.part") && !left.contains("BIG.jpg"), left.join(' '));
        QVERIFY(reap());
        QCOMPARE(run(copy, dest, {source}), QStringList{u"1/0/1"_s});
        left = TestTree::list(dest);
        std::sort(left.begin(), left.end());
        QCOMPARE(left, L({".lumisort-x.part", "BIG.jpg"}));
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
