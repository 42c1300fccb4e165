#include "UiFakes.h"
#include "ui/ColoredButtonView.h"
#include "ui/Palette.h"
#include "ui/PhotoCardDelegate.h"
#include "ui/PhotoGridView.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <ranges>

using namespace Qt::StringLiterals;

namespace {

PhotoItem photo(int id, const QString &type = u"JPG"_s, const QByteArray &name = {})
{
    const QByteArray n = name.isEmpty() ? "p" + QByteArray::number(id) + ".jpg" : name;
    return PhotoItem(PhotoId(id), "/nowhere/" + n, n, 2'400'000, {}, {}, type);
}

bool near(QColor a, QColor b, int tolerance = 12)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())}) <= tolerance;
}

} // namespace

class TestPhotoGrid : public QObject, WindowFixture
{
    Q_OBJECT

    QPoint cardPoint(int row, QPoint inCard) const { return vc->collectionView->visualRect(vc->gridModel()->index(row, 0)).topLeft() + inCard; }
    void showPhotos(int count)
    {
        for (int i = 0; i < count; ++i)
            lib().allPhotos << photo(i);
        vc->applyFilters();
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The painted cards: picture, badge, type tag, and the selected look against the plain one,
    // at each density; a picture made for it fills its frame once, in its own quadrants.
    void cardsShowTheirPhotos_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1") << 1.0;
        QTest::newRow("1.5") << 1.5;
        QTest::newRow("2") << 2.0;
    }
    void cardsShowTheirPhotos()
    {
        QFETCH(qreal, ratio);
        lib().allPhotos = {photo(0, u"jpeg"_s), photo(1), photo(2)};
        lib().duplicatePhotoIds = {PhotoId(0), PhotoId(1)};
        lib().selectedPhotoIds = {PhotoId(1)};
        QImage picture(QSize(150, 150) * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, picture.width() / 2, picture.height() / 2, Qt::red);
        picture.setDevicePixelRatio(ratio);
        lib().thumbnailCache.insert(PhotoId(0), picture);
        vc->applyFilters();
        QImage shot(vc->collectionView->viewport()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        shot.setDevicePixelRatio(ratio);
        shot.fill(Qt::white);
        vc->collectionView->viewport()->render(&shot);
        const auto pixel = [&](int row, QPoint inCard) { return shot.pixelColor(cardPoint(row, inCard) * ratio); };
        const QPoint badge = PhotoCard::badge().topLeft() + QPoint(4, 3);
        const QRect frame = PhotoCard::picture();
        for (const auto &[x, y, colour] : {std::tuple(0.3, 0.3, Qt::red), {0.45, 0.45, Qt::red}, {0.55, 0.2, Qt::blue}, {0.2, 0.97, Qt::blue}, {0.97, 0.5, Qt::blue}})
            QVERIFY(near(pixel(0, (frame.topLeft() + QPointF(x * frame.width(), y * frame.height())).toPoint()), colour));
        // Card 0 shows its badge and green tag; card 1 a placeholder; card 2 no badge.
        QVERIFY(!near(pixel(1, frame.center()), Qt::blue) && !near(pixel(1, frame.center()), Qt::red));
        QVERIFY(near(pixel(0, badge), Palette::systemOrange()) && !near(pixel(2, badge), Palette::systemOrange()));
        QVERIFY(near(pixel(0, PhotoCard::typeTag().topLeft() + QPoint(3, 3)), Palette::systemGreen()));
        // Selected card 1: an accent border 3 wide and the accent at 0.08 over the grid; card 0 plain.
        QVERIFY(near(pixel(1, {1, 100}), Palette::controlAccent(), 30) && near(pixel(0, {1, 100}), Qt::white));
        QVERIFY(pixel(1, {5, 200}).blue() > pixel(1, {5, 200}).red() + 5 && near(pixel(0, {5, 200}), Qt::white));
    }

    // The bottom bar's buttons: a click is a press and a release inside; the fill is opaque
    // whatever the colour's alpha, 0.8 while pressed, 0.5 disabled with a white title; disabled
    // during a press, nothing fires. Steps: p press, r release, m move (i inside, o outside),
    // x disable, e enable, k Space.
    void coloredButton_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("alpha"); // of the fill afterwards
        QTest::newRow("pressed") << u"pi"_s << 0 << 204;
        QTest::newRow("click") << u"pi ri"_s << 1 << 255;
        QTest::newRow("released outside") << u"pi mo ro"_s << 0 << 255;
        QTest::newRow("disabled") << u"x pi ri"_s << 0 << 128;
        QTest::newRow("disabled during a press") << u"pi x ri e"_s << 0 << 255;
        QTest::newRow("Space") << u"k"_s << 1 << 255;
    }
    void coloredButton()
    {
        QFETCH(QString, steps);
        QFETCH(int, alpha);
        ColoredButtonView button;
        button.setGeometry(0, 0, 130, 50);
        button.setColor(QColor(255, 0, 0, 128));
        button.setTitle(u"Delete"_s);
        int clicks = 0;
        button.onClick = [&] { ++clicks; };
        button.show();
        button.setFocus();
        for (const QString &step : steps.split(u' ')) {
            const QPoint at = step.endsWith(u'o') ? QPoint(200, 25) : QPoint(60, 25);
            step[0] == u'p' ? QTest::mousePress(&button, Qt::LeftButton, {}, at)
            : step[0] == u'r' ? QTest::mouseRelease(&button, Qt::LeftButton, {}, at)
            : step[0] == u'm' ? QTest::mouseMove(&button, at)
            : step[0] == u'k' ? QTest::keyClick(&button, Qt::Key_Space)
                              : button.setEnabled(step[0] == u'e');
        }
        QImage fill(button.size(), QImage::Format_ARGB32_Premultiplied);
        fill.fill(Qt::transparent);
        button.render(&fill, {}, {}, QWidget::DrawChildren); // the fill alone
        QTEST(clicks, "clicks");
        QCOMPARE(fill.pixel(20, 10), qPremultiply(qRgba(255, 0, 0, alpha)));
        if (button.isEnabled())
            return;
        QVERIFY(std::ranges::any_of(std::views::iota(30, 100), [&](int x) { return fill.pixel(x, 25) == qRgba(255, 255, 255, 255); }));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible->role() == QAccessible::Button && accessible->state().disabled && accessible->text(QAccessible::Name) == u"Delete");
    }

    // The statistics and buttons follow a checkbox; Space and screen readers toggle too.
    void checkboxSelects()
    {
        showPhotos(3);
        const QString unselected = vc->statsLabel->text();
        vc->collectionView->setFocus();
        vc->collectionView->setCurrentIndex(vc->gridModel()->index(1, 0));
        QTest::keyClick(vc->collectionView, Qt::Key_Space);
        QCOMPARE(std::pair(lib().selectedPhotoIds, vc->statsLabel->text()), std::pair(PhotoIdSet{1}, u"1 selected (2.4 MB) | 3 total"_s));
        QTRY_VERIFY(vc->deselectAllButton->isEnabled());
        vc->gridModel()->setData(vc->gridModel()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(vc->statsLabel->text(), unselected);

        QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(vc->collectionView);
        QVERIFY(grid->role() == QAccessible::List && grid->childCount() == 3);
        QAccessibleInterface *card = grid->child(0);
        QCOMPARE(card->text(QAccessible::Name) + u", "_s + card->text(QAccessible::Description), u"p0.jpg, JPG, 2.4 MB"_s);
        card->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(lib().selectedPhotoIds.contains(PhotoId(0)) && card->state().checked);
        vc->applyFilters(); // a reload drops the old cards' interfaces
        QCOMPARE(grid->child(0)->text(QAccessible::Name), u"p0.jpg"_s);
    }

    // Each click on a box toggles it, a double click twice; a click is a press and a release
    // on the same box. Steps "<events> <row> <box|picture>", the events sent in order:
    // p press, r release, c click, d double click (the platform sends c d r; after a click
    // elsewhere only the d).
    void checkboxClicks_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("selected"); // per card: 1 selected and checked, 0 neither
        QTest::addColumn<bool>("preview"); // opened: only by a click on a card beside its box
        QTest::newRow("click") << u"c 1 box"_s << u"010"_s << false;
        QTest::newRow("double click") << u"cdr 1 box"_s << u"000"_s << false;
        QTest::newRow("click, double click") << u"c 1 box, cdr 1 box"_s << u"010"_s << false;
        QTest::newRow("click on the card, then on its box") << u"c 1 picture, d 1 box"_s << u"010"_s << true;
        QTest::newRow("double click, click") << u"cdr 1 box, c 0 box"_s << u"100"_s << false;
        QTest::newRow("on the picture") << u"c 1 picture"_s << u"000"_s << true;
        QTest::newRow("press on the card, release on its box") << u"p 1 picture, r 1 box"_s << u"000"_s << true;
        QTest::newRow("double click, press on the card, release on its box") << u"cdr 1 box, p 1 picture, r 1 box"_s << u"000"_s << true;
        QTest::newRow("press on the box, release on the card") << u"p 1 box, r 1 picture"_s << u"000"_s << false;
        QTest::newRow("press on one box, release on another") << u"p 1 box, r 2 box"_s << u"000"_s << false;
    }
    void checkboxClicks()
    {
        QFETCH(QString, steps);
        showPhotos(3);
        QWidget *viewport = vc->collectionView->viewport();
        for (const QString &step : steps.split(u", "_s)) {
            const QStringList w = step.split(u' ');
            const QPoint at = cardPoint(w[1].toInt(), w[2] == u"box" ? PhotoCard::checkBox().center() : PhotoCard::picture().center());
            for (const QChar e : w[0])
                e == u'p' ? QTest::mousePress(viewport, Qt::LeftButton, {}, at)
                : e == u'r' ? QTest::mouseRelease(viewport, Qt::LeftButton, {}, at)
                : e == u'c' ? QTest::mouseClick(viewport, Qt::LeftButton, {}, at)
                            : QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        }
        QString selected;
        for (int row = 0; row < 3; ++row)
            selected += checked(row) != lib().selectedPhotoIds.contains(PhotoId(row)) ? u'?' : checked(row) ? u'1' : u'0';
        QTEST(selected, "selected");
        QTEST(vc->previewController() && vc->previewController()->isVisible(), "preview");
    }

    // Every filter change returns to the first page of the new list; the mode buttons
    // switch the grid and their highlight, the menu only the grid.
    void filterControls_data()
    {
        QTest::addColumn<bool>("background");
        QTest::newRow("on the GUI thread") << false;
        QTest::newRow("on a worker, narrowing") << true; // as a large library is
    }
    void filterControls()
    {
        QFETCH(bool, background);
        vc->backgroundFrom = background ? 0 : 1'000'000;
        const auto settledAfter = [&](auto step) { step(); return QTest::qWaitFor([&] { return !vc->backgroundPending(); }); };
        for (int i = 0; i < 250; ++i)
            lib().allPhotos << photo(i, i % 2 ? u"PNG"_s : u"JPG"_s, "IMG_" + QByteArray::number(i));
        lib().duplicatePhotoIds = {PhotoId(0), PhotoId(1), PhotoId(2)};
        lib().duplicateGroups = {DuplicateGroup{{}, {lib().allPhotos[0], lib().allPhotos[1], lib().allPhotos[2]}}};
        vc->applyFilters();
        vc->loadMoreClicked();
        QCOMPARE(lib().displayedPhotos.size(), 200); // the files do not exist: no pictures
        QCoreApplication::processEvents(); // lays the longer page out
        vc->collectionView->scrollToBottom();
        QCOMPARE(vc->collectionView->visibleRows().second, 200);
        QVERIFY(settledAfter([&] { vc->filterPicker->setCurrentIndex(2); })); // PNG
        QCOMPARE(vc->showingLabel->text() + u'|' + vc->statsLabel->text(), u"Showing 100 of 125 photos|Showing 100 of 125 photos | 300 MB"_s);
        // Typed, shortened and typed again: each step as a fresh filter would have it.
        QStringList counts;
        for (const QString &text : {u"IMG_1"_s, u"IMG_12"_s, u"IMG_1"_s, u"img_9"_s, u"X"_s, u"IMG_1"_s}) {
            QVERIFY(settledAfter([&] { vc->searchField->setText(text); }));
            counts << QString::number(lib().filteredPhotos.size());
        }
        QCOMPARE(counts.join(u' '), u"56 5 56 6 0 56"_s); // odd numbers starting with the digits
        vc->filterPicker->setCurrentIndex(0);
        QPushButton *all = vc->viewModeButtons[0], *dups = vc->viewModeButtons[1];
        QVERIFY(settledAfter([&] { dups->click(); }));
        QCOMPARE(lib().displayedPhotos.size(), 1); // the search still applies
        QVERIFY(settledAfter([&] { vc->keepOriginalsClicked(); }));
        QCOMPARE(vc->statsLabel->text(), u"2 selected (4.8 MB) | 1 total"_s); // which ones: test_fileactions
        vc->showAllPhotos();
        QVERIFY(lib().viewMode == ViewMode::all && dups->isChecked() && !all->isChecked());
        all->click();
        QVERIFY(all->isChecked() && !dups->isChecked());
    }

    // A real scan: the cards show when the walk ends, before any picture, and the pass's
    // marks when it ends; whatever page is shown gets its pictures, Load More its cards at
    // once. Stop pressed as the cards appear: no picture is begun and no pass follows.
    void scanAndLoadMore()
    {
        for (int i = 0; i < 130; ++i) { // the subfolder's 100 come first: the first page
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i, 200, 200));
            QVERIFY(image.save(QFile::decodeName(tree->make({(i < 98 ? "p/a/" : "p/x") + QByteArray::number(1000 + i) + ".png"}))));
        }
        QFile::copy(QFile::decodeName(tree->path("p/a/1000.png")), QFile::decodeName(tree->path("p/a/copy.png")));
        tree->make({"p/a/broken.png"}, "no picture");
        const auto shown = [&](int role) {
            return int(std::ranges::count_if(std::views::iota(0, vc->gridModel()->rowCount()), [&](int row) {
                const QVariant value = vc->gridModel()->index(row, 0).data(role);
                return value.typeId() == QMetaType::QImage || value.toBool();
            }));
        };
        QObject scope;
        bool stop = true;
        QString firstCards, windUp; // the status and pictures then; the bar and pictures at the end's sound
        connect(vc->gridModel(), &QAbstractItemModel::modelReset, &scope, [&] {
            if (!firstCards.isEmpty() || vc->gridModel()->rowCount() == 0)
                return;
            firstCards = vc->statusLabel->text() + u' ' + QString::number(lib().thumbnailCache.size());
            if (stop)
                vc->stopClicked();
        });
        h->sounds.heard = [&] { windUp = QString::number(vc->progressBar->value()) + u' ' + QString::number(lib().thumbnailCache.size()); };
        h->dialogs.folderAnswers.push_back({tree->path("p")});
        vc->selectFolderClicked();
        for (const QString &expected : {u"Found 132 photos 0|0 0|Stopped - 132 photos loaded"_s, u"Found 132 photos 0|50 99|Found 1 duplicate groups"_s}) {
            firstCards.clear();
            runToEnd([&] { vc->scanClicked(); });
            QCOMPARE(firstCards + u'|' + windUp + u'|' + vc->statusLabel->text(), expected);
            stop = false;
        }
        QCOMPARE(std::pair(shown(Qt::DecorationRole), shown(PhotoGridModel::DuplicateRole)), std::pair(99, 2));

        QSignalSpy repainted(vc->gridModel(), &QAbstractItemModel::dataChanged);
        vc->searchField->setText(u"x"_s); // none of these was on a page yet
        QCOMPARE(lib().displayedPhotos.size(), 32);
        QTRY_VERIFY(!vc->thumbnailsPending());
        QCOMPARE(std::pair(shown(Qt::DecorationRole), vc->progressLabel->text()), std::pair(32, u"Finding duplicates: 132/132"_s));
        QVERIFY(!repainted.isEmpty());
        vc->searchField->clear(); // nothing to make: the pictures are kept, the broken file is known
        QVERIFY(!vc->thumbnailsPending());
        vc->loadMoreClicked();
        QCOMPARE(std::pair(int(lib().displayedPhotos.size()), shown(Qt::DecorationRole)), std::pair(132, 131));
    }
};

QTEST_MAIN(TestPhotoGrid)
#include "test_photogrid.moc"
