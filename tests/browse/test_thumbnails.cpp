#include "TestIds.h"
#include "TestTree.h"
#include "browse/Thumbnails.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageFiles.h"
#include "imaging/SharedThumbnails.h"
#include "imaging/ThumbnailPicture.h"

#include <QRandomGenerator>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace ImageFiles;

namespace {

// Checks pixels of a 150-point thumbnail at points given as "x,y=#aarrggbb x,y=#aarrggbb...".
void checkPixels(const QImage &thumbnail, const QString &probes)
{
    for (const QString &probe : probes.split(u' ')) {
        const QStringList parts = QString(probe).replace(u'=', u',').split(u',');
        const QColor actual = thumbnail.pixelColor(QPoint(parts[0].toInt(), parts[1].toInt()) * thumbnail.devicePixelRatio()),
                     expected(parts[2]);
        for (const auto channel : {&QColor::red, &QColor::green, &QColor::blue, &QColor::alpha})
            QVERIFY2(std::abs((actual.*channel)() - (expected.*channel)()) <= 24, qPrintable(probe + u" is "_s + actual.name(QColor::HexArgb)));
    }
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT
private slots:
    // A 300 x 200 photo is drawn 225 x 150 from x = -37.5: of its thirds, the outer ones
    // show 37.5 points each; letterboxing would leave the top row clear.
    void fillsTheSquare_data()
    {
        QTest::addColumn<QImage>("source");
        QTest::addColumn<QString>("probes");
        const QImage landscape = bands({300, 200}, {Qt::red, Qt::green, Qt::blue});
        const QString across = u"2,0=#ffff0000 33,149=#ffff0000 42,75=#ff00ff00 108,75=#ff00ff00 117,0=#ff0000ff 147,149=#ff0000ff"_s;
        QTest::newRow("landscape") << landscape << across;
        QTest::newRow("landscape, 2x") << landscape << across;
        QTest::newRow("portrait") << landscape.transformed(QTransform().rotate(90))
                                  << u"0,2=#ffff0000 149,33=#ffff0000 75,42=#ff00ff00 75,108=#ff00ff00 0,117=#ff0000ff 149,147=#ff0000ff"_s;
        QTest::newRow("square") << bands({300, 300}, {Qt::red, Qt::green})
                                << u"0,0=#ffff0000 72,149=#ffff0000 78,0=#ff00ff00 149,149=#ff00ff00"_s;
        QTest::newRow("half transparent") << bands({400, 100}, {QColor(0, 0, 255, 128)})
                                          << u"0,0=#800000ff 149,149=#800000ff"_s;
        // Reduced by a factor that is not whole, 16 bits a channel: the alpha is not squared.
        QTest::newRow("translucent, 16 bits") << bands({2000, 540}, {QColor(0, 0, 255, 153)}).convertToFormat(QImage::Format_RGBA64)
                                              << u"0,0=#990000ff 149,149=#990000ff"_s;
    }
    void fillsTheSquare()
    {
        QFETCH(QImage, source);
        const qreal ratio = QByteArray(QTest::currentDataTag()).endsWith("2x") ? 2.0 : 1.0;
        QFETCH(QString, probes);
        TestTree t;
        const QImage thumbnail = createThumbnail(t.make({"photo.png"}, encoded(source, "png")), ratio);
        QCOMPARE(thumbnail.size(), QSize(qRound(150 * ratio), qRound(150 * ratio)));
        QCOMPARE(thumbnail.devicePixelRatio(), ratio);
        checkPixels(thumbnail, probes);
        QVERIFY(aspectFillRect({0, 200}).isEmpty() && aspectFillRect({300, qQNaN()}).isEmpty());
    }

    // Files that cannot be shown among good ones, on several threads: only the good ones
    // get pictures.
    void badFilesGetNoPicture()
    {
        TestTree t;
        const B jpeg = encoded(bands({640, 480}, {Qt::red, Qt::green}), "jpg");
        B noise(5000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        const QList<std::pair<B, B>> files{{"good.jpg", jpeg}, {"caf\xE9 \xFF.png", encoded(bands({40, 30}, {Qt::blue}), "png")},
                                           {"noise.jpg", noise}, {"jpeg-then-noise.jpg", jpeg.left(600) + noise},
                                           {"truncated.jpg", jpeg.left(jpeg.size() * 2 / 3)}, {"empty.jpg", {}},
                                           {"truncated.heic", B("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) + noise.left(100)}};
        QList<ThumbnailJob> jobs;
        for (const auto &[name, bytes] : files)
            jobs.append({testId(QString::fromLatin1(name)), t.make({name}, bytes)});
        t.make({"album.jpg/"});
        QCOMPARE(::mkfifo(t.path("pipe.jpg"), 0644), 0); // no writer: opening it must not wait
        for (const B name : {"album.jpg", "pipe.jpg", "missing.jpg"})
            jobs.append({testId(QString::fromLatin1(name)), t.path(name)});
        const QHash<PhotoId, QImage> made = makeThumbnails(jobs, 1.0, [] { return false; }, {}, 3);
        QCOMPARE(PhotoIdSet(made.keyBegin(), made.keyEnd()), testIds({u"good.jpg"_s, QString::fromLatin1("caf\xE9 \xFF.png")}));
        checkPixels(made[testId(u"good.jpg"_s)], u"10,10=#ffff0000 140,140=#ff00ff00"_s);
        checkPixels(made[testId(QString::fromLatin1("caf\xE9 \xFF.png"))], u"75,75=#ff0000ff"_s);
    }

    // A page's photos at rows 0, 2, ... 18, one thread: those on screen first, then the rest
    // in page order; a scroll, a cancel or a stop (at the nth poll) counts from the next photo.
    // The rows come in batches ("|" between); progress for every 10th begun, and the end.
    void pageRequest_data()
    {
        QTest::addColumn<int>("visibleFrom");
        QTest::addColumn<QString>("event"); // "<scroll|cancel|stop> <poll>"; scrolled, rows 14 on are on screen
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("progress");
        QTest::newRow("page order") << 0 << u""_s << u"0|2|4|6|8|10|12|14|16|18"_s << u"0 10"_s;
        QTest::newRow("on screen first") << 6 << u""_s << u"6|8|10|0|2|4|12|14|16|18"_s << u"0 10"_s;
        QTest::newRow("scrolled meanwhile") << 6 << u"scroll 2"_s << u"6|14|16|18|0|2|4|8|10|12"_s << u"0 10"_s;
        QTest::newRow("cancelled") << 0 << u"cancel 4"_s << u"0|2|4"_s << u"0"_s;
        QTest::newRow("stopped") << 0 << u"stop 4"_s << u"0|2|4"_s << u"0"_s;
        QTest::newRow("batched") << 0 << u""_s << u"0|2 4 6 8 10 12 14 16 18"_s << u"0 10"_s;
    }
    void pageRequest()
    {
        QFETCH(int, visibleFrom);
        QFETCH(QString, event);
        const int interval = QByteArray(QTest::currentDataTag()) == "batched" ? 3'600'000 : 0; // between batches, ms
        QList<ThumbnailJob> jobs;
        for (int row = 0; row < 20; row += 2)
            jobs.append({PhotoId(row), "/nowhere/" + B::number(row) + ".png", row}); // each comes as a null picture
        ThumbnailRequest request(jobs);
        request.setVisibleRows(visibleFrom, visibleFrom + 5);
        int polls = 0;
        QStringList batches, progress;
        const bool complete = makeThumbnails(request, {
            .stopRequested = [&] {
                const bool now = u"%1"_s.arg(++polls) == event.section(u' ', 1);
                if (now && event.startsWith(u"scroll"))
                    request.setVisibleRows(14, 100);
                if (now && event.startsWith(u"cancel"))
                    request.cancel();
                return now && event.startsWith(u"stop");
            },
            .progress = [&](int position, int count) { progress << QString::number(count == 10 ? position : -1); },
            .deliver = [&](QHash<PhotoId, QImage> batch) {
                QList<PhotoId> rows = batch.keys();
                std::sort(rows.begin(), rows.end());
                batches << QString();
                for (const PhotoId row : rows)
                    batches.last() += (batches.last().isEmpty() ? u""_s : u" "_s) + QString::number(row);
            },
            .batchInterval = std::chrono::milliseconds(interval),
            .threads = 1,
            .log = {},
        });
        QTEST(batches.join(u'|'), "made");
        QTEST(progress.join(u' '), "progress");
        QCOMPARE(std::pair(complete, request.isCancelled()), std::pair(!event.contains(u"stop") && !event.contains(u"cancel"), event.contains(u"cancel")));
        QCOMPARE(request.begun().size(), batches.join(u' ').split(u' ').size());
        QCOMPARE(ThumbnailTexts::progress(0, 10) + ThumbnailTexts::progress(10, 10), u"Generating thumbnails: 1/10Generating thumbnails: 10/10"_s);
        QCOMPARE(std::pair(ThumbnailTexts::progressPercent(3, 10), ThumbnailTexts::progressPercent(10, 10)), std::pair(15.0, 50.0));
    }

    // Through the shared thumbnails, twice: the second run decodes nothing. A cache that
    // cannot be written still gives every picture and one log line a run, leaves nothing
    // half-written and keeps the thumbnail stored before.
    void sharedThumbnails_data()
    {
        QTest::addColumn<B>("root");
        QTest::addColumn<B>("old"); // a file holding "old" before; %1: photo 0's thumbnail
        QTest::addColumn<QString>("error"); // "" none
        QTest::newRow("writable") << B("cache") << B() << u""_s;
        QTest::newRow("disk full") << B("full") << B("full/large/%1") << u"full/large/%1.png: No space left on device"_s;
        QTest::newRow("size folder is a file") << B("cache") << B("cache/large") << u"cache/large: Not a directory"_s;
        QTest::newRow("root below a file") << B("file/cache") << B("file") << u"file/cache/large: Not a directory"_s;
        QTest::newRow("cannot be made") << B("/proc/lumisort-cache") << B() << u"/proc/lumisort-cache/large: No such file or directory"_s;
    }
    void sharedThumbnails()
    {
        QFETCH(B, root);
        QFETCH(B, old);
        QFETCH(QString, error);
        struct FullDisk : SharedThumbnails
        {
            using SharedThumbnails::SharedThumbnails;
            int writeAll(int, QByteArrayView) const override { return ENOSPC; }
        };
        TestTree t;
        QList<ThumbnailJob> jobs;
        for (int i = 0; i < 4; ++i)
            jobs.append({PhotoId(i), t.make({B::number(i) + ".jpg"}, encoded(bands({640, 480}, {Qt::red, Qt::green}), "jpg")), i});
        const B name = thumbnailFileName(jobs[0].path);
        old.replace("%1", name);
        if (!old.isEmpty())
            t.make({old}, "old");
        root = root.startsWith('/') ? root : t.path(root);
        const std::unique_ptr<SharedThumbnails> shared(root.endsWith("full") ? new FullDisk(root) : new SharedThumbnails(root));
        QStringList log;
        for (int run = 0; run < 2; ++run) {
            ThumbnailRequest request(jobs);
            int made = 0;
            const auto deliver = [&](const QHash<PhotoId, QImage> &batch) {
                for (const QImage &picture : batch)
                    made += picture.pixelColor(10, 10).red() > 230 && picture.pixelColor(140, 140).green() > 230;
            };
            QVERIFY(makeThumbnails(request, {.stopRequested = {}, .progress = {}, .deliver = deliver, .threads = 2,
                                             .sharedThumbnails = shared.get(), .log = [&](const QString &line) { log << line; }}));
            QCOMPARE(made, 4);
        }
        QCOMPARE(std::pair(shared->decodes(), int(log.size())), error.isEmpty() ? std::pair(4, 0) : std::pair(8, 2));
        const QString where = error.startsWith(u'/') ? QString() : QFile::decodeName(t.root) + u'/';
        const QStringList around = error.split(u"%1"_s); // any photo's name between
        QVERIFY2(log.isEmpty() || (log[0].startsWith(u"Cannot write shared thumbnails: "_s + where + around[0]) && log[0].endsWith(around.last())),
                 qPrintable(log.value(0)));
        if (old.contains('/'))
            QCOMPARE(TestTree::list(t.path(old.left(old.lastIndexOf('/')))), QByteArrayList{old.mid(old.lastIndexOf('/') + 1)});
        QVERIFY(old.isEmpty() || fileBytes(t.path(old)) == "old");
    }
};

QTEST_GUILESS_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
