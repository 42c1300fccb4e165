#include "ImageFiles.h"
#include "TestTree.h"
#include "platform/DecodeBudget.h"
#include "platform/ImageDecoder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace ImageFiles;

namespace {

struct Measured
{
    bool made = false;
    qint64 grew = -1, charged = -1; // peak resident bytes over those before; what it reserved
};

// The decode in a process of its own, which loaded the format's reader beforehand.
Measured measuredDecode(const B &path, QSize cover)
{
    QProcess bench;
    bench.start(QStringLiteral(LUMISORT_BENCH_PATH), {u"decode-memory"_s, QFile::decodeName(path), QString::number(cover.width()),
                                                      QString::number(cover.height())});
    bench.waitForFinished(-1);
    QList<qint64> v; // made, grew, charged
    for (const B &field : bench.readAllStandardOutput().trimmed().split(' '))
        v.append(field.mid(field.indexOf('=') + 1).toLongLong());
    return v.size() == 3 ? Measured{v[0] == 1, v[1], v[2]} : Measured();
}

// Colours at the centres of the four quadrants, top left to bottom right, as #rrggbb.
QStringList quadrantColours(const QImage &image)
{
    QStringList colours;
    for (const QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QColor c = image.pixelColor(image.width() * at.x() / 4, image.height() * at.y() / 4);
        colours << QColor(c.red() > 128 ? 255 : 0, c.green() > 128 ? 255 : 0, c.blue() > 128 ? 255 : 0).name();
    }
    return colours;
}

const QString r = u"#ff0000"_s, g = u"#00ff00"_s, b = u"#0000ff"_s, y = u"#ffff00"_s;

} // namespace

