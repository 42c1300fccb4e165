#include "TestTree.h"
#include "platform/PosixFileSystem.h"

#include <QSet>
#include <QTest>

#include <sys/stat.h>

// Reports every entry type as unknown, as file systems without d_type do.
struct UntypedFileSystem : PosixFileSystem
{
    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override
    {
        auto entries = PosixFileSystem::listDirectory(dir);
        std::vector<DirEntry> noEntries;
        for (DirEntry &entry : entries ? *entries : noEntries)
            entry.type = EntryType::unknown;
        return entries;
    }
};

class TestFileSystem : public QObject
{
    Q_OBJECT
private slots:
    void walkTree_data()
    {
        QTest::addColumn<bool>("untyped");
        QTest::newRow("listing types") << false;
        QTest::newRow("unknown types") << true;
    }
    void walkTree()
    {
        QFETCH(bool, untyped);
        TestTree t;
        t.file("a/x.jpg");
        t.file(".h/y");
        t.file("f");
        t.link("l", "a");
        t.link("up", ".");
        t.link("loop1", "loop2");
        t.link("loop2", "loop1");
        // Pre-order, hidden folders walked, links reported (as folders when they lead to
        // one) but never followed.
        QByteArrayList expected, expectedListed{t.root};
        for (const QByteArray &name : TestTree::list(t.root)) {
            expected << name + (QByteArrayList{"a", "l", ".h", "up"}.contains(name) ? "/" : "");
            if (name == "a" || name == ".h") {
                expected << name + '/' + TestTree::list(t.path(name)).first();
                expectedListed << t.path(name);
            }
        }
        QByteArrayList visited, listed;
        bool namesMatch = true;
        WalkVisitor visitor;
        visitor.entry = [&](const WalkEntry &e) {
            visited << e.path.mid(t.root.size() + 1) + (e.isDirectory ? "/" : "");
            namesMatch &= e.name == lastPathComponent(e.path);
            return true;
        };
        visitor.listed = [&](const FilePath &dir, const std::vector<DirEntry> &) { listed << dir; };
        const UntypedFileSystem untypedFs;
        const PosixFileSystem posixFs;
        QVERIFY(::walkTree(untyped ? untypedFs : posixFs, t.root, visitor));
        QCOMPARE(visited, expected);
        QCOMPARE(listed, expectedListed);
        QVERIFY(namesMatch);

        int count = 0;
        QVERIFY(!::walkTree(posixFs, t.path("missing"), {[&](const WalkEntry &) { return ++count; }, {}}));
        QVERIFY(::walkTree(posixFs, t.root, {[&](const WalkEntry &) { return ++count < 2; }, {}}));
        QCOMPARE(count, 2); // abandoned at the second entry
    }

    void listDirectoryKeepsRawNames()
    {
        TestTree t;
        const QByteArrayList names{"caf\xe9.jpg", "new\nline", "\"it's\" .jpg", "\xff\xfe"};
        for (const QByteArray &name : names)
            t.file(name);
        const auto entries = PosixFileSystem().listDirectory(t.root);
        QVERIFY(entries);
        QByteArrayList listed;
        for (const DirEntry &entry : *entries)
            listed << entry.name;
        QCOMPARE(listed, TestTree::list(t.root));
        QCOMPARE(QSet<QByteArray>(listed.begin(), listed.end()), QSet<QByteArray>(names.begin(), names.end()));
        QVERIFY(!PosixFileSystem().listDirectory(t.path("caf\xe9.jpg")));
        QVERIFY(!PosixFileSystem().listDirectory(t.path("missing")));
    }

    void attributes()
    {
        TestTree t;
        const QByteArray file = t.file("f", "12345");
        const timespec times[2] = {{1'000'000'000, 123'456'789}, {1'000'000'000, 123'456'789}};
        QCOMPARE(::utimensat(AT_FDCWD, file.constData(), times, 0), 0);
        t.dir("d");
        const PosixFileSystem fs;
        for (const QByteArray &path : {file, t.link("l", "f")}) {
            const auto attributes = fs.attributes(path);
            QVERIFY(attributes);
            QCOMPARE(attributes->size, 5);
            QVERIFY(!attributes->isDirectory);
            QCOMPARE(attributes->modified, Timestamp(std::chrono::nanoseconds(1'000'000'000'123'456'789)));
            QVERIFY(!attributes->created || attributes->created->time_since_epoch().count() != 0);
        }
        QVERIFY(fs.attributes(t.link("ld", "d"))->isDirectory);
        QVERIFY(!fs.attributes(t.link("dangling.jpg", "nowhere")));
        QVERIFY(fs.isDirectory(t.path("ld"), true));
        QVERIFY(!fs.isDirectory(t.path("ld"), false));
        QVERIFY(!fs.isDirectory(t.path("dangling.jpg"), true));
    }

    void pathHelpers_data()
    {
        QTest::addColumn<QByteArray>("got");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("join root") << appendPathComponent("/", "x") << QByteArray("/x");
        QTest::newRow("join trailing /") << appendPathComponent("a/", "b") << QByteArray("a/b");
        QTest::newRow("join leading /") << appendPathComponent("a", "//b/c") << QByteArray("a/b/c");
        QTest::newRow("last of root") << lastPathComponent("/").toByteArray() << QByteArray("/");
        QTest::newRow("last of ///") << lastPathComponent("///").toByteArray() << QByteArray("/");
        QTest::newRow("last trailing /") << lastPathComponent("/a/b//").toByteArray() << QByteArray("b");
        QTest::newRow("last bare name") << lastPathComponent("b").toByteArray() << QByteArray("b");
        QTest::newRow("ext dotfile") << pathExtension(".bashrc").toByteArray() << QByteArray("bashrc");
        QTest::newRow("ext trailing dot") << pathExtension("a.").toByteArray() << QByteArray();
        QTest::newRow("ext none") << pathExtension("a").toByteArray() << QByteArray();
        QTest::newRow("ext last dot") << pathExtension("a.tar.GZ").toByteArray() << QByteArray("GZ");
    }
    void pathHelpers()
    {
        QFETCH(QByteArray, got);
        QFETCH(QByteArray, expected);
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "test_filesystem.moc"
