#include "platform/Formatters.h"
#include "platform/Uuid.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFormatters : public QObject
{
    Q_OBJECT

private slots:
    void byteCount_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << u"Zero KB"_s;
        QTest::newRow("one byte") << qint64(1) << u"1 byte"_s;
        QTest::newRow("bytes") << qint64(999) << u"999 bytes"_s;
        QTest::newRow("1 KB") << qint64(1000) << u"1 KB"_s;
        QTest::newRow("KB rounds to whole") << qint64(1500) << u"2 KB"_s;
        QTest::newRow("just below a MB") << qint64(999'999) << u"1 MB"_s;
        QTest::newRow("MB one decimal") << qint64(2'500'000) << u"2.5 MB"_s;
        QTest::newRow("MB drops .0") << qint64(3'000'000) << u"3 MB"_s;
        QTest::newRow("GB two decimals") << qint64(1'234'567'890) << u"1.23 GB"_s;
        QTest::newRow("GB trailing zero") << qint64(1'500'000'000) << u"1.5 GB"_s;
        QTest::newRow("TB") << qint64(4'560'000'000'000) << u"4.56 TB"_s;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << u"9.22 EB"_s;
        QTest::newRow("negative") << qint64(-2'500'000) << u"-2.5 MB"_s;
    }

    void byteCount()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatByteCount(bytes), text);
    }

    void mediumTime_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << u"3:04:05 PM"_s;
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << u"15:04:05"_s;
        QTest::newRow("C") << QLocale::c() << u"15:04:05"_s;
    }

    void mediumTime()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        // Some locale data separate "PM" with a narrow no-break space.
        QCOMPARE(formatMediumTime(QTime(15, 4, 5), locale).replace(u'\u202f', u' '), text);
    }

    void mediumDateShortTime_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << u"Jan 5, 2024, 3:04 PM"_s;
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << u"5. Jan. 2024, 15:04"_s;
        // The weekday closes the long date here; nothing of it may be left.
        QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan) << u"2024\u5e741\u67085\u65e5, 15:04"_s;
    }

    void mediumDateShortTime()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        const QDateTime local(QDate(2024, 1, 5), QTime(15, 4, 5));
        const Timestamp when{std::chrono::milliseconds(local.toMSecsSinceEpoch())};
        QCOMPARE(formatMediumDateShortTime(when, locale).replace(u'\u202f', u' '), text);
    }

    void uuidsAreCanonicalAndDistinct()
    {
        static const QRegularExpression canonical(
            u"^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"_s);
        QSet<QString> seen;
        for (int i = 0; i < 10000; ++i) {
            const QString id = makeUuidString();
            QVERIFY2(canonical.match(id).hasMatch(), qPrintable(id));
            seen.insert(id);
        }
        QCOMPARE(seen.size(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestFormatters)
#include "test_formatters.moc"
