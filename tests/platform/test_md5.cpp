#include "platform/Md5.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMd5 : public QObject
{
    Q_OBJECT
private slots:
    // RFC 1321, appendix A.5, and the million "a"s of the usual test suites; each fed
    // whole and in pieces that straddle the 64-byte blocks.
    void vectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << QByteArray() << u"d41d8cd98f00b204e9800998ecf8427e"_s;
        QTest::newRow("a") << QByteArray("a") << u"0cc175b9c0f1b6a831c399e269772661"_s;
        QTest::newRow("abc") << QByteArray("abc") << u"900150983cd24fb0d6963f7d28e17f72"_s;
        QTest::newRow("message digest") << QByteArray("message digest")
                                        << u"f96b697d7cb7938d525a2f31aaf161d0"_s;
        QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                                  << u"c3fcd3d76192e4007dfb496cca67e13b"_s;
        QTest::newRow("alphanumeric")
            << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
            << u"d174ab98d277d9f5a5611c2c9f419d9f"_s;
        QTest::newRow("digits x8") << QByteArray("1234567890").repeated(8)
                                   << u"57edf4a22be3c955ac49da2e2107b67a"_s;
        QTest::newRow("a x1000000") << QByteArray(1'000'000, 'a')
                                    << u"7707d6ae4e027c70eea2a935c2296f21"_s;
    }
    void vectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, digest);
        QCOMPARE(Md5::hexOf(message), digest);
        for (qsizetype piece : {1, 63, 65, 4099}) {
            Md5 md5;
            for (qsizetype at = 0; at < message.size(); at += piece)
                md5.update(QByteArrayView(message).sliced(at, std::min(piece, message.size() - at)));
            QCOMPARE(Md5::toHex(md5.finish()), digest);
        }
    }
};

QTEST_GUILESS_MAIN(TestMd5)
#include "test_md5.moc"
