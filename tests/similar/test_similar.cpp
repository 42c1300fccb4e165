#include "Scenes.h"
#include "TestTree.h"
#include "similar/PhotoSignature.h"
#include "similar/SimilarGrouping.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Groups = std::vector<std::vector<quint32>>;

namespace {

// `image` as a file of `format` shows it.
QImage reloaded(const QImage &image, const char *format, int quality)
{
    return QImage::fromData(encoded(image, format, quality), format).convertToFormat(QImage::Format_RGB32);
}

QImage captioned(const QImage &image, QRect band, QColor fill)
{
    QImage out = image;
    QPainter painter(&out);
    painter.fillRect(band, fill);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, QStringLiteral("(c) 2026 Holiday"));
    return out;
}

// Signatures of a base whose key k holds 0x5555, with the coarse and fine bits flipped.
PhotoSignature flipped(std::initializer_list<int> coarse, std::initializer_list<int> fine = {})
{
    PhotoSignature s{0x5555555555555555, 0x3333333333333333};
    for (auto [band, bits] : {std::pair{&s.coarse, coarse}, {&s.fine, fine}})
        for (int bit : bits)
            *band ^= quint64(1) << bit;
    return s;
}

Groups grouped(const std::vector<PhotoSignature> &signatures)
{
    const std::atomic<bool> stop = false;
    return groupSimilar(signatures, stop);
}

} // namespace

