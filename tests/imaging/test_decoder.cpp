#include "ImageFiles.h"
#include "TestTree.h"
#include "imaging/DecodeBudget.h"
#include "imaging/ImageDecoder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <cstdio>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;
using namespace ImageFiles;

// The decode in a process of its own, which loaded the format's reader beforehand: whether it
// made a picture, its peak resident bytes over those before, and what it reserved.
static std::array<qint64, 3> measuredDecode(const B &path, QSize cover)
{
    QProcess bench;
    bench.start(QStringLiteral(LUMISORT_BENCH_PATH), {u"decode-memory"_s, QFile::decodeName(path), QString::number(cover.width()), QString::number(cover.height())});
    bench.waitForFinished(-1);
    std::array<qint64, 3> measured{-1, -1, -1};
    std::sscanf(bench.readAllStandardOutput().constData(), "made=%lld grew=%lld charged=%lld", &measured[0], &measured[1], &measured[2]);
    return measured;
}

// Colours at the centres of the four quadrants, top left to bottom right: black, red, green,
// yellow, blue, magenta, cyan or white, by their initials.
static QString quadrantColours(const QImage &image)
{
    QString colours;
    for (const QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QColor c = image.pixelColor(image.width() * at.x() / 4, image.height() * at.y() / 4);
        colours += u"krgybmcw"[(c.red() > 128) | (c.green() > 128) << 1 | (c.blue() > 128) << 2];
    }
    return colours;
}

