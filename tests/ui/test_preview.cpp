#include "TestImages.h"
#include "TestTree.h"
#include "platform/Formatters.h"
#include "ui/PreviewImageView.h"
#include "ui/PreviewWindowController.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace TestImages;

namespace {

const QByteArrayList names = {"alpha.jpg", "b[*]ravo.jpg", "charlie.jpg", "delta.jpg", "echo.jpg",
                              "foxtrot.jpg", "golf.jpg", "hotel.jpg"};
const Timestamp modified{std::chrono::seconds(1'700'000'000)};

// `count` small JPEGs, each its own colour; the names listed in `missing` have no file.
QList<PhotoItem> album(const TestTree &tree, int count, const QByteArrayList &missing = {})
{
    QList<PhotoItem> photos;
    for (int i = 0; i < count; ++i) {
        const FilePath path = tree.path(names[i]);
        if (!missing.contains(names[i]))
            tree.make({names[i]}, encoded(bands({64, 48}, {QColor::fromHsv(i * 40, 255, 255)}), "jpg"));
        photos << PhotoItem(u"P%1"_s.arg(i), path, names[i], 2'500'000, modified, modified, u"JPG"_s);
    }
    return photos;
}

QStringList shownIds(const QSignalSpy &spy)
{
    QStringList ids;
    for (const QList<QVariant> &args : spy)
        ids << args[0].toString();
    return ids;
}

void activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
}

QPixmap picture(const PreviewWindowController &preview)
{
    return static_cast<PreviewImageView *>(preview.imageView)->pixmap();
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    // n/p click "Next ▶" / "◀ Previous", R/L type the arrow keys.
    void navigation_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("presses");
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<int>>("navigated");
        QTest::newRow("nothing before the first") << 3 << 0 << u"pLpL"_s << 0 << QList<int>{};
        QTest::newRow("nothing after the last") << 3 << 2 << u"nRnR"_s << 2 << QList<int>{};
        QTest::newRow("one photo") << 1 << 0 << u"npRL"_s << 0 << QList<int>{};
        QTest::newRow("back and forth") << 5 << 1 << u"nRnpL"_s << 2 << QList<int>{2, 3, 4, 3, 2};
        QTest::newRow("stops at the end") << 3 << 0 << u"RRRRn"_s << 2 << QList<int>{1, 2};
    }

    void navigation()
    {
        QFETCH(int, count);
        QFETCH(int, start);
        QFETCH(QString, presses);
        QFETCH(int, index);
        QFETCH(QList<int>, navigated);
        TestTree tree;
        const QList<PhotoItem> photos = album(tree, count);
        PreviewWindowController preview(photos[start], photos, start);
        QList<int> told;
        preview.onNavigate = [&](int i) { told << i; };
        activate(&preview);
        for (const QChar press : presses) {
            if (press == u'n' || press == u'p')
                QTest::mouseClick(press == u'n' ? preview.nextButton : preview.previousButton, Qt::LeftButton);
            else
                QTest::keyClick(&preview, press == u'R' ? Qt::Key_Right : Qt::Key_Left);
        }
        QCOMPARE(preview.currentIndex(), index);
        QCOMPARE(preview.currentPhoto().id(), photos[index].id());
        QCOMPARE(told, navigated);
        QVERIFY(preview.infoLabel->text().endsWith(u"  |  %1 of %2"_s.arg(index + 1).arg(count)));
        // The title is the name as it is, "[*]" included.
        QCOMPARE(preview.windowHandle()->title(), QString::fromUtf8(names[index]));
    }

    void captionAndLayout()
    {
        TestTree tree;
        const QList<PhotoItem> photos = album(tree, 3);
        PreviewWindowController preview(photos[1], photos, 1);
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        preview.show();
        QCOMPARE(preview.infoLabel->text(),
                 u"b[*]ravo.jpg  |  2.5 MB  |  "_s + formatMediumDateShortTime(modified) + u"  |  2 of 3"_s);
        QVERIFY(!preview.testAttribute(Qt::WA_DeleteOnClose));

        const auto frames = [&] {
            return QList<QRect>{preview.imageView->geometry(), preview.infoLabel->geometry(),
                                preview.previousButton->geometry(), preview.nextButton->geometry()};
        };
        QCOMPARE(preview.size(), QSize(900, 700));
        QCOMPARE(frames(), (QList<QRect>{{0, 0, 900, 700}, {20, 630, 860, 50}, {20, 20, 100, 30}, {780, 20, 100, 30}}));
        // Buttons stay in the top corners; the caption keeps its distance from the top and
        // its margins at the sides.
        preview.resize(1200, 900);
        QCOMPARE(frames(), (QList<QRect>{{0, 0, 1200, 900}, {20, 630, 1160, 50}, {20, 20, 100, 30}, {1080, 20, 100, 30}}));
        // The 4:3 picture fills the height and is centred.
        QTRY_COMPARE(shown.count(), 1);
        const auto *view = static_cast<PreviewImageView *>(preview.imageView);
        QCOMPARE(view->pictureRect(), QRectF(0, 0, 1200, 900));
        preview.resize(1000, 600);
        QCOMPARE(view->pictureRect(), QRectF(100, 0, 800, 600));
    }

    // A big photo turned by its EXIF orientation: upright, decoded reduced to the window,
    // and sharper once the window grows.
    void exifRotatedPhoto()
    {
        TestTree tree;
        const FilePath path = tree.make({"turned.jpg"}, jpegWithOrientation(bands({2000, 1200}, {Qt::red, Qt::green}), 6));
        const PhotoItem photo(u"T"_s, path, "turned.jpg", 1, modified, modified, u"JPG"_s);
        PreviewWindowController preview(photo, {photo}, 0);
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        preview.show();
        QTRY_COMPARE(shown.count(), 1);
        const QImage image = picture(preview).toImage();
        QCOMPARE(image.size(), QSize(420, 700));
        // The left (red) band of the stored picture is on top once it is turned.
        const auto primary = [&](int y) { return (image.pixelColor(210, y).hue() + 60) % 360 / 120; }; // 0 red, 1 green
        QCOMPARE(QList<int>({primary(50), primary(650)}), QList<int>({0, 1}));

        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(preview.imageView);
        QCOMPARE(accessible->role(), QAccessible::Graphic);
        QCOMPARE(accessible->text(QAccessible::Name), u"turned.jpg"_s);

        preview.resize(900, 1400);
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(picture(preview).size(), QSize(840, 1400));
    }

    void unreadableFileKeepsThePicture()
    {
        TestTree tree;
        const QList<PhotoItem> photos = album(tree, 2, {names[1]});
        PreviewWindowController preview(photos[0], photos, 0);
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        preview.show();
        QTRY_COMPARE(shown.count(), 1);
        const qint64 before = picture(preview).cacheKey();
        preview.nextPhoto();
        QCOMPARE(preview.windowTitle(), u"b[*][*]ravo.jpg"_s);
        QVERIFY(preview.infoLabel->text().startsWith(u"b[*]ravo.jpg  |  "_s));
        QTRY_VERIFY(preview.loader().isIdle());
        QCOMPARE(shown.count(), 1);
        QCOMPARE(picture(preview).cacheKey(), before);
    }

    // Stepping faster than decoding: only the last photo is shown, and what was asked
    // for in between is never decoded.
    void staleDecodesDropped()
    {
        TestTree tree;
        const QList<PhotoItem> photos = album(tree, 8);
        PreviewWindowController preview(photos[0], photos, 0);
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        for (int i = 0; i < 7; ++i)
            preview.nextPhoto();
        QTRY_VERIFY(preview.loader().isIdle());
        QCOMPARE(shownIds(shown), QStringList{u"P7"_s});
        // The first photo, then the last and the one before it, decoded ahead.
        QVERIFY2(preview.loader().decodesStarted() <= 3, qPrintable(QString::number(preview.loader().decodesStarted())));
        // Back to a photo decoded ahead: shown at once from the cache.
        preview.previousPhoto();
        QCOMPARE(shownIds(shown), (QStringList{u"P7"_s, u"P6"_s}));
    }

    void keysOnlyWhileActive()
    {
        TestTree tree;
        const QList<PhotoItem> photos = album(tree, 3);
        PreviewWindowController preview(photos[1], photos, 1);
        preview.show();
        QLineEdit other(u"abc"_s);
        activate(&other);
        QVERIFY(!preview.isActiveWindow());
        for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_Escape})
            QTest::keyClick(&other, key);
        QCOMPARE(preview.currentIndex(), 1);
        QVERIFY(preview.isVisible());
        QCOMPARE(other.cursorPosition(), 3); // the arrows reached the other window

        activate(&preview);
        QTest::keyClick(&preview, Qt::Key_Right);
        QCOMPARE(preview.currentIndex(), 2);
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible()); // hidden, still there to be shown again
    }
};

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
