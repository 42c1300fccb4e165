#include "TestTree.h"
#include "platform/PosixFileSystem.h"

#include <QTest>

#include <span>

using namespace std::chrono_literals;
using B = QByteArray;

// Reports every entry type as unknown, as file systems without d_type do.
struct UntypedFileSystem : PosixFileSystem
{
    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override
    {
        auto entries = PosixFileSystem::listDirectory(dir);
        for (DirEntry &entry : entries ? *entries : std::span<DirEntry>())
            entry.type = EntryType::unknown;
        return entries;
    }
};

class TestFileSystem : public QObject
{
    Q_OBJECT
    const PosixFileSystem posixFs;
    const UntypedFileSystem untypedFs;

private slots:
    void walkTree_data()
    {
        QTest::addColumn<const FileSystem *>("fs");
        QTest::newRow("listing's types") << static_cast<const FileSystem *>(&posixFs);
        QTest::newRow("unknown types") << static_cast<const FileSystem *>(&untypedFs);
    }
    void walkTree()
    {
        QFETCH(const FileSystem *, fs);
        TestTree t;
        t.make({"a/x", ".h/y", "caf\xe9", "l -> a", "up -> .", "loop1 -> loop2", "loop2 -> loop1"});
        // Pre-order with hidden folders; links to folders count as folders but are not followed.
        QByteArrayList expected, expectedListed{t.root}, visited, listed;
        for (const B &name : TestTree::list(t.root)) {
            expected << name + (QByteArrayList{"a", ".h", "l", "up"}.contains(name) ? "/" : "");
            if (name == "a" || name == ".h") {
                expected << name + (name == "a" ? "/x" : "/y");
                expectedListed << t.path(name);
            }
        }
        // A wrong name ends the walk, which the comparison then shows.
        const WalkVisitor visitor{[&](const WalkEntry &e) {
                                      visited << e.path.mid(t.root.size() + 1) + (e.isDirectory ? "/" : "");
                                      return e.name == lastPathComponent(e.path);
                                  },
                                  [&](const FilePath &dir, const auto &) { listed << dir; }};
        QVERIFY(::walkTree(*fs, t.root, visitor));
        QCOMPARE(visited, expected);
        QCOMPARE(listed, expectedListed);
        visited.clear();
        QVERIFY(!::walkTree(*fs, t.path("a/x"), visitor)); // unreadable root: nothing visited
        QVERIFY(::walkTree(*fs, t.root, {[&](const WalkEntry &e) { visited << e.path; return false; }, {}}));
        QCOMPARE(visited.size(), 1);
    }

    // Sizes, dates and followed links are checked through the scanner's tests.
    void attributes()
    {
        const auto before = std::chrono::system_clock::now() - 1s;
        TestTree t;
        t.make({"d/", "f", "ld -> d", "dangling -> nowhere"});
        const auto file = posixFs.attributes(t.path("f"));
        QVERIFY(file && !file->isDirectory);
        QVERIFY(!file->created || *file->created > before); // a zero birth time counts as none
        QVERIFY(posixFs.attributes(t.path("ld"))->isDirectory);
        QVERIFY(!posixFs.attributes(t.path("dangling")));
    }

    void pathHelpers_data()
    {
        QTest::addColumn<B>("got");
        QTest::addColumn<B>("expected");
        QTest::newRow("join to root") << appendPathComponent("/", "x") << B("/x");
        QTest::newRow("join a/ and //b/c") << appendPathComponent("a/", "//b/c") << B("a/b/c");
        QTest::newRow("last of /") << lastPathComponent("/").toByteArray() << B("/");
        QTest::newRow("last of ///") << lastPathComponent("///").toByteArray() << B("/");
        QTest::newRow("last of /a/b//") << lastPathComponent("/a/b//").toByteArray() << B("b");
        QTest::newRow("extension .bashrc") << pathExtension(".bashrc").toByteArray() << B("bashrc");
        QTest::newRow("extension a.") << pathExtension("a.").toByteArray() << B();
        QTest::newRow("extension a.tar.GZ") << pathExtension("a.tar.GZ").toByteArray() << B("GZ");
    }
    void pathHelpers()
    {
        QFETCH(B, got);
        QFETCH(B, expected);
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "test_filesystem.moc"
