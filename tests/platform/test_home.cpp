#include "platform/Home.h"

#include <QTest>

class TestHome : public QObject
{
    Q_OBJECT

private slots:
    void picturesDirectory_data()
    {
        QTest::addColumn<QByteArray>("userDirs");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no file") << QByteArray() << QByteArray("/home/u/Pictures");
        QTest::newRow("home relative")
            << QByteArray("# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n")
            << QByteArray("/home/u/Bilder");
        QTest::newRow("absolute, odd bytes") << QByteArray("XDG_PICTURES_DIR=\"/data/Fotos \xff\"") << QByteArray("/data/Fotos \xff");
        QTest::newRow("disabled") << QByteArray("XDG_PICTURES_DIR=\"$HOME/\"\nXDG_PICTURES_DIR=\"$HOME\"")
                                  << QByteArray("/home/u/");
        QTest::newRow("unquoted is ignored") << QByteArray("XDG_PICTURES_DIR=$HOME/P") << QByteArray("/home/u/Pictures");
    }
    void picturesDirectory()
    {
        QFETCH(QByteArray, userDirs);
        QFETCH(QByteArray, expected);
        QCOMPARE(picturesDirectoryFrom("/home/u", userDirs), expected);
    }
};

QTEST_GUILESS_MAIN(TestHome)
#include "test_home.moc"
