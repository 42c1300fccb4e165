#include "UiFakes.h"
#include "browse/Statistics.h"
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

class TestPhotoGrid : public QObject, WindowFixture
{
    Q_OBJECT

    QPoint cardPoint(int row, QPoint inCard) const { return vc->collectionView->visualRect(vc->gridModel()->index(row, 0)).topLeft() + inCard; }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The painted cards: picture, badges, type tag, and the selected look against the plain one,
    // at each density; a picture made for it fills its frame once, in its own quadrants.
    void cardsShowTheirPhotos_data()
    {
        QTest::addColumn<qreal>("ratio");
        for (const qreal ratio : {1.0, 1.5, 2.0})
            QTest::addRow("%g", ratio) << ratio;
    }
    void cardsShowTheirPhotos()
    {
        QFETCH(qreal, ratio);
        const auto near = [](QColor a, QColor b, int tolerance = 12) {
            return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())}) <= tolerance;
        };
        lib().duplicatePhotoIds = {0, 1}, lib().similarPhotoIds = {0, 2}, lib().bestPhotoIds = {PhotoId(0)}, lib().selectedPhotoIds = {PhotoId(1)};
        QImage picture(QSize(150, 150) * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, picture.width() / 2, picture.height() / 2, Qt::red);
        picture.setDevicePixelRatio(ratio);
        lib().thumbnailCache.insert(PhotoId(0), picture);
        addPhotos(3);
        QImage shot(vc->collectionView->viewport()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        shot.setDevicePixelRatio(ratio);
        shot.fill(Qt::white);
        vc->collectionView->viewport()->render(&shot);
        const auto pixel = [&](int row, QPoint inCard) { return shot.pixelColor(cardPoint(row, inCard) * ratio); };
        const QPoint badge = PhotoCard::badge().topLeft() + QPoint(4, 3);
        const QRect frame = PhotoCard::picture();
        for (const auto &[x, y, colour] : {std::tuple(0.3, 0.3, Qt::red), {0.45, 0.45, Qt::red}, {0.55, 0.2, Qt::blue}, {0.2, 0.97, Qt::blue}, {0.97, 0.5, Qt::blue}})
            QVERIFY(near(pixel(0, (frame.topLeft() + QPointF(x * frame.width(), y * frame.height())).toPoint()), colour));
        // Card 0 shows its badges, BEST under DUPLICATE, and green tag; card 1 a placeholder;
        // card 2 SIMILAR where a duplicate's badge would be.
        const QPoint below = PhotoCard::similarBadge(true).topLeft() + QPoint(4, 3);
        QVERIFY(!near(pixel(1, frame.center()), Qt::blue) && !near(pixel(1, frame.center()), Qt::red));
        QVERIFY(near(pixel(0, badge), Palette::systemOrange()) && near(pixel(2, badge), Palette::systemTeal()));
        QVERIFY(near(pixel(0, below), Palette::systemGreen()) && !near(pixel(1, below), Palette::systemGreen()) && !near(pixel(2, below), Palette::systemTeal()));
        QVERIFY(near(pixel(0, PhotoCard::typeTag().topLeft() + QPoint(3, 3)), Palette::systemGreen()));
        // Selected card 1: an accent border 3 wide and the accent at 0.08 over the grid; card 0 plain.
        QVERIFY(near(pixel(1, {1, 100}), Palette::controlAccent(), 30) && near(pixel(0, {1, 100}), Qt::white));
        QVERIFY(pixel(1, {5, 200}).blue() > pixel(1, {5, 200}).red() + 5 && near(pixel(0, {5, 200}), Qt::white));
    }

    // The bottom bar's buttons: a click is a press and a release, Space one too; the fill is
    // opaque whatever the colour's alpha, 0.8 while pressed, 0.5 disabled with a white title.
    void coloredButton()
    {
        ColoredButtonView button;
        button.setGeometry(0, 0, 130, 50);
        button.setColor(QColor(255, 0, 0, 128));
        button.setTitle(u"Delete"_s);
        int clicks = 0;
        button.onClick = [&] { ++clicks; };
        button.show();
        QImage fill(button.size(), QImage::Format_ARGB32_Premultiplied);
        const auto shown = [&](int alpha) { // the clicks so far, and whether the fill has that alpha
            fill.fill(Qt::transparent);
            button.render(&fill, {}, {}, QWidget::DrawChildren); // the fill alone
            return std::pair(clicks, fill.pixel(20, 10) == qPremultiply(qRgba(255, 0, 0, alpha)));
        };
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(shown(204), std::pair(0, true));
        QTest::mouseRelease(&button, Qt::LeftButton);
        QTest::keyClick(&button, Qt::Key_Space);
        QCOMPARE(shown(255), std::pair(2, true));
        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(shown(128), std::pair(2, true));
        QVERIFY(std::ranges::any_of(std::views::iota(30, 100), [&](int x) { return fill.pixel(x, 25) == qRgba(255, 255, 255, 255); }));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible->role() == QAccessible::Button && accessible->state().disabled && accessible->text(QAccessible::Name) == u"Delete");
    }

    // Each click on a box toggles it, a double click twice; a click is a press and a release
    // on the same box, and only a click on a card beside its box opens the preview, at that
    // card, with nothing selected in the grid's sense. Space and a screen reader's toggle act
    // on the box too; the statistics follow. Steps "<events> <row> <box|picture>", the events
    // sent in order: p press, r release, c click, d double click (the platform sends c d r;
    // after a click elsewhere only the d), k Space on the current card, a the toggle action.
    void checkboxClicks_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("selected"); // per card: 1 selected and checked, 0 neither
        QTest::addColumn<bool>("preview");
        QTest::newRow("click") << u"c 1 box"_s << u"010"_s << false;
        QTest::newRow("double click") << u"cdr 1 box"_s << u"000"_s << false;
        QTest::newRow("click, double click") << u"c 1 box, cdr 1 box"_s << u"010"_s << false;
        QTest::newRow("click on the card, then on its box") << u"c 1 picture, d 1 box"_s << u"010"_s << true;
        QTest::newRow("double click, click") << u"cdr 1 box, c 0 box"_s << u"100"_s << false;
        QTest::newRow("on the picture") << u"c 1 picture"_s << u"000"_s << true;
        QTest::newRow("double click on the picture") << u"cdr 1 picture"_s << u"000"_s << true;
        QTest::newRow("press on the card, release on its box") << u"p 1 picture, r 1 box"_s << u"000"_s << true;
        QTest::newRow("double click, press on the card, release on its box") << u"cdr 1 box, p 1 picture, r 1 box"_s << u"000"_s << true;
        QTest::newRow("press on the box, release on the card") << u"p 1 box, r 1 picture"_s << u"000"_s << false;
        QTest::newRow("press on one box, release on another") << u"p 1 box, r 2 box"_s << u"000"_s << false;
        QTest::newRow("Space, twice on another") << u"k 1 box, kk 2 box"_s << u"010"_s << false;
        QTest::newRow("screen reader, click") << u"a 0 box, c 2 box"_s << u"101"_s << false;
    }
    void checkboxClicks()
    {
        QFETCH(QString, steps);
        addPhotos(3);
        PhotoGridView *view = vc->collectionView;
        QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(view);
        QVERIFY(grid->role() == QAccessible::List && grid->childCount() == 3);
        view->setFocus();
        for (const QString &step : steps.split(u", "_s)) {
            const QStringList w = step.split(u' ');
            const QPoint at = cardPoint(w[1].toInt(), w[2] == u"box" ? PhotoCard::checkBox().center() : PhotoCard::picture().center());
            for (const QChar e : w[0])
                e == u'p' ? QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at)
                : e == u'r' ? QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at)
                : e == u'c' ? QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at)
                : e == u'd' ? QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at)
                : e == u'k' ? (view->setCurrentIndex(vc->gridModel()->index(w[1].toInt(), 0)), QTest::keyClick(view, Qt::Key_Space))
                            : grid->child(w[1].toInt())->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        }
        QString selected;
        for (int row = 0; row < 3; ++row)
            selected += checked(row) != lib().selectedPhotoIds.contains(PhotoId(row)) || checked(row) != grid->child(row)->state().checked ? u'?'
                        : checked(row) ? u'1' : u'0';
        QTEST(selected, "selected");
        QCOMPARE(vc->statsLabel->text(), statisticsLine(lib()));
        const bool preview = vc->previewController() && vc->previewController()->isVisible();
        QTEST(preview, "preview");
        QVERIFY(!preview || (vc->previewController()->currentIndex() == 1 && view->selectionModel()->selectedIndexes().isEmpty()));
        lib().bestPhotoIds = {PhotoId(0)};
        vc->applyFilters(); // a reload drops the old cards' interfaces
        QCOMPARE(grid->child(0)->text(QAccessible::Name) + u", "_s + grid->child(0)->text(QAccessible::Description), u"p0.jpg, JPG, 2.4 MB, BEST"_s);
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
        addPhotos(250, false, {{0, 1, 2}});
        vc->loadMoreClicked(); // the files do not exist: no pictures
        QCoreApplication::processEvents(); // lays the longer page out
        vc->collectionView->scrollToBottom();
        QCOMPARE(vc->collectionView->visibleRows().second, 200);
        QStringList types; // the picker's titles, in order
        for (int i = 0; i < vc->filterPicker->count(); ++i)
            types << vc->filterPicker->itemText(i);
        QCOMPARE(types.join(u' '), u"All Types JPEG PNG GIF HEIC TIFF BMP WebP"_s);
        QVERIFY(settledAfter([&] { vc->filterPicker->setCurrentIndex(2); })); // PNG
        QCOMPARE(vc->showingLabel->text() + u'|' + vc->statsLabel->text(), u"Showing 100 of 125 photos|Showing 100 of 125 photos | 300 MB"_s);
        // Typed, shortened and typed again: each step as a fresh filter would have it.
        QStringList counts;
        for (const QString &text : {u"p1"_s, u"p12"_s, u"p1"_s, u"P9"_s, u"X"_s, u"p1"_s}) {
            QVERIFY(settledAfter([&] { vc->searchField->setText(text); }));
            counts << QString::number(lib().filteredPhotos.size());
        }
        QCOMPARE(counts.join(u' '), u"56 5 56 6 0 56"_s); // odd numbers starting with the digits
        vc->filterPicker->setCurrentIndex(0);
        QPushButton *all = vc->viewModeButtons[0], *dups = vc->viewModeButtons[1];
        QVERIFY(settledAfter([&] { dups->click(); }));
        QVERIFY(settledAfter([&] { vc->keepOriginalsClicked(); }));
        QCOMPARE(vc->statsLabel->text(), u"2 selected (4.8 MB) | 1 total"_s); // the search still applies; which ones: test_fileactions
        vc->showSimilar();
        QVERIFY(lib().viewMode == ViewMode::similar && dups->isChecked() && vc->keepOriginalsButton->text() == u"Keep Best Only");
        QAccessibleInterface *similar = QAccessible::queryAccessibleInterface(vc->viewModeButtons[2]); // as a screen reader presses it
        similar->actionInterface()->doAction(similar->actionInterface()->actionNames().value(0));
        QVERIFY(similar->state().checked && !dups->isChecked() && similar->text(QAccessible::Name) == u"Similar");
        vc->showAllPhotos();
        QVERIFY(lib().viewMode == ViewMode::all && similar->state().checked && !all->isChecked() && vc->keepOriginalsButton->text() == u"Keep Originals Only");
        all->click();
        QVERIFY(all->isChecked() && !dups->isChecked() && !similar->state().checked);
    }

    // Cards name their folders where asked, the home folder as "~" (not a folder beside it).
    void folders()
    {
        const FilePath home = qgetenv("HOME");
        vc->gridModel()->reload({PhotoItem(1, home + "/P/b.jpg", "b.jpg", 1, {}, {}, {}), PhotoItem(2, home + "x/c.jpg", "c.jpg", 1, {}, {}, {})}, {}, {}, {}, true);
        const auto folder = [&](int row) { return vc->gridModel()->index(row, 0).data(PhotoGridModel::FolderRole).toString(); };
        QCOMPARE(folder(0) + u'|' + folder(1), u"~/P|"_s + QFile::decodeName(home + "x"));
    }

    // A real scan: the cards show when the walk ends, before any picture, and the pass's
    // marks when it ends; whatever page is shown gets its pictures, Load More its cards at
    // once. Stop pressed as the cards appear: no picture is begun and no pass follows.
    // Shared thumbnails that cannot be stored: one log line for the scan's pages.
    void scanAndLoadMore()
    {
        h->shared = std::make_unique<SharedThumbnails>(tree->make({"cache"}));
        vc = std::make_unique<MainViewController>(h->services());
        vc->show();
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
        chooseFolders({tree->path("p")});
        for (const QString &expected : {u"Found 132 photos 0|0 0|Stopped - 132 photos loaded Stopped by user"_s,
                                        u"Found 132 photos 0|50 99|Found 1 duplicate groups Finding similar photos: 132/132"_s}) {
            firstCards.clear();
            runToEnd([&] { vc->scanClicked(); });
            QCOMPARE(firstCards + u'|' + windUp + u'|' + vc->statusLabel->text() + u' ' + vc->progressLabel->text(), expected);
            stop = false;
        }
        QCOMPARE(h->sounds.played, (QList{SystemSound::basso, SystemSound::glass}));
        QCOMPARE(std::pair(shown(Qt::DecorationRole), shown(PhotoGridModel::DuplicateRole)), std::pair(99, 2));

        QSignalSpy repainted(vc->gridModel(), &QAbstractItemModel::dataChanged);
        vc->searchField->setText(u"x"_s); // the 32 in p/x, none of them on a page yet
        QTRY_VERIFY(!vc->thumbnailsPending());
        QCOMPARE(std::tuple(vc->gridModel()->rowCount(), shown(Qt::DecorationRole), vc->progressLabel->text(), repainted.isEmpty()),
                 std::tuple(32, 32, u"Finding similar photos: 132/132"_s, false));
        vc->searchField->clear(); // nothing to make: the pictures are kept, the broken file is known
        QVERIFY(!vc->thumbnailsPending());
        vc->loadMoreClicked();
        QCOMPARE(std::pair(int(lib().displayedPhotos.size()), shown(Qt::DecorationRole)), std::pair(132, 131));
        QTRY_VERIFY(!vc->thumbnailsPending());
        QCOMPARE(h->logLines.filter(u"Cannot write shared thumbnails: "_s + QFile::decodeName(tree->path("cache/normal: Not a directory"))).size(), 1);
    }
};

QTEST_MAIN(TestPhotoGrid)
#include "test_photogrid.moc"
