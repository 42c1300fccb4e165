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

struct Run
{
    FileOpOutcome outcome;
    QStringList log;
    QStringList progress; // "done/errors/total" after each file
};

Run run(FileOperation operation, const B &destDir, const L &sources)
{
    QList<FileJob> jobs;
    for (const B &source : sources)
        jobs.append({QString::number(jobs.size()), source, lastPathComponent(source).toByteArray()});
    Run r;
    r.outcome = runFileOperation(
        operation, destDir, jobs,
        [&](const FileOpProgress &p) { r.progress << u"%1/%2/%3"_s.arg(p.done).arg(p.errors).arg(p.total); },
        [&](const QString &line) { r.log << line; });
    return r;
}

// Each source holds its own relative path, with a fixed modification time and mode 0640.
L makeSources(const TestTree &t, const L &relative)
{
    L paths;
    for (const B &r : relative) {
        paths << t.make({r}, r);
        const timespec times[2] = {sourceTime, sourceTime};
        ::utimensat(AT_FDCWD, paths.last(), times, 0);
        ::chmod(paths.last(), 0640);
    }
    return paths;
}

// The copy or moved file at `path` holds `bytes` and kept the source's time and mode.
void checkWritten(const B &path, const B &bytes)
{
    QCOMPARE(fileBytes(path), bytes);
    struct stat st;
    QCOMPARE(::stat(path, &st), 0);
    QCOMPARE(st.st_mtim.tv_sec, sourceTime.tv_sec);
    QCOMPARE(st.st_mtim.tv_nsec, sourceTime.tv_nsec);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
}

const char *verb(FileOperation operation)
{
    return operation == FileOperation::copy ? "copying" : "moving";
}

} // namespace