class TestDecoder : public QObject
{
    Q_OBJECT
private slots:
    // What is shown, and how large, as a cover box asks.
    void pictures_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("colours");
        // Stored: red, green on top; blue, yellow below. Each orientation puts them where the
        // EXIF rule says; a flip instead of a half turn, or a turn the wrong way, moves them.
        // Reduced for a wide box too: scaled before turning, a turned picture would not cover it.
        const QStringList upright{u"rgby"_s, u"gryb"_s, u"ybgr"_s, u"byrg"_s, u"rbgy"_s, u"bryg"_s, u"ygbr"_s, u"gyrb"_s};
        const QSize sizes[2][2] = {{{96, 64}, {24, 16}}, {{64, 96}, {24, 36}}}; // [turned][reduced]
        for (int o = 1; o <= 8; ++o)
            for (const bool little : {false, true})
                for (const char *format : {"jpg", "tiff", "webp"})
                    for (const B bytes = withOrientation(quadrants({96, 64}), format, o, little); const QSize cover : {QSize(), QSize(24, 12)})
                        QTest::addRow("%s %d %s %s", format, o, little ? "II" : "MM", cover.isEmpty() ? "full" : "reduced")
                            << bytes << cover << sizes[o >= 5][!cover.isEmpty()] << upright[o - 1];
        // A GIF is decoded as far as its frame is complete, however long its codes run on: the
        // white of its top half does not spill into the bottom one, not even from codes in the
        // last byte of the frame (3 x 2).
        for (const QSize size : {QSize(64, 64), QSize(3, 2)})
            QTest::addRow("gif %dx%d", size.width(), size.height()) << lzwBombGif(size, 64 << 10) << QSize() << size << u"wwkk"_s;
        const QImage stored = bands({320, 240}, {Qt::red, Qt::green});
        if (const B withThumbnails = heic(stored, heif_orientation_normal, {300, 260}); !withThumbnails.isEmpty()) { // else heic() has warned
            // irot: a quarter turn clockwise puts the red half on top.
            QTest::newRow("HEIF turned") << heic(stored, heif_orientation_rotate_90_cw) << QSize() << QSize(240, 320) << u"rrgg"_s;
            // The smallest embedded thumbnail that covers a 150 box (200 x 150 needed); none covers a 300 one.
            QTest::newRow("HEIF thumbnail") << withThumbnails << QSize(150, 150) << QSize(260, 194) << u"rgrg"_s;
            QTest::newRow("HEIF thumbnails too small") << withThumbnails << QSize(300, 300) << QSize(320, 240) << u"rgrg"_s;
        }
    }
    void pictures()
    {
        QFETCH(B, bytes);
        QFETCH(QSize, cover);
        const TestTree t;
        const B path = t.make({"photo"}, bytes);
        QSize full;
        const QImage image = decodeImage(path, cover, &full);
        QTEST(image.size(), "size");
        QTEST(quadrantColours(image), "colours");
        QCOMPARE(full, decodeImage(path).size()); // upright and whole, whatever was decoded
    }

    // The content decides, never the name: other formats Qt could read are refused. Small
    // files that claim or inflate to gigabytes, or would keep the decoder busy for minutes,
    // show nothing either, and the decode's peak memory stays far below what they ask for.
    // Cut anywhere in its first picture (a TIFF inside its strips), a photo shows nothing
    // rather than a partly grey one. What a decode is charged covers what it really takes,
    // and not much more; a budget of exactly the charge decodes it, one byte less does not,
    // and one smaller than the file does not even read it. Pixels come 8-bit premultiplied
    // whatever the file held.
    void files_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<QSize>("shown"); // 0 x 0: no picture
        QTest::addColumn<int>("over"); // the charge above what the decode takes, at most: percent, and 2 MB
        const auto row = [](const char *name, const B &bytes, QSize cover, QSize shown, int over = 25) { QTest::newRow(name) << bytes << cover << shown << over; };
        const QImage image = quadrants({63, 47}); // rows of 189 bytes, padded in a BMP
        const QSize none(0, 0), full(63, 47), box(300, 300), big(16000, 12000), small(64, 64);
        for (const char *format : {"jpg", "png", "bmp", "webp", "ico", "ppm", "xpm", "tga"})
            row(format, encoded(image, format), none, B("ico ppm xpm tga").contains(format) ? none : full);
        row("1-bit png", encoded(image.convertToFormat(QImage::Format_Mono), "png"), none, full);
        row("tiff", withOrientation(image, "tiff", 1), none, full);
        const QImage padded = image.copy(0, 0, 64, 48).convertToFormat(QImage::Format_RGB888); // to one whole tile
        row("tiled tiff", tiff({{256, 4, {63}}, {257, 4, {47}}, {258, 3, {8, 8, 8}}, {259, 3, {1}}, {262, 3, {2}}, {277, 3, {3}}, {322, 3, {64}},
                                {323, 3, {48}}, {324, 4, {inTail}}, {325, 4, {quint32(padded.sizeInBytes())}}},
                               false, B(reinterpret_cast<const char *>(padded.constBits()), padded.sizeInBytes())), none, full);
        row("svg", "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'><rect width='64' height='48'/></svg>", none, none);

        B progressive = encoded(image, "jpg", 90, true);
        progressive.replace(progressive.indexOf("\xFF\xC2") + 5, 4, B(be16(16383) + be16(16383)));
        // Enough entropy-coded bytes for every block: only the coefficient buffer stops it.
        const qsizetype scan = progressive.indexOf("\xFF\xDA") + 2, data = scan + qFromBigEndian<quint16>(progressive.constData() + scan);
        row("progressive JPEG, 16383 square, long scan", B(progressive).insert(data, B(2 << 20, '\0')), box, none);
        B baseline = encoded(image, "jpg");
        baseline.replace(baseline.indexOf("\xFF\xC0") + 5, 4, B(be16(60000) + be16(60000)));
        row("baseline JPEG, 60000 square", baseline, box, none);
        // A 5 x 5 image interlaced is 36 bytes of rows: 2 + 2 + 3 + 4 + 4 + 9 + 12 in its seven passes.
        row("interlaced PNG", greyPng({5, 5}, qCompress(B(36, '\0')).mid(4), 8, true), none, {5, 5});
        row("PNG inflating past its rows", inflatingPng({16, 16}, 1 << 20), none, none);
        // A scan passes over every block, however few bytes it has: 100 are the most decoded.
        row("JPEG of 100 scans", manyScansJpeg(1024, 99), none, {1024, 1024});
        row("JPEG of 101 scans", manyScansJpeg(1024, 100), none, none);

        // Each kind of file as large as a photo.
        const QImage photo = quadrants({2048, 1536});
        const QImage alpha = bands(photo.size(), {QColor(40, 80, 160, 150)});
        QImage dotted = photo.convertToFormat(QImage::Format_ARGB32);
        for (int i = 0; i < 2048 * 1536; i += 7) // libwebp decodes such a picture through a buffer of its own
            dotted.setPixel(i % 2048, i / 2048, qRgb(i & 255, 0, 0));
        QImage noise(photo.size(), QImage::Format_RGB32); // whose file is large enough that its copies count
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        const QSize photoSize = photo.size(), thumbnail(150, 150);
        for (const auto &[format, pixels] : {std::pair{"jpg", QImage::Format_RGB32}, {"png", QImage::Format_RGB32}, {"bmp", QImage::Format_RGB32}, {"tiff", QImage::Format_RGB32},
                                             {"jpg", QImage::Format_Grayscale8}, {"png", QImage::Format_Grayscale16}, {"png", QImage::Format_Indexed8}})
            row(qPrintable(u"%1 photo, pixels %2"_s.arg(QLatin1StringView(format)).arg(pixels)), encoded(photo.convertToFormat(pixels), format), none, photoSize);
        row("webp photo", encoded(noise, "webp"), none, photoSize);
        row("jpg reduced", encoded(photo, "jpg"), {600, 600}, {800, 600});
        row("jpg turned", withOrientation(photo, "jpg", 6), none, photoSize.transposed());
        row("progressive jpg photo", encoded(photo, "jpg", 90, true), none, photoSize);
        row("png with alpha, reduced", encoded(alpha, "png"), {1200, 1200}, {1600, 1200});
        row("16-bit png with alpha, reduced", encoded(alpha.convertToFormat(QImage::Format_RGBA64), "png"), thumbnail, {200, 150});
        row("gif photo", gif(photo), none, photoSize);
        row("run-length bmp, reduced", rleBmp(photoSize), thumbnail, {200, 150});
        row("16-bit tiff", encoded(alpha.convertToFormat(QImage::Format_RGBA64), "tiff", 90, false, 1), none, photoSize);
        row("float tiff, reduced", encoded(alpha.convertToFormat(QImage::Format_RGBA32FPx4), "tiff", 90, false, 1), thumbnail, {200, 150});
        row("lossless webp", encoded(dotted, "webp", 100), none, photoSize);
        row("webp with alpha", encoded(alpha, "webp"), none, photoSize);

        if (const B tile = heic(quadrants(small)); !tile.isEmpty()) { // else heic() has warned
            row("heic photo", heic(noise), none, photoSize);
            row("heic grid", heifGrid(heic(quadrants({1024, 1536})), photoSize, photoSize, false, 2), none, photoSize);
            // The alpha item is charged as a colour one could be.
            row("heic with alpha", heic(noise.copy(0, 0, 1024, 768).convertToFormat(QImage::Format_RGBA8888)), none, {1024, 768}, 70);
            // AVIF brands are not ours, whatever the rest of the file holds.
            row("AVIF brand", B(tile).replace(8, 4, "avif"), none, none);
            // Parameter sets in the item's data redefine the picture its configuration gives.
            const B larger = heic(quadrants({128, 128})), hvcC = boxBody(tile, "hvcC"), coded = boxBody(tile, "mdat");
            row("HEIF coded larger than configured", heifItem(hvcC, small, parameterSets(larger) + boxBody(larger, "mdat")), box, none);
            row("HEIF item of two pictures", heifItem(hvcC, small, coded.repeated(2)), box, none);
            // Its data behind 31 pieces of filler data, in 32 extents: the most an item may have. Read
            // 31 times over, the filler adds up to more than the file holds, which libheif would copy.
            const B filled = B(be32(3) + "\x4C\x01\x80").repeated(31) + coded;
            QList<std::pair<int, int>> extents{{217, int(coded.size())}};
            for (int i = 0; i < 31; ++i)
                extents.prepend({7 * i, 7});
            row("HEIF extents adding up past the file", heifItem(hvcC, small, filled, QList<std::pair<int, int>>(31, {0, 217}) << extents.last()), box, none);
            row("HEIF item in 32 extents", heifItem(hvcC, small, filled, extents), box, small);
            // Its alpha item holds two pictures: decoded beside the picture, it cannot be charged.
            const QList<B> properties{ispe(small), ImageFiles::box("hvcC", hvcC)};
            row("HEIF alpha of two pictures",
                heifFile({{"hvc1", properties, coded}, {"hvc1", properties + QList{fullBox("auxC", 0, B("urn:mpeg:hevc:2015:auxid:1", 27))}, coded.repeated(2)}},
                         ImageFiles::box("auxl", be16(2) + be16(1) + be16(1))), box, none);
            row("HEIF grid within its declared size", heifGrid(tile, small, small), box, small);
            row("HEIF grid larger than declared", heifGrid(tile, small, {1024, 1024}), box, none);
            row("HEIF grid declared 16000 x 12000", heifGrid(tile, big, big), box, none);
            // The thumbnail lies; the primary image is shown instead.
            row("HEIF thumbnail larger than declared", heifGrid(tile, small, big, true), {8, 8}, small);
        }
    }
    void files()
    {
        QFETCH(B, bytes);
        QFETCH(QSize, cover);
        QFETCH(int, over);
        TestTree t;
        const B path = t.make({"IMG_0001.jpg"}, bytes);
        const QImage image = decodeImage(path, cover);
        QTEST(image.size(), "shown");
        QVERIFY(image.isNull() || image.format() == (image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32));
        // A GIF's last pixel lies before its end code, the end of its blocks and its trailer.
        for (const qsizetype cut : {bytes.size() / 2, bytes.size() * 9 / 10, bytes.size() - (bytes.startsWith("GIF") ? 4 : 1)})
            QVERIFY2(decodeImage(t.make({"cut.jpg"}, bytes.left(cut)), cover).isNull(), qPrintable(QString::number(cut)));
        const auto [made, grew, charged] = measuredDecode(path, cover);
        DecodeBudget exact(charged), less(charged - 1), unread(bytes.size() - 1);
        QCOMPARE(decodeImage(path, cover, exact).size(), image.size());
        QVERIFY(decodeImage(path, cover, less).isNull() && decodeImage(path, cover, unread).isNull() && exact.inUse() + less.inUse() + unread.peak() == 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers' own memory swamps what a decode takes");
#endif
        QVERIFY2(made ? grew <= charged && charged <= grew * (100 + over) / 100 + (2 << 20) : grew >= 0 && grew < 64 << 20,
                 qPrintable(u"took %1, charged %2"_s.arg(grew).arg(charged)));
    }

    // Bytes held at once count together; a request waits for those others hold, even when one
    // byte short (one larger than the whole budget is refused at once: see files).
    void budget()
    {
        DecodeBudget budget(8 << 20);
        const std::optional one = budget.reserve(1), two = budget.reserve(2);
        std::optional rest = budget.reserve(budget.capacity() - 4);
        QCOMPARE(budget.peak(), budget.capacity() - 1);
        auto waiter = std::async(std::launch::async, [&] { return budget.reserve(2) && budget.inUse() <= budget.capacity(); });
        while (budget.waiting() == 0 && waiter.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            std::this_thread::yield();
        QCOMPARE(budget.waiting(), 1);
        rest.reset();
        QVERIFY(waiter.get());
        QCOMPARE(budget.inUse(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "test_decoder.moc"
