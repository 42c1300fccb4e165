#include "platform/PosixFileSystem.h"

#include <QTest>

using B = QByteArray;

// The walk, listings and attributes are proven through the scanner's tests.
class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
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