class TestFileOps : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<L>("existing"); // holding "old"
        QTest::addColumn<L>("sources");
        QTest::addColumn<B>("dest");
        QTest::addColumn<L>("written"); // names in `dest`, in job order
        QTest::addColumn<bool>("tmpfs"); // "d" on another file system
        for (FileOperation op : {FileOperation::copy, FileOperation::move}) {
            const char *v = verb(op);
            QTest::addRow("%s to another file system", v) << op << L() << L{"s/a.jpg", "s/b b.jpg"}
                                                          << B("d/album") << L{"a.jpg", "b b.jpg"} << true;
            QTest::addRow("%s a.jpg after a, a_1, a_2", v) << op << L{"d/a.jpg", "d/a_1.jpg", "d/a_2.jpg"}
                                                       << L{"s/a.jpg"} << B("d") << L{"a_3.jpg"} << false;
            QTest::addRow("%s one name twice, new folders", v) << op << L() << L{"s/IMG.jpg", "t/IMG.jpg"}
                                                               << B("d/new/deeper") << L{"IMG.jpg", "IMG_1.jpg"} << false;
            QTest::addRow("%s numbered name taken", v) << op << L{"d/IMG_1.jpg"} << L{"s/IMG_1.jpg"} << B("d")
                                                       << L{"IMG_1_1.jpg"} << false;
            QTest::addRow("%s no extension, dangling link", v) << op << L{"d/README -> nowhere"} << L{"s/README"}
                                                               << B("d") << L{"README_1"} << false;
            QTest::addRow("%s into its own folder", v) << op << L() << L{"s/a.jpg"} << B("s") << L{"a_1.jpg"} << false;
            QTest::addRow("%s odd names", v) << op << L() << L{"s/caf\xe9 100% .jpg", "s/new\nline.jpg"}
                                             << B("d") << L{"caf\xe9 100% .jpg", "new\nline.jpg"} << false;
        }
    }
    void names()
    {
        QFETCH(FileOperation, operation);
        QFETCH(L, existing);
        QFETCH(L, sources);
        QFETCH(B, dest);
        QFETCH(L, written);
        QFETCH(bool, tmpfs);
        TestTree t;
        std::optional<TestMount> mount;
        if (tmpfs && !mount.emplace(TestMount::tmpfs, t.make({"d/"})).ok)
            QSKIP("cannot mount here");
        for (const B &entry : existing)
            t.make({entry}, "old");
        const L paths = makeSources(t, sources);
        const Run r = run(operation, t.path(dest), paths);
        QCOMPARE(r.log, QStringList());
        QCOMPARE(r.outcome.done, sources.size());
        QCOMPARE(r.outcome.succeededIds.size(), sources.size());
        for (qsizetype i = 0; i < sources.size(); ++i) {
            checkWritten(t.path(dest) + '/' + written[i], sources[i]);
            QCOMPARE(fileBytes(paths[i]) == "<missing>", operation == FileOperation::move);
        }
        for (const B &entry : existing)
            QVERIFY(entry.contains(" -> ") || fileBytes(t.path(entry)) == "old");
    }

    void failures_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<B>("setup");
        QTest::addColumn<int>("done"); // big.jpg always fails; small.jpg may not
        QTest::addColumn<QString>("error");
        for (FileOperation op : {FileOperation::copy, FileOperation::move}) {
            const char *v = verb(op);
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
        const B big = t.make({"s/big.jpg"}, B(1 << 20, 'x'));
        const B small = t.make({"s/small.jpg"}, "small");
        const B dest = setup == "file" ? t.make({"d"}) : t.make({"d/"});
        std::optional<TestMount> mount;
        if (setup == "vanished") {
            ::unlink(big);
        } else if (setup == "full" || (setup == "readonly" && ::geteuid() == 0)) {
            mount.emplace(setup == "full" ? TestMount::tmpfs : TestMount::readOnly, dest, "size=256k");
            if (!mount->ok)
                QSKIP("cannot mount here");
            error = setup == "full" ? error : u"Read-only file system"_s;
        } else if (setup == "readonly") {
            ::chmod(dest, 0555);
            error = u"Permission denied"_s;
        }
        const Run r = run(operation, t.path("d"), {big, small});
        QStringList log{u"Error %1 big.jpg: %2"_s.arg(QLatin1StringView(verb(operation)), error)};
        if (done == 0)
            log << u"Error %1 small.jpg: %2"_s.arg(QLatin1StringView(verb(operation)), error);
        QCOMPARE(r.log, log);
        QCOMPARE(r.progress, QStringList({u"0/1/2"_s, u"%1/%2/2"_s.arg(done).arg(2 - done)}));
        QCOMPARE(r.outcome.succeededIds, done ? QSet<QString>{u"1"_s} : QSet<QString>());
        // No partial copy; a failed file stays where it was.
        QCOMPARE(setup == "file" ? L() : TestTree::list(dest), done ? L{"small.jpg"} : L());
        QCOMPARE(fileBytes(big), setup == "vanished" ? B("<missing>") : B(1 << 20, 'x'));
        QCOMPARE(fileBytes(small), operation == FileOperation::move && done ? B("<missing>") : B("small"));
    }

    // A name that appears between the choice and the write fails the file, and the file
    // that took the name is not touched.
    void raceForTheName_data()
    {
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<bool>("acrossFileSystems");
        for (FileOperation op : {FileOperation::copy, FileOperation::move}) {
            QTest::addRow("%s", verb(op)) << op << false;
            QTest::addRow("%s to another file system", verb(op)) << op << true;
        }
    }
    void raceForTheName()
    {
        QFETCH(FileOperation, operation);
        QFETCH(bool, acrossFileSystems);
        TestTree t;
        const B source = t.make({"s/a.jpg"}, "new");
        std::optional<TestMount> mount;
        if (acrossFileSystems && !mount.emplace(TestMount::tmpfs, t.make({"d/"})).ok)
            QSKIP("cannot mount here");
        const B taken = t.make({"d/a.jpg"}, "old");
        const FileTransfer transfer = operation == FileOperation::copy ? copyFileTo(source, taken)
                                                                        : moveFileTo(source, taken);
        QVERIFY(!transfer.ok);
        QCOMPARE(transfer.error, u"File exists"_s);
        QCOMPARE(fileBytes(taken), B("old"));
        QCOMPARE(fileBytes(source), B("new"));
        QCOMPARE(TestTree::list(t.path("d")), L{"a.jpg"});
    }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        using namespace FileOperationTexts;
        const auto copy = FileOperation::copy, move = FileOperation::move;
        QTest::newRow("copied") << summary(copy, 5, 0) << u"Copied 5 photos"_s;
        QTest::newRow("copied, errors") << summary(copy, 5, 1) << u"Copied 5 photos (1 errors)"_s;
        QTest::newRow("moved") << summary(move, 0, 0) << u"Moved 0 photos - loaded more to replace"_s;
        QTest::newRow("moved, errors") << summary(move, 3, 2) << u"Moved 3 photos (2 errors) - loaded more to replace"_s;
        QTest::newRow("deleted") << deleteSummary(3, 0) << u"Deleted 3 photos - loaded more to replace"_s;
        QTest::newRow("deleted, errors") << deleteSummary(3, 1) << u"Deleted 3 photos (1 errors) - loaded more to replace"_s;
        QTest::newRow("progress") << progress(copy, 3, 4) + progress(move, 0, 0) + deleteProgress(3, 4)
                                  << u"Copied 3/4Moved 0/0Deleted 3/4"_s;
        QTest::newRow("prompts") << panelPrompt(copy) + panelPrompt(move) + working(copy) + working(move)
                                 << u"Copy HereMove HereCopying...Moving..."_s;
        // Failures move the bar of a copy or move, not that of a delete.
        QTest::newRow("percent") << u"%1 %2 %3"_s.arg(progressPercent({1, 1, 4})).arg(deletePercent({3, 1, 4}))
                                        .arg(progressPercent({0, 0, 0}))
                                 << u"50 75 0"_s;
    }
    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestFileOps)
#include "test_fileops.moc"
