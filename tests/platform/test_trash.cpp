#include "TestMounts.h"
#include "TestTree.h"
#include "platform/Trash.h"

#include <QDateTime>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <cstdlib>
#include <ctime>

using namespace Qt::StringLiterals;
using B = QByteArray;
using L = QByteArrayList;

namespace {

// The info file's Path, after checking its other lines: the deletion date is now in local
// time (five hours ahead of UTC here); a wide window, as the clock may be adjusted while
// the test runs, still tells it from UTC.
B infoPath(const B &infoFile)
{
    const L lines = fileBytes(infoFile).split('\n');
    if (lines.size() != 4 || lines[0] != "[Trash Info]" || !lines[1].startsWith("Path=")
        || !lines[2].startsWith("DeletionDate=") || !lines[3].isEmpty())
        return "malformed: " + lines.join('|');
    QDateTime date = QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), u"yyyy-MM-ddThh:mm:ss"_s);
    date.setTimeSpec(Qt::UTC);
    date = date.addSecs(-5 * 3600);
    if (std::abs(date.secsTo(QDateTime::currentDateTimeUtc())) > 120)
        return "wrong date: " + lines[2];
    return lines[1].mid(5);
}

mode_t modeOf(const B &path)
{
    struct stat st;
    return ::lstat(path, &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "UTC-5"); ::tzset(); }

    // Trashed files keep their true original paths, as trash-cli reads them back; the
    // second of one name is a second entry, as is a name taken in files/ alone, and a name
    // too long for its info file is shortened in the trash.
    void readByTrashList()
    {
        TestTree t;
        const B e = "\xc3\xa9", longName = "x" + e.repeated(122) + ".jpeg"; // 250 bytes
        const L files{t.make({"a/with space 100%.jpg"}), t.make({"b/with space 100%.jpg"}), t.make({"a/x.png"}),
                      t.make({"a/" + longName}), t.make({"b/" + longName})};
        t.make({"xdg/Trash/files/x.png"}, "not listed"); // left without its info file
        L trashed, restored;
        for (const B &file : files) {
            trashed << moveToTrash(file, {t.path("xdg"), ::getuid()}).trashedPath.mid(t.path("xdg/Trash/files/").size());
            restored << B::fromPercentEncoding(infoPath(t.path("xdg/Trash/info/") + trashed.last() + ".trashinfo"));
        }
        QCOMPARE(trashed, L({"with space 100%.jpg", "with space 100%.jpg.2", "x.png.2", "x" + e.repeated(119) + ".jpeg",
                             "x" + e.repeated(118) + ".jpeg.2"}));
        QCOMPARE(restored, files);
        QCOMPARE(::access(t.path("xdg/Trash/info/x.png.trashinfo"), F_OK), -1);
        const QString trashList = QStandardPaths::findExecutable(u"trash-list"_s);
        if (trashList.isEmpty())
            QSKIP("trash-list (trash-cli) is missing");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, QFile::decodeName(t.path("xdg")));
        process.setProcessEnvironment(env);
        process.start(trashList, {});
        QVERIFY(process.waitForFinished(60'000));
        L listed; // "date time path"; other file systems' trashes may add lines
        for (const B &line : process.readAllStandardOutput().split('\n'))
            if (line.mid(20).startsWith(t.root))
                listed << line.mid(20);
        QCOMPARE(QSet<B>(listed.begin(), listed.end()), QSet<B>(files.begin(), files.end()));
    }

    // The file stays, and no info file is left behind.
    void failures_data()
    {
        QTest::addColumn<B>("setup");
        QTest::addColumn<QString>("error");
        const QString none = u"No usable trash folder on this file system: "_s;
        QTest::newRow("vanished") << B("vanished") << u"No such file or directory"_s;
        QTest::newRow("mounted on: the rename fails") << B("mounted on") << u"Device or resource busy"_s;
        // Also a view of the home's file system is another mount, with a trash of its own.
        QTest::newRow("read-only view") << B("view") << none + u"Read-only file system"_s;
        QTest::newRow("read-only file system") << B("tmpfs") << none + u"Read-only file system"_s;
        QTest::newRow("foreign .Trash-$uid") << B("tmpfs foreign") << none + u"Operation not permitted"_s;
    }
    void failures()
    {
        QFETCH(B, setup);
        QFETCH(QString, error);
        TestTree t;
        const B file = t.make({"p/a.jpg"}, "photo");
        std::optional<TestMount> tmpfs, mount;
        if (setup.startsWith("tmpfs") && !tmpfs.emplace(TestMount::tmpfs, t.path("p")).ok)
            QSKIP("cannot mount here");
        t.make({"p/a.jpg"}, "photo");
        if (setup == "vanished")
            ::unlink(file);
        else if (setup.endsWith("foreign"))
            QCOMPARE(::chown(t.make({"p/.Trash-" + B::number(::getuid()) + '/'}), ::getuid() + 1, ::getgid()), 0);
        else if (setup == "mounted on" ? !mount.emplace(TestMount::bind, file, file.constData()).ok
                                       : !mount.emplace(TestMount::readOnly, t.path("p")).ok)
            QSKIP("cannot mount here");
        const TrashResult result = moveToTrash(file, {t.path("xdg"), ::getuid()});
        QCOMPARE(result.ok ? u"ok"_s : result.error, error);
        QCOMPARE(fileBytes(file), setup == "vanished" ? B("<missing>") : B("photo"));
        QCOMPARE(::access(t.path("xdg/Trash/info/a.jpg.trashinfo"), F_OK), -1);
    }

    // The home trash, or on another mount (also of the home's file system) $top/.Trash/$uid
    // when .Trash is a sticky folder and that is ours, else $top/.Trash-$uid, each made
    // private; the info's Path is URL-encoded (unreserved marks kept; space, %, newline,
    // invalid UTF-8 and UTF-8 escaped byte by byte), relative to the top on another mount.
    void trashes_data()
    {
        QTest::addColumn<B>("setup"); // "home", "bind", or the mount's .Trash: none, "sticky", "plain", "link", "foreign"
        QTest::addColumn<B>("trash"); // relative to the data home or the mount point
        const B own = ".Trash-" + B::number(::getuid());
        QTest::newRow("home") << B("home") << B("Trash");
        QTest::newRow("no .Trash") << B() << own;
        QTest::newRow("sticky .Trash") << B("sticky") << ".Trash/" + B::number(::getuid());
        QTest::newRow(".Trash without the sticky bit") << B("plain") << own;
        QTest::newRow("symlinked .Trash") << B("link") << own;
        QTest::newRow("sticky .Trash, $uid not ours") << B("foreign") << own;
        QTest::newRow("bind mount of the home's file system") << B("bind") << own;
    }
    void trashes()
    {
        QFETCH(B, setup);
        QFETCH(B, trash);
        const B name = "a(1)!*'~-_ 100%\ncaf\xe9\xc3\x9c.jpg", encoded = "a(1)!*'~-_%20100%25%0Acaf%E9%C3%9C.jpg";
        TestTree t;
        std::optional<TestMount> mount;
        const bool bind = setup == "bind"; // "m 1" then shows "shown", of the home's file system
        if (setup != "home" && !mount.emplace(bind ? TestMount::bind : TestMount::tmpfs, t.make({"m 1/"}),
                                              bind ? t.make({"shown/"}).constData() : "size=4m").ok)
            QSKIP("cannot mount here");
        if (setup == "link")
            t.make({"m 1/elsewhere/", "m 1/.Trash -> elsewhere"});
        if (setup == "link" || setup == "sticky" || setup == "plain" || setup == "foreign")
            ::chmod(setup == "link" ? t.path("m 1/elsewhere") : t.make({"m 1/.Trash/"}), setup == "plain" ? 0777 : 01777);
        if (setup == "foreign")
            QCOMPARE(::chown(t.make({"m 1/.Trash/" + B::number(::getuid()) + '/'}), ::getuid() + 1, ::getgid()), 0);
        const B file = t.make({"m 1/sub/" + name}, name);
        const TrashResult result = moveToTrash(file, {t.path("xdg"), ::getuid()}); // none of it exists yet
        QVERIFY2(result.ok, qPrintable(result.error));
        const B dir = t.path((mount ? "m 1/" : "xdg/") + trash);
        QCOMPARE(result.trashedPath, dir + "/files/" + name);
        QCOMPARE(fileBytes(result.trashedPath) + fileBytes(file), name + "<missing>");
        QCOMPARE(infoPath(dir + "/info/" + name + ".trashinfo"), (mount ? B("sub/") : t.path("m%201/sub/")) + encoded);
        QCOMPARE((QList<mode_t>{modeOf(dir), modeOf(dir + "/files"), modeOf(dir + "/info")}), QList<mode_t>(3, 0700));
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "test_trash.moc"
