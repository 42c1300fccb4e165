#include "TestMounts.h"
#include "TestTree.h"
#include "actions/FileOperations.h"
#include "platform/FileSystem.h"

#include <QTest>

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
            {"to another file system", {{"tmpfs"}, {"s/a.jpg", "s/b b.jpg"}, {"d/album"}, {"a.jpg", "b b.jpg"}}},
            {"a.jpg after a, a_1, a_2", {{"d/a.jpg", "d/a_1.jpg", "d/a_2.jpg"}, {"s/a.jpg"}, {"d"}, {"a_3.jpg"}}},
            {"one name twice, new folders", {{}, {"s/IMG.jpg", "t/IMG.jpg"}, {"d/new/deeper"}, {"IMG.jpg", "IMG_1.jpg"}}},
            {"numbered name taken", {{"d/IMG_1.jpg"}, {"s/IMG_1.jpg"}, {"d"}, {"IMG_1_1.jpg"}}},
            {"no extension, dangling link", {{"d/README -> nowhere"}, {"s/README"}, {"d"}, {"README_1"}}},
            {"into its own folder", {{}, {"s/a.jpg"}, {"s"}, {"a_1.jpg"}}},
            {"odd names", {{}, {"s/caf\xe9 100% .jpg", "s/new\nline.jpg"}, {"d"}, {"caf\xe9 100% .jpg", "new\nline.jpg"}}},
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
        L paths;
        for (const B &r : sources) {
            paths << t.make({r}, r);
            const timespec times[2] = {sourceTime, sourceTime};
            QCOMPARE(::utimensat(AT_FDCWD, paths.last(), times, 0) + ::chmod(paths.last(), 0640), 0);
        }
        const Run r = run(operation, t.path(dest), paths);
        QVERIFY2(r.log.isEmpty() && r.outcome.succeededIds.size() == sources.size(), qPrintable(r.log.join(u'\n')));
        for (qsizetype i = 0; i < sources.size(); ++i) {
            QCOMPARE(fileState(t.path(dest) + '/' + written[i]), sources[i] + " 1500000000.123456789 640");
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
            QTest::addRow("%s read-only destination", v) << op << B("readonly") << 0 << QString();
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
        } else if (setup == "full" || (setup == "readonly" && ::geteuid() == 0)) {
            if (!mount.emplace(setup == "full" ? TestMount::tmpfs : TestMount::readOnly, dest, "size=256k").ok)
                QSKIP("cannot mount here");
            error = setup == "full" ? error : u"Read-only file system"_s;
        } else if (setup == "readonly") {
            ::chmod(dest, 0555);
            error = u"Permission denied"_s;
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

    // A name that appears between the choice and the write fails the file, and the file
    // that took the name is not touched.
    void raceForTheName()
    {
        for (const bool acrossFileSystems : {false, true}) {
            TestTree t;
            std::optional<TestMount> mount;
            if (acrossFileSystems && !mount.emplace(TestMount::tmpfs, t.make({"d/"})).ok)
                QSKIP("cannot mount here");
            for (const FileOperation operation : {copy, move}) {
                const B source = t.make({"s/a.jpg"}, "new"), taken = t.make({"d/a.jpg"}, "old");
                const FileTransfer transfer = operation == copy ? copyFileTo(source, taken) : moveFileTo(source, taken);
                QCOMPARE(verb(operation) + u' ' + (transfer.ok ? u"ok"_s : transfer.error), verb(operation) + u" File exists"_s);
                QCOMPARE(fileBytes(taken) + fileBytes(source), B("oldnew"));
                QCOMPARE(TestTree::list(t.path("d")), L{"a.jpg"});
            }
        }
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
