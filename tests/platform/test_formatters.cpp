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
        const std::pair<qint64, const char16_t *> rows[] = {
            {0, u"Zero KB"}, {1, u"1 byte"}, {999, u"999 bytes"}, {1000, u"1 KB"},
            {1500, u"2 KB"}, // whole KB, rounded
            {10'000, u"10 KB"}, {20'000, u"20 KB"}, {100'000, u"100 KB"}, {999'000, u"999 KB"},
            {999'999, u"1 MB"}, {2'500'000, u"2.5 MB"}, {3'000'000, u"3 MB"}, {10'000'000, u"10 MB"},
            {1'234'567'890, u"1.23 GB"}, {1'500'000'000, u"1.5 GB"}, {20'000'000'000, u"20 GB"},
            {4'560'000'000'000, u"4.56 TB"}, {std::numeric_limits<qint64>::max(), u"9.22 EB"},
            {-2'500'000, u"-2.5 MB"}};
        for (const auto &[bytes, text] : rows)
            QTest::addRow("%lld", bytes) << bytes << QString::fromUtf16(text);
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
