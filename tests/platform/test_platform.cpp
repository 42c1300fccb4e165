// The small services of src/platform: byte counts, times and SHA-256, path helpers, the
// pictures folder, the queues to the GUI thread and the progress coalescer.
#include "platform/Formatters.h"
#include "platform/Home.h"
#include "platform/ContentHash.h"
#include "platform/PosixFileSystem.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <climits>
#include <memory>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using B = QByteArray;
using Clock = std::chrono::steady_clock;

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    // Byte counts, 2024-01-05 15:04:05 in the local zone as a time | a date and time, digests,
    // path helpers and the pictures folder. The locales' short times leave out seconds; in
    // ja_JP and hu_HU (after a comma) the weekday closes the long date, and nothing of it may
    // be left. The walk, listings and attributes are proven through the scanner's tests.
    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const std::pair<qint64, const char16_t *> counts[] = {
            {0, u"Zero KB"}, {1, u"1 byte"}, {999, u"999 bytes"}, {1000, u"1 KB"}, {1500, u"2 KB"}, {10'000, u"10 KB"},
            {999'000, u"999 KB"}, {999'999, u"1 MB"}, {2'500'000, u"2.5 MB"}, {3'000'000, u"3 MB"}, {10'000'000, u"10 MB"},
            {1'234'567'890, u"1.23 GB"}, {1'500'000'000, u"1.5 GB"}, {20'000'000'000, u"20 GB"}, {4'560'000'000'000, u"4.56 TB"},
            {std::numeric_limits<qint64>::max(), u"9.22 EB"}, {-2'500'000, u"-2.5 MB"}};
        for (const auto &[bytes, text] : counts)
            QTest::addRow("%lld", bytes) << formatByteCount(bytes) << QString::fromUtf16(text);
        const QDateTime local(QDate(2024, 1, 5), QTime(15, 4, 5));
        const Timestamp when{std::chrono::milliseconds(local.toMSecsSinceEpoch())};
        const std::pair<QLocale, QString> times[] = {
            {QLocale(QLocale::English, QLocale::UnitedStates), u"3:04:05 PM|Jan 5, 2024, 3:04 PM"_s},
            {QLocale(QLocale::Hungarian, QLocale::Hungary), u"15:04:05|2024. jan. 5., 15:04"_s},
            {QLocale(QLocale::Japanese, QLocale::Japan), u"15:04:05|2024\u5e741\u67085\u65e5, 15:04"_s},
            {QLocale::c(), u"15:04:05|5 Jan 2024, 15:04:05"_s}};
        for (const auto &[locale, text] : times) // some locale data separate "PM" with a narrow no-break space
            QTest::addRow("%s", qPrintable(locale.name()))
                << QString(formatMediumTime(local.time(), locale) + u'|' + formatMediumDateShortTime(when, locale)).replace(u'\u202f', u' ') << text;
        // SHA-256: the FIPS 180-2 examples (one and two blocks, a million "a"s), lengths on both
        // sides of the padding's 56 bytes and of a block; each fed whole and in pieces that
        // straddle the 64-byte blocks.
        const std::pair<B, QString> messages[] = {
            {B(), u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s},
            {"abc", u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s},
            {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", u"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"_s},
            {B("1234567890").repeated(8), u"f371bc4a311f2b009eef952dd83ca80e2b60026c8e935592d0f9c308453c813e"_s}, {B(1'000'000, 'a'), u"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"_s}};
        for (const auto &[message, digest] : messages) {
            QTest::addRow("sha-256 of %lld bytes", qint64(message.size())) << ContentHash::hexOf(message) << digest;
            for (qsizetype piece : {1, 63, 65, 4099}) {
                ContentHash hash;
                for (qsizetype at = 0; at < message.size(); at += piece)
                    hash.update(QByteArrayView(message).sliced(at, std::min(piece, message.size() - at)));
                QTest::addRow("sha-256 of %lld bytes in %lld-byte pieces", qint64(message.size()), qint64(piece)) << ContentHash::toHex(hash.finish()) << digest;
            }
        }
        const QByteArrayList parts{appendPathComponent("/", "x"), appendPathComponent("a/", "//b/c"),
                                   lastPathComponent("/").toByteArray(), lastPathComponent("///").toByteArray(),
                                   lastPathComponent("/a/b//").toByteArray(), pathExtension(".bashrc").toByteArray(),
                                   pathExtension("a.").toByteArray(), pathExtension("a.tar.GZ").toByteArray(), parentPath("/a"), parentPath("/a/b")};
        QTest::newRow("paths") << QString::fromLatin1(parts.join('|')) << u"/x|a/b/c|/|/|b|bashrc||GZ|/|/a"_s;
        // No user-dirs file, home relative, absolute with odd bytes, the first of two values,
        // single-quoted (ignored).
        QByteArrayList pictures;
        for (const B &userDirs : {B(), B("# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n"),
                                  B("XDG_PICTURES_DIR=\"/data/Fotos \xff\""), B("XDG_PICTURES_DIR=\"$HOME/\"\nXDG_PICTURES_DIR=\"$HOME\""),
                                  B("XDG_PICTURES_DIR='/P'")})
            pictures << picturesDirectoryFrom("/home/u", userDirs);
        QTest::newRow("pictures folder") << QString::fromLatin1(pictures.join('|')) << u"/home/u/Pictures|/home/u/Bilder|/data/Fotos \xff|/home/u/|/home/u/Pictures"_s;
    }
    void texts()
    {
        QFETCH(QString, text);
        QTEST(text, "expected");
    }

    // A worker's posts run on the context's thread, in order; its progress shows at most one
    // update an interval, ending on its last. The interval is an hour, so however slowly the
    // machine runs, only the burst's first update can beat the flush.
    void workerPosts()
    {
        QObject context;
        QEventLoop spinning;
        QList<int> order, expected(2000), shown; // order: -1 for a post run on another thread
        std::iota(expected.begin(), expected.end(), 0);
        ProgressCoalescer coalescer(&context, 1h);
        QThreadPool pool;
        pool.start([&] {
            for (int i : expected) {
                postToMain(&context, [&, i] { order << (QThread::currentThread() == context.thread() ? i : -1); });
                coalescer.post([&, i] { shown << i; });
                QThread::usleep(50); // like a walk's I/O; lets the GUI thread deliver meanwhile
            }
            coalescer.post([&] { shown << INT_MAX; });
            coalescer.flush();
            postToMain(&context, [&] { spinning.quit(); });
        });
        spinning.exec();
        QCOMPARE(order, expected);
        QVERIFY2(shown.size() <= 2 && std::is_sorted(shown.begin(), shown.end()) && shown.last() == INT_MAX,
                 qPrintable(QString::number(shown.size())));
    }

    // pN posts N, w waits for the first to show, f flushes, m posts to the context, d posts
    // to it after 20 ms (not sooner: "early"), x destroys it. The newest pending update wins;
    // a flush shows it before later posts, and the timer still runs after one; nothing is
    // shown once the context is gone, whatever was pending; a delayed post comes after a direct one.
    void coalescerOrder()
    {
        for (const auto &[steps, expected] : {std::pair{"p1 w p2 p3 m", "1 m 3"}, {"p1 w p2 p3 f m", "1 3 m"}, {"p1 w p2 f m p4", "1 2 m 4"},
                                              {"p1 w f m", "1 m"}, {"p1 p2 x", ""}, {"p1 w p2 x", "1"}, {"p1 w p2 f x", "1"}, {"d m", "m d"}, {"d m x", ""}}) {
            auto context = std::make_unique<QObject>();
            ProgressCoalescer coalescer(context.get());
            QStringList shown;
            for (const QString &step : QString::fromLatin1(steps).split(u' ')) {
                if (step == u"w")
                    QTRY_VERIFY(!shown.isEmpty());
                else if (step == u"f")
                    coalescer.flush();
                else if (step == u"x")
                    context.reset();
                else if (step == u"m")
                    postToMain(context.get(), [&shown] { shown << u"m"_s; });
                else if (step == u"d")
                    postToMainAfter(context.get(), 20ms, [&shown, at = Clock::now()] { shown << (Clock::now() - at < 20ms ? u"early"_s : u"d"_s); });
                else
                    coalescer.post([&shown, n = step.mid(1)] { shown << n; });
            }
            bool settled = false; // posted last, with a delay beyond a frame: everything due has run
            QObject live;
            postToMainAfter(&live, 60ms, [&] { settled = true; });
            QTRY_VERIFY(settled);
            QVERIFY2(shown.join(u' ') == QLatin1StringView(expected), qPrintable(QLatin1StringView(steps) + u" shows " + shown.join(u' ')));
        }
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
