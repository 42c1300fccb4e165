#include "TestTree.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageFiles.h"
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

#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace ImageFiles;

namespace {

const QByteArrayList names = {"alpha.jpg", "b[*]ravo.jpg", "charlie.jpg", "delta.jpg",
                              "echo.jpg", "foxtrot.jpg", "golf.jpg", "hotel.jpg"};
const Timestamp modified{std::chrono::seconds(1'700'000'000)};

// `count` small JPEGs of 2.5 MB on record, ids 1, 2...; the file of `missing` is not made.
QList<PhotoItem> album(const TestTree &tree, int count, int missing = -1)
{
    QList<PhotoItem> photos;
    for (int i = 0; i < count; ++i) {
        if (i != missing)
            tree.make({names[i]}, encoded(bands({64, 48}, {QColor::fromHsv(i * 40, 255, 255)}), "jpg"));
        photos << PhotoItem(PhotoId(i + 1), tree.path(names[i]), names[i], 2'500'000, modified, modified, u"JPG"_s);
    }
    return photos;
}

// Stands in for the decoder: decoding a file named in `held` waits until it is released.
// (Standard locks, which ThreadSanitizer sees through, unlike Qt's wait condition.)
struct HeldDecodes
{
    std::mutex mutex;
    std::condition_variable released;
    QByteArrayList held, begun;

    QImage decode(const FilePath &path, QSize cover)
    {
        std::unique_lock lock(mutex);
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        begun << name;
        released.wait(lock, [&] { return !held.contains(name); });
        lock.unlock();
        return decodeImage(path, cover);
    }
    void hold(const QByteArrayList &files) { std::lock_guard lock(mutex); held << files; }
    void release(const QByteArrayList &files) { std::lock_guard lock(mutex); held.removeIf([&](const QByteArray &n) { return files.contains(n); }); released.notify_all(); }
    QByteArrayList begunByName() { std::lock_guard lock(mutex); QByteArrayList files = begun; std::sort(files.begin(), files.end()); return files; }
};

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

    TestTree tree;

private slots:
    // The preview steps with its buttons (n, p) and the arrow keys (R, L), never past the
    // ends; keys typed in another window stay there; Escape hides it, to be shown again.
    void navigation_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QList<int>>("navigated");
        QTest::newRow("nothing before the first") << 3 << 0 << u"pLpL"_s << QList<int>{};
        QTest::newRow("back and forth") << 5 << 1 << u"nRnpL"_s << QList<int>{2, 3, 4, 3, 2};
        QTest::newRow("nothing after the last") << 3 << 0 << u"RRRRn"_s << QList<int>{1, 2};
    }
    void navigation()
    {
        QFETCH(int, count);
        QFETCH(int, start);
        QFETCH(QString, presses);
        QFETCH(QList<int>, navigated);
        const auto activate = [](QWidget *window) { window->show(), window->activateWindow(); return QTest::qWaitForWindowActive(window); };
        const QList<PhotoItem> photos = album(tree, count);
        PreviewWindowController preview(photos[start], photos, start);
        QList<int> told;
        preview.onNavigate = [&](int i) { told << i; };
        QVERIFY(activate(&preview));
        for (const QChar press : presses)
            press.isLower() ? QTest::mouseClick(press == u'n' ? preview.nextButton : preview.previousButton, Qt::LeftButton)
                            : QTest::keyClick(&preview, press == u'R' ? Qt::Key_Right : Qt::Key_Left);
        QCOMPARE(told, navigated);
        const int index = navigated.value(navigated.size() - 1, start);
        QVERIFY(preview.currentIndex() == index && preview.infoLabel->text().endsWith(u"  |  %1 of %2"_s.arg(index + 1).arg(count)));
        QCOMPARE(preview.windowHandle()->title(), QString::fromUtf8(names[index])); // "[*]" included

        QLineEdit other(u"abc"_s);
        QVERIFY(activate(&other));
        for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_Escape})
            QTest::keyClick(&other, key);
        QVERIFY(preview.currentIndex() == index && preview.isVisible() && other.cursorPosition() == 3);
        QVERIFY(activate(&preview));
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible() && !preview.testAttribute(Qt::WA_DeleteOnClose)); // hidden, to be shown again
    }

    // A big photo turned by its EXIF orientation: upright, decoded reduced to the window,
    // fitted and centred, and sharper once the window grows.
    void photoAndLayout()
    {
        const PhotoItem photo(PhotoId(100), tree.make({"turned.jpg"}, withOrientation(bands({2000, 1200}, {Qt::red, Qt::green}), "jpg", 6)), "turned.jpg",
                              2'500'000, modified, modified, u"JPG"_s);
        PreviewWindowController preview(photo, {photo, photo}, 1);
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        preview.show();
        QCOMPARE(preview.infoLabel->text(), u"turned.jpg  |  2.5 MB  |  "_s + formatMediumDateShortTime(modified) + u"  |  2 of 2"_s);
        const auto *view = preview.imageView;
        QTRY_COMPARE(shown.count(), 1);
        const QImage image = view->pixmap().toImage();
        QCOMPARE(std::pair(view->pictureRect(), image.size()), std::pair(QRectF(240, 0, 420, 700), QSize(420, 700)));
        // The left (red) band of the stored picture is on top once it is turned.
        const auto primary = [&](int y) { return (image.pixelColor(210, y).hue() + 60) % 360 / 120; }; // 0 red, 1 green
        QVERIFY(primary(50) == 0 && primary(650) == 1 && QAccessible::queryAccessibleInterface(preview.imageView)->text(QAccessible::Name) == u"turned.jpg"_s);

        preview.resize(1200, 1400);
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(std::pair(view->pictureRect(), view->pixmap().size()), std::pair(QRectF(180, 0, 840, 1400), QSize(840, 1400)));
        // The buttons stay in the top corners, the caption stretches along the bottom.
        QCOMPARE(preview.infoLabel->geometry().united(preview.nextButton->geometry()), QRect(20, 20, 1160, 1360));
        preview.resize(400, 300);
        QCOMPARE(preview.infoLabel->geometry().united(preview.nextButton->geometry()), QRect(20, 20, 360, 260));
    }

    // Until the current photo's picture is ready the window shows none, never the previous
    // photo's. A newer photo overtakes decodes nobody waits for (three at most at once), and
    // those stepped over meanwhile are not decoded. A file that is gone shows no picture
    // until it is back. A window grown during a decode asks again, larger.
    void decoding()
    {
        HeldDecodes decodes;
        decodes.hold({"charlie.jpg", "delta.jpg", "echo.jpg"});
        const QList<PhotoItem> photos = album(tree, 8, 6);
        PreviewWindowController preview(photos[0], photos, 0);
        const auto release = qScopeGuard([&] { decodes.release(QByteArrayList(decodes.held)); });
        QSignalSpy shown(&preview, &PreviewWindowController::imageShown);
        const auto shownIds = [&] { QList<PhotoId> ids; for (const QList<QVariant> &args : shown) ids << args[0].value<PhotoId>(); return ids; };
        auto *view = preview.imageView;
        QTRY_VERIFY(preview.loader().isIdle()); // alpha shown, bravo decoded ahead
        preview.loader().decode = [&](const FilePath &path, QSize cover) { return decodes.decode(path, cover); };
        preview.nextPhoto(); // bravo at once; charlie decoded ahead
        for (int i = 0; i < 6; ++i)
            preview.nextPhoto();
        QVERIFY(preview.infoLabel->text().startsWith(u"hotel.jpg  |  "_s) && view->pixmap().isNull() && view->text() == u"Loading..."_s);
        QTRY_COMPARE(decodes.begunByName(), (QByteArrayList{"charlie.jpg", "delta.jpg", "echo.jpg"}));
        decodes.release({"echo.jpg"});
        QTRY_COMPARE(shownIds(), (QList<PhotoId>{PhotoId(1), PhotoId(2), PhotoId(8)}));
        QCOMPARE(decodes.begunByName(), (QByteArrayList{"charlie.jpg", "delta.jpg", "echo.jpg", "hotel.jpg"})); // two still held
        preview.previousPhoto(); // golf
        QTRY_COMPARE(view->text(), u"This photo cannot be shown"_s);
        QImage black = view->grab().toImage();
        black.fill(Qt::black);
        QVERIFY(view->pixmap().isNull() && view->grab().toImage() != black); // the words are drawn

        tree.make({names[6]}, encoded(bands({64, 48}, {Qt::gray}), "jpg"));
        preview.nextPhoto(); // hotel, cached
        preview.previousPhoto();
        QTRY_COMPARE(shownIds(), (QList<PhotoId>{PhotoId(1), PhotoId(2), PhotoId(8), PhotoId(8), PhotoId(7)}));

        decodes.release({"charlie.jpg", "delta.jpg"});
        decodes.hold({"alpha.jpg"});
        preview.reopen(photos[0], photos, 0);
        preview.show();
        preview.resize(1200, 1400);
        QTRY_COMPARE(decodes.begunByName().count("alpha.jpg"), 2);
        decodes.release({"alpha.jpg"});
        QTRY_COMPARE(decodes.begunByName().count(names[1]), 1); // bravo, decoded ahead once alpha is in
        QCOMPARE(shownIds().mid(5), QList<PhotoId>{PhotoId(1)});
    }
};

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