class TestDecoder : public QObject
{
    Q_OBJECT
private slots:
    // Stored: red, green on top; blue, yellow below. Each orientation puts them where the
    // EXIF rule says; a flip instead of a half turn, or a turn the wrong way, moves them.
    void orientation_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QStringList>("upright");
        const QList<QStringList> expected{{r, g, b, y}, {g, r, y, b}, {y, b, g, r}, {b, y, r, g},
                                          {r, b, g, y}, {b, r, y, g}, {y, g, b, r}, {g, y, r, b}};
        for (int o = 1; o <= 8; ++o)
            for (const bool little : {false, true})
                for (const char *format : {"jpg", "tiff", "webp"})
                    QTest::addRow("%s %d %s", format, o, little ? "II" : "MM")
                        << withOrientation(quadrants({96, 64}), format, o, little) << o << expected[o - 1];
    }
    void orientation()
    {
        QFETCH(B, bytes);
        QFETCH(int, orientation);
        QFETCH(QStringList, upright);
        TestTree t;
        const B path = t.make({"photo"}, bytes);
        // Reduced for a wide box too: scaled before turning, a turned picture would not cover it.
        const std::tuple<QSize, QSize, QSize> covers[] = {{{}, {96, 64}, {64, 96}}, {{24, 12}, {24, 16}, {24, 36}}};
        for (const auto &[cover, size, turned] : covers) {
            const QImage image = decodeImage(path, cover);
            QCOMPARE(image.size(), orientation >= 5 ? turned : size);
            QCOMPARE(quadrantColours(image), upright);
        }
    }

    // The content decides, never the name: other formats Qt could read are refused. Small
    // files that claim or inflate to gigabytes, or would keep the decoder busy for minutes,
    // show nothing either, and the decode's peak memory stays far below what they ask for.
    // Cut anywhere in its first picture (a TIFF inside its strips), a photo shows nothing
    // rather than a partly grey one.
    void files_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<QSize>("cover");
        QTest::addColumn<QSize>("shown"); // empty: no picture
        const QImage image = quadrants({64, 48});
        const QSize full(64, 48), box(300, 300), big(16000, 12000), small(64, 64);
        const B svg = "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'><rect width='64' height='48'/></svg>";
        for (const char *format : {"jpg", "png", "bmp", "webp", "ico", "ppm", "xpm", "tga"})
            QTest::newRow(format) << encoded(image, format) << QSize() << (B("ico ppm xpm tga").contains(format) ? QSize() : full);
        QTest::newRow("progressive jpg") << encoded(image, "jpg", 90, true) << QSize() << full;
        QTest::newRow("gif") << gif(image) << QSize() << full;
        QTest::newRow("tiff") << withOrientation(image, "tiff", 1) << QSize() << full;
        QTest::newRow("svg") << svg << QSize() << QSize();
        QTest::newRow("svgz") << gzipped(svg) << QSize() << QSize();
        QTest::newRow("mng") << B("\x8AMNG\r\n\x1A\n\0\0\0\x1CMHDR\0\0\0\x40\0\0\0\x30", 24) + B(20, '\0') + B(4, 'x')
                                  + B("\0\0\0\0MEND", 8) + B(4, 'x') << QSize() << QSize();

        B progressive = encoded(image, "jpg", 90, true);
        progressive.replace(progressive.indexOf("\xFF\xC2") + 5, 4, B(be16(16383) + be16(16383)));
        QTest::newRow("progressive JPEG, 16383 square") << progressive << box << QSize();
        // Enough entropy-coded bytes for every block: only the coefficient buffer stops it.
        const qsizetype scan = progressive.indexOf("\xFF\xDA") + 2, data = scan + qFromBigEndian<quint16>(progressive.constData() + scan);
        QTest::newRow("progressive JPEG, 16383 square, long scan") << B(progressive).insert(data, B(2 << 20, '\0')) << box << QSize();
        B baseline = encoded(image, "jpg");
        baseline.replace(baseline.indexOf("\xFF\xC0") + 5, 4, B(be16(60000) + be16(60000)));
        QTest::newRow("baseline JPEG, 60000 square") << baseline << box << QSize();
        QTest::newRow("PNG, 100000 square") << encoded(image, "png").replace(16, 8, B(be32(100000) + be32(100000))) << QSize() << QSize();
        QTest::newRow("PNG inflating past its rows") << inflatingPng({16, 16}, 1 << 20) << QSize() << QSize();
        // A scan passes over every block, however few bytes it has: 100 are the most decoded.
        QTest::newRow("JPEG of 100 scans") << manyScansJpeg(1024, 99) << QSize() << QSize(1024, 1024);
        QTest::newRow("JPEG of 101 scans") << manyScansJpeg(1024, 100) << QSize() << QSize();
        if (const B tile = heic(quadrants(small)); !tile.isEmpty()) { // else heic() has warned
            // Parameter sets in the item's data redefine the picture its configuration gives.
            const B larger = heic(quadrants({128, 128}));
            QTest::newRow("HEIF coded larger than configured") << heifItem(boxBody(tile, "hvcC"), small, parameterSets(larger) + boxBody(larger, "mdat")) << box << QSize();
            QTest::newRow("HEIF item of two pictures") << heifItem(boxBody(tile, "hvcC"), small, boxBody(tile, "mdat").repeated(2)) << box << QSize();
            // Filler data read 31 times over: libheif would copy far more than the file holds.
            const B filler = be32(64) + "\x4C\x01" + B(61, '\xFF') + '\x80', coded = boxBody(tile, "mdat");
            QTest::newRow("HEIF extents adding up past the file") << heifItem(boxBody(tile, "hvcC"), small, filler + coded,
                                                                               QList<std::pair<int, int>>(31, {0, 68}) << std::pair(68, int(coded.size()))) << box << QSize();
            QTest::newRow("HEIF item in extents") << heifItem(boxBody(tile, "hvcC"), small, filler + coded, {{0, 68}, {68, int(coded.size())}}) << box << small;
            // Its alpha item holds two pictures: decoded beside the picture, it cannot be charged.
            QTest::newRow("HEIF alpha of two pictures")
                << heifFile(1, infe(1, "hvc1") + infe(2, "hvc1"), ImageFiles::box("auxl", be16(2) + be16(1) + be16(1)),
                            ispe(small) + ImageFiles::box("hvcC", boxBody(tile, "hvcC")) + fullBox("auxC", 0, B("urn:mpeg:hevc:2015:auxid:1", 27)),
                            be32(2) + be16(1) + char(2) + char(0x81) + char(0x82) + be16(2) + char(3) + char(0x81) + char(0x82) + char(0x83),
                            [&](quint32 at) -> B {
                                return be16(2) + be16(1) + be16(0) + be16(0) + be16(1) + be32(at) + be32(quint32(coded.size())) + be16(2)
                                     + be16(0) + be16(0) + be16(1) + be32(at + quint32(coded.size())) + be32(quint32(2 * coded.size()));
                            }, {}, coded.repeated(3))
                << box << QSize();
            QTest::newRow("HEIF grid within its declared size") << heifGrid(tile, small, small) << box << small;
            QTest::newRow("HEIF grid larger than declared") << heifGrid(tile, small, big) << box << QSize();
            QTest::newRow("HEIF grid declared 16000 x 12000") << heifGrid(tile, big, big) << box << QSize();
            // The thumbnail lies; the primary image is shown instead.
            QTest::newRow("HEIF thumbnail larger than declared") << heifGrid(tile, small, big, true) << QSize(8, 8) << small;
        }
    }
    void files()
    {
        QFETCH(B, bytes);
        QFETCH(QSize, cover);
        QFETCH(QSize, shown);
        TestTree t;
        const B path = t.make({"IMG_0001.jpg"}, bytes);
        const QImage image = decodeImage(path, cover);
        QCOMPARE(image.size(), shown.isEmpty() ? QSize(0, 0) : shown);
        QVERIFY(image.isNull() || image.format() == (image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32));
        for (const double part : {0.5, 0.9})
            QVERIFY2(decodeImage(t.make({"cut.jpg"}, bytes.left(qsizetype(bytes.size() * part))), cover).isNull(), qPrintable(QString::number(part)));
#ifdef __SANITIZE_THREAD__
        QSKIP("ThreadSanitizer's shadow memory swamps what a decode takes");
#endif
        const Measured measured = measuredDecode(path, cover);
        QCOMPARE(measured.made, !shown.isEmpty());
        QVERIFY2(measured.grew >= 0 && measured.grew < 64 << 20, qPrintable(QString::number(measured.grew)));
    }

    // What each kind of file is charged covers what its decode really takes, and not much
    // more; a budget of exactly the charge decodes it, one byte less does not.
    void charges_data()
    {
        QTest::addColumn<B>("bytes");
        QTest::addColumn<QSize>("cover");
        const QImage photo = quadrants({2048, 1536});
        QImage alpha = photo.convertToFormat(QImage::Format_ARGB32), dotted = alpha;
        alpha.fill(QColor(40, 80, 160, 150));
        for (int i = 0; i < 2048 * 1536; i += 7) // libwebp decodes such a picture through a buffer of its own
            dotted.setPixel(i % 2048, i / 2048, qRgb(i & 255, 0, 0));
        const QSize full, box(150, 150);
        for (const char *format : {"jpg", "png", "bmp", "tiff"})
            QTest::newRow(format) << encoded(photo, format) << full;
        QImage noise(photo.size(), QImage::Format_RGB32); // whose file is large enough that its copy counts
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        QTest::newRow("webp") << encoded(noise, "webp") << full;
        QTest::newRow("jpg reduced") << encoded(photo, "jpg") << box;
        QTest::newRow("jpg turned, reduced") << withOrientation(photo, "jpg", 6) << box;
        QTest::newRow("grey jpg") << encoded(photo.convertToFormat(QImage::Format_Grayscale8), "jpg") << full;
        QTest::newRow("progressive jpg") << encoded(photo, "jpg", 90, true) << full;
        QTest::newRow("png with alpha, reduced") << encoded(alpha, "png") << QSize(1200, 1200);
        QTest::newRow("16-bit png with alpha, reduced") << encoded(alpha.convertToFormat(QImage::Format_RGBA64), "png") << box;
        QTest::newRow("16-bit grey png") << encoded(photo.convertToFormat(QImage::Format_Grayscale16), "png") << full;
        QTest::newRow("palette png") << encoded(photo.convertToFormat(QImage::Format_Indexed8), "png") << full;
        QTest::newRow("gif") << gif(photo) << full;
        QTest::newRow("run-length bmp, reduced") << rleBmp(photo.size()) << box;
        QTest::newRow("16-bit tiff") << encoded(alpha.convertToFormat(QImage::Format_RGBA64), "tiff", 90, false, 1) << full;
        QTest::newRow("float tiff, reduced") << encoded(alpha.convertToFormat(QImage::Format_RGBA32FPx4), "tiff", 90, false, 1) << box;
        QTest::newRow("lossless webp") << encoded(dotted, "webp", 100) << full;
        QTest::newRow("heic") << heic(photo) << full;
    }
    void charges()
    {
        QFETCH(B, bytes);
        QFETCH(QSize, cover);
        TestTree t;
        const B path = t.make({"photo"}, bytes);
        const Measured measured = measuredDecode(path, cover);
        QVERIFY(measured.made);
        DecodeBudget exact(measured.charged), less(measured.charged - 1);
        QVERIFY(!decodeImage(path, cover, exact).isNull());
        QVERIFY(decodeImage(path, cover, less).isNull());
        QCOMPARE(exact.inUse() + less.inUse(), 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers' own memory swamps what a decode takes");
#endif
        QVERIFY2(measured.grew <= measured.charged && measured.charged <= measured.grew * 5 / 4 + (2 << 20),
                 qPrintable(u"took %1, charged %2"_s.arg(measured.grew).arg(measured.charged)));
    }

    // A GIF is decoded as far as its frame is complete, however long its codes run on: the
    // white of its top half does not spill into the bottom one, not even from codes in the
    // last byte of the frame (3 x 2).
    void gifEndsWithItsFrame()
    {
        TestTree t;
        for (const QSize size : {QSize(64, 64), QSize(3, 2)}) {
            const QImage image = decodeImage(t.make({"photo.gif"}, lzwBombGif(size, 64 << 10)));
            QCOMPARE(image.size(), size);
            QCOMPARE(image.pixel(size.width() / 2, 0), qRgb(255, 255, 255));
            QCOMPARE_NE(image.pixel(size.width() / 2, size.height() - 1), qRgb(255, 255, 255));
        }
    }

    void heifThumbnailsAndRotation()
    {
        const QImage stored = bands({320, 240}, {Qt::red, Qt::green});
        const B plain = heic(stored);
        if (plain.isEmpty())
            QSKIP("cannot make HEIC files");
        TestTree t;
        // irot: a quarter turn clockwise puts the red half on top.
        const QImage turned = decodeImage(t.make({"turned.heic"}, heic(stored, heif_orientation_rotate_90_cw)));
        QCOMPARE(turned.size(), QSize(240, 320));
        QCOMPARE(quadrantColours(turned).mid(0, 2), QStringList({r, r}));
        // The embedded 260-pixel thumbnail covers a 150 box (200 x 150 needed), not a 300 one.
        const B withThumbnail = t.make({"thumbnail.heic"}, heic(stored, heif_orientation_normal, 260));
        const QSize small = decodeImage(withThumbnail, {150, 150}).size();
        QVERIFY2(small.width() >= 200 && small.height() >= 150 && small.width() < 320, qPrintable(QString::number(small.width())));
        QCOMPARE(decodeImage(withThumbnail, {300, 300}).size(), QSize(320, 240));
        // AVIF brands are not ours, whatever the rest of the file holds.
        QVERIFY(decodeImage(t.make({"brand.heic"}, B(plain).replace(8, 4, "avif"))).isNull());
    }

    void budget()
    {
        // A request waits for the bytes another holds; one larger than the budget is refused.
        DecodeBudget enough(8 << 20);
        QVERIFY(!enough.reserve(enough.capacity() + 1));
        std::atomic<bool> released = false, sawRelease = false;
        std::optional all = enough.reserve(enough.capacity());
        QVERIFY(all);
        std::thread waiter([&] {
            const auto half = enough.reserve(enough.capacity() / 2);
            sawRelease = released.load();
        });
        QTest::qWait(50); // long enough for a budget that does not wait to let the waiter through
        released = true;
        all.reset();
        waiter.join();
        QVERIFY(sawRelease);
        QCOMPARE(enough.inUse(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "test_decoder.moc"
