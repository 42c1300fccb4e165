#include "TestIds.h"
#include "TestTree.h"
#include "platform/ImageFiles.h"
#include "browse/Thumbnails.h"
#include "platform/ImageDecoder.h"

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
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QString>("probes");
        const QImage landscape = bands({300, 200}, {Qt::red, Qt::green, Qt::blue});
        const QString across = u"2,0=#ffff0000 33,149=#ffff0000 42,75=#ff00ff00 108,75=#ff00ff00 117,0=#ff0000ff 147,149=#ff0000ff"_s;
        QTest::newRow("landscape") << landscape << 1.0 << across;
        QTest::newRow("landscape, 2x") << landscape << 2.0 << across;
        QTest::newRow("portrait") << landscape.transformed(QTransform().rotate(90)) << 1.0
                                  << u"0,2=#ffff0000 149,33=#ffff0000 75,42=#ff00ff00 75,108=#ff00ff00 0,117=#ff0000ff 149,147=#ff0000ff"_s;
        QTest::newRow("square") << bands({300, 300}, {Qt::red, Qt::green}) << 1.0
                                << u"0,0=#ffff0000 72,149=#ffff0000 78,0=#ff00ff00 149,149=#ff00ff00"_s;
        QTest::newRow("half transparent") << bands({400, 100}, {QColor(0, 0, 255, 128)}) << 1.0
                                          << u"0,0=#800000ff 149,149=#800000ff"_s;
        // Reduced by a factor that is not whole, 16 bits a channel: the alpha is not squared.
        QTest::newRow("translucent, 16 bits") << bands({2000, 540}, {QColor(0, 0, 255, 153)}).convertToFormat(QImage::Format_RGBA64)
                                              << 1.0 << u"0,0=#990000ff 149,149=#990000ff"_s;
    }
    void fillsTheSquare()
    {
        QFETCH(QImage, source);
        QFETCH(qreal, ratio);
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

    void progressAndStop()
    {
        TestTree t;
        const B tiny = encoded(bands({4, 3}, {Qt::red}), "png");
        QList<ThumbnailJob> jobs;
        for (int i = 0; i < 100; ++i)
            jobs.append({PhotoId(i + 1), t.make({B::number(i) + ".png"}, tiny)});
        QList<int> positions;
        const auto note = [&](int position, int count) { positions << (count == 100 ? position : -1); };
        QCOMPARE(makeThumbnails(jobs, 1.0, [] { return false; }, note, 4).size(), 100);
        QCOMPARE(positions, QList<int>({0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
        QCOMPARE(ThumbnailTexts::progress(positions[3] + 1, 100), u"Generating thumbnails: 31/100"_s);
        QCOMPARE(ThumbnailTexts::progressPercent(positions[3], 100), 15.0);

        // The stop is seen before the 26th photo is begun: the first 25 are kept.
        positions.clear();
        int asked = 0;
        const QHash<PhotoId, QImage> made = makeThumbnails(jobs, 1.0, [&] { return ++asked > 25; }, note, 2);
        QCOMPARE(made.size(), 25);
        for (int i = 0; i < 25; ++i)
            QVERIFY(made.contains(PhotoId(i + 1)));
        QCOMPARE(positions, QList<int>({0, 10, 20}));
    }
};

QTEST_GUILESS_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
