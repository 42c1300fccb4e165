#include "TestMounts.h"
#include "TestTree.h"
#include "platform/Trash.h"

#include <QDateTime>
#include <QProcess>
#include <QSet>
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
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(lines[2].mid(13)), u"yyyy-MM-ddThh:mm:ss"_s);
    return date.isValid() && std::abs(date.secsTo(QDateTime::currentDateTime())) <= 120 ? lines[1].mid(5) : B("wrong date: " + lines[2]);
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
        for (const B &file : files)
            trashed << moveToTrash(file, {t.path("xdg"), ::getuid()}).trashedPath.mid(t.path("xdg/Trash/files/").size());
        for (const B &entry : trashed) // read once all are in: none was overwritten by a later one
            restored << B::fromPercentEncoding(infoPath(t.path("xdg/Trash/info/") + entry + ".trashinfo"));
        QCOMPARE(trashed, L({"with space 100%.jpg", "with space 100%.jpg.2", "x.png.2", "x" + e.repeated(119) + ".jpeg",
                             "x" + e.repeated(118) + ".jpeg.2"}));
        QCOMPARE(restored, files);
        QCOMPARE(::access(t.path("xdg/Trash/info/x.png.trashinfo"), F_OK), -1);
        qputenv("XDG_DATA_HOME", t.path("xdg")); // for trash-list; nothing here reads it
        QProcess process;
        process.start(u"trash-list"_s, {});
        if (!process.waitForStarted())
            QSKIP("trash-list (trash-cli) is missing");
        QVERIFY(process.waitForFinished(60'000));
        L listed; // "date time path"; other file systems' trashes may add lines
        for (const B &line : process.readAllStandardOutput().split('\n'))
            if (line.mid(20).startsWith(t.root))
                listed << line.mid(20);
        QCOMPARE(QSet<B>(listed.begin(), listed.end()), QSet<B>(files.begin(), files.end()));
    }

    // The home trash, or on another mount (also of the home's file system) $top/.Trash/$uid
    // when .Trash is a sticky folder and that is ours, else $top/.Trash-$uid, each made
    // private; the info's Path is URL-encoded (unreserved marks kept; space, %, newline,
    // invalid UTF-8 and UTF-8 escaped byte by byte), relative to the top on another mount.
    // A file that cannot go stays, and no info file is left behind.
    void trashes_data()
    {
        QTest::addColumn<B>("setup"); // what "m 1" is, its .Trash, a foreign trash folder, the file's fate
        QTest::addColumn<B>("trash"); // relative to the data home or the mount point
        QTest::addColumn<QString>("error"); // none: it goes
        const B own = ".Trash-" + B::number(::getuid());
        const QString none = u"No usable trash folder on this file system: "_s;
        QTest::newRow("home") << B("home") << B("Trash") << QString();
        QTest::newRow("no .Trash") << B("tmpfs") << own << QString();
        QTest::newRow("sticky .Trash") << B("tmpfs sticky") << ".Trash/" + B::number(::getuid()) << QString();
        QTest::newRow(".Trash without the sticky bit") << B("tmpfs plain") << own << QString();
        QTest::newRow("symlinked .Trash") << B("tmpfs link") << own << QString();
        QTest::newRow("sticky .Trash, $uid not ours") << B("tmpfs sticky foreign .Trash/$uid") << own << QString();
        // "m 1" shows "shown", of the home's file system: another mount, with a trash of its own.
        QTest::newRow("bind mount of the home's file system") << B("bind") << own << QString();
        QTest::newRow("vanished") << B("home vanished") << B() << u"No such file or directory"_s;
        QTest::newRow("mounted on: the rename fails") << B("home mounted-on") << B() << u"Device or resource busy"_s;
        QTest::newRow("read-only view") << B("home view") << B() << none + u"Read-only file system"_s;
        QTest::newRow("read-only file system") << B("tmpfs view") << B() << none + u"Read-only file system"_s;
        QTest::newRow("foreign .Trash-$uid") << B("tmpfs foreign .Trash-$uid") << B() << none + u"Operation not permitted"_s;
    }
    void trashes()
    {
        QFETCH(B, setup);
        QFETCH(B, trash);
        QFETCH(QString, error);
        const B name = "a(1)!*'~-_ 100%\ncaf\xe9\xc3\x9c.jpg", encoded = "a(1)!*'~-_%20100%25%0Acaf%E9%C3%9C.jpg";
        const L words = setup.split(' ');
        TestTree t;
        const B top = t.make({"m 1/"});
        std::optional<TestMount> tmpfs, mount;
        if ((words[0] == "tmpfs" && !tmpfs.emplace(TestMount::tmpfs, top).ok)
            || (words[0] == "bind" && !mount.emplace(TestMount::bind, top, t.make({"shown/"}).constData()).ok))
            QSKIP("cannot mount here");
        if (words.contains("sticky") || words.contains("plain"))
            ::chmod(t.make({"m 1/.Trash/"}), words.contains("sticky") ? 01777 : 0777);
        if (words.contains("link"))
            ::chmod(t.make({"m 1/elsewhere/", "m 1/.Trash -> elsewhere"}), 01777); // the folder it shows
        if (words.contains("foreign")) // another user's
            QCOMPARE(::chown(t.make({"m 1/" + B(words.last()).replace("$uid", B::number(::getuid())) + '/'}), ::getuid() + 1, ::getgid()), 0);
        const B file = t.make({"m 1/sub/" + name}, name);
        if (words.last() == "vanished")
            ::unlink(file);
        else if (words.last() == "view" ? !mount.emplace(TestMount::readOnly, top).ok
                                        : words.last() == "mounted-on" && !mount.emplace(TestMount::bind, file, file.constData()).ok)
            QSKIP("cannot mount here");
        const TrashResult result = moveToTrash(file, {t.path("xdg"), ::getuid()}); // none of it exists yet
        QCOMPARE(result.ok ? QString() : result.error, error);
        QCOMPARE(fileBytes(file), result.ok || words.last() == "vanished" ? B("<missing>") : name);
        QVERIFY(result.ok || ::access(t.path("xdg/Trash/info/" + name + ".trashinfo"), F_OK) == -1); // no info file left behind
        if (!result.ok)
            return;
        const bool home = setup == "home";
        const B dir = t.path((home ? "xdg/" : "m 1/") + trash);
        QCOMPARE(result.trashedPath, dir + "/files/" + name);
        QCOMPARE(fileBytes(result.trashedPath), name);
        QCOMPARE(infoPath(dir + "/info/" + name + ".trashinfo"), (home ? t.path("m%201/sub/") : B("sub/")) + encoded);
        QCOMPARE((QList{modeOf(dir), modeOf(dir + "/files"), modeOf(dir + "/info")}), QList<uint>(3, 0700));
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "test_trash.moc"