class TestSimilar : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data()
    {
        QTest::addColumn<QImage>("first");
        QTest::addColumn<QImage>("second");
        QTest::addColumn<bool>("same");
        const QImage photo = scene(7);
        const auto row = [&](const char *name, const QImage &other, bool same, const QImage &first = {}) {
            QTest::newRow(name) << (first.isNull() ? photo : first) << other << same;
        };
        row("quarter size", photo.scaled(120, 80, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), true);
        row("shared thumbnail of 128", photo.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation), true);
        row("jpeg quality 60", reloaded(photo, "JPG", 60), true);
        row("png of a jpeg", reloaded(reloaded(photo, "JPG", 90), "PNG", -1), true);
        row("brighter 10%", perPixel(photo, [](QColor c) { return c.lighter(110); }), true);
        const auto stretch = [](int v) { return qBound(0, 128 + (v - 128) * 11 / 10, 255); };
        row("more contrast", perPixel(photo, [&](QColor c) { return QColor(stretch(c.red()), stretch(c.green()), stretch(c.blue())); }), true);
        row("more saturated", perPixel(photo, [](QColor c) { return QColor::fromHsv(c.hsvHue(), qMin(255, c.hsvSaturation() * 11 / 10), c.value()); }), true);
        row("watermark", captioned(photo, {330, 290, 140, 20}, QColor(255, 255, 255, 90)), true);
        row("caption bar", captioned(photo, {0, 300, 480, 20}, Qt::black), true);
        row("another scene", scene(8), false);
        row("burst: shapes moved", scene(7, 45), false);
        row("burst: shapes moved 2%", scene(22, 10), false, scene(22)); // 6 coarse, 4 fine bits
        row("burst: shapes moved 3%", scene(26, 15), false, scene(26)); // 4 coarse, 6 fine bits
        const QImage panorama = scene(9, 0, {960, 320});
        row("two crops of a panorama", panorama.copy(480, 0, 480, 320), false, panorama.copy(0, 0, 480, 320));
        const auto sunset = [](int sunX) { // a violet-to-orange sky, a sun, a dark shore
            QImage image(480, 320, QImage::Format_RGB32);
            QPainter painter(&image);
            QLinearGradient sky(0, 0, 0, 320);
            sky.setStops({{0, QColor(70, 40, 120)}, {1, QColor(250, 150, 60)}});
            painter.fillRect(image.rect(), sky);
            painter.setBrush(QColor(255, 230, 150));
            painter.drawEllipse(QPoint(sunX, 200), 30, 30);
            painter.fillRect(0, 230, 480, 90, QColor(30, 20, 25));
            return image;
        };
        row("sunsets", sunset(360), false, sunset(100));
        QImage wall(480, 320, QImage::Format_RGB32);
        wall.fill(QColor(214, 200, 170));
        row("plain walls", perPixel(wall, [](QColor c) { return c.darker(101); }), false, wall);
    }
    void pictures()
    {
        QFETCH(QImage, first);
        QFETCH(QImage, second);
        QFETCH(bool, same);
        const auto a = signatureOf(first), b = signatureOf(second);
        QVERIFY(a && b);
        QCOMPARE(grouped({*a, *b}).size(), size_t(same));
    }

    // A file's signature is its picture's, with its size; too small or malformed: none.
    void files()
    {
        const TestTree t;
        const QImage photo = scene(3, 0, {1200, 800});
        QSize pixels;
        const auto read = signatureOfFile(t.make({"big.jpg"}, encoded(photo, "JPG")), &pixels);
        QVERIFY(read && showSamePicture(*read, *signatureOf(photo)));
        QCOMPARE(pixels, QSize(1200, 800));
        QVERIFY(!signatureOfFile(t.make({"not.jpg"}), &pixels));
        // Too small, or cache bytes that are malformed: no signature.
        QVERIFY(!signatureOf(QImage()));
        QVERIFY(!signatureOf(scene(1, 0, {200, signatureSourceSide - 1})));
        const PhotoSignature signature = *signatureOf(scene(1, 0, {200, signatureSourceSide}));
        QCOMPARE(signatureFromBytes(signatureBytes(signature)), signature);
        QCOMPARE(signatureFromBytes(signatureBytes({})), PhotoSignature{});
        const QByteArray bytes = signatureBytes(signature);
        for (const QByteArray &bad : QByteArrayList{{}, bytes.left(16), bytes + 'x', QByteArray(1, 2) + bytes.mid(1),
                                                    signatureBytes(flipped({0}))})
            QVERIFY(!signatureFromBytes(bad));
    }

    void grouping_data()
    {
        QTest::addColumn<std::vector<PhotoSignature>>("signatures");
        QTest::addColumn<Groups>("groups");
        const PhotoSignature base = flipped({});
        // Keys 0-3 are bits 0-15, 16-31, 32-47, 48-63; the next four pairs differ in every key.
        QTest::newRow("4 coarse bits, each key a bit off") << std::vector{base, flipped({0, 16, 33, 49})} << Groups{{0, 1}};
        QTest::newRow("6 coarse bits") << std::vector{base, flipped({0, 1, 16, 17, 32, 48})} << Groups{};
        QTest::newRow("4 fine bits") << std::vector{base, flipped({}, {0, 2, 4, 6})} << Groups{{0, 1}};
        QTest::newRow("6 fine bits") << std::vector{base, flipped({}, {0, 2, 4, 6, 8, 10})} << Groups{};
        // 0 ~ 2 ~ 4 although 0 and 4 are 8 bits apart; groups ordered by their first member.
        const PhotoSignature other{~base.coarse, base.fine}, near = flipped({0, 1, 16, 17}),
                             far = flipped({0, 1, 16, 17, 32, 33, 48, 49});
        QTest::newRow("transitive, ordered") << std::vector{base, other, near, other, far, base}
                                             << Groups{{0, 2, 4, 5}, {1, 3}};
    }
    void grouping()
    {
        QFETCH(std::vector<PhotoSignature>, signatures);
        QFETCH(Groups, groups);
        QCOMPARE(grouped(signatures), groups);
        QVERIFY(!showSamePicture({}, {}));
        const std::atomic<bool> stop = true;
        QCOMPARE(groupSimilar(signatures, stop), Groups{});
    }
};

QTEST_MAIN(TestSimilar)
#include "test_similar.moc"
