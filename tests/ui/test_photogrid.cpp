#include "TestTree.h"
#include "UiFakes.h"
#include "ui/Palette.h"
#include "ui/PhotoCardDelegate.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

PhotoItem photo(const QString &id, const QByteArray &name, const QString &type, qint64 size = 2'400'000)
{
    return PhotoItem(id, "/nowhere/" + name, name, size, {}, {}, type);
}

QImage solid(QColor color)
{
    QImage image(150, 150, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

bool near(QColor a, QColor b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestPhotoGrid : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> h;
    std::unique_ptr<MainViewController> vc;

    LibraryState &lib() { return vc->library(); }
    QPoint cardPoint(int row, QPoint inCard) const
    {
        return vc->collectionView->visualRect(vc->gridModel()->index(row, 0)).topLeft() + inCard;
    }
    QColor pixel(const QImage &shot, int row, QPoint inCard) const
    {
        return shot.pixelColor(cardPoint(row, inCard) * shot.devicePixelRatio());
    }
    void waitForScanEnd()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!h->sounds.played.isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!vc->statusLabel->text().startsWith(u"Finding duplicates"_s), 10000);
    }

private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        vc = std::make_unique<MainViewController>(h->services());
        vc->show();
    }
    void cleanup()
    {
        vc.reset();
        h.reset();
    }

    void cardsShowTheirPhotos()
    {
        lib().allPhotos = {photo(u"a"_s, "sunset.jpg", u"jpeg"_s), photo(u"b"_s, "beach.png", u"PNG"_s),
                           photo(u"c"_s, "a.gif", u"GIF"_s),        photo(u"d"_s, "phone.heif", u"HEIF"_s),
                           photo(u"e"_s, "scan.tif", u"TIF"_s),     photo(u"f"_s, "web.webp", u"WEBP"_s)};
        lib().duplicatePhotoIds = {u"a"_s, u"b"_s};
        lib().selectedPhotoIds = {u"b"_s};
        lib().thumbnailCache.insert(u"a"_s, solid(Qt::red));
        vc->applyFilters();

        const PhotoGridModel *m = vc->gridModel();
        QCOMPARE(m->rowCount(), 6);
        const auto role = [&](int row, int r) { return m->index(row, 0).data(r); };
        QCOMPARE(role(0, Qt::DisplayRole).toString(), u"sunset.jpg"_s);
        QCOMPARE(role(0, PhotoGridModel::SizeTextRole).toString(), u"2.4 MB"_s);
        QCOMPARE(role(0, PhotoGridModel::FileTypeRole).toString(), u"jpeg"_s); // as stored
        const QList<QColor> tags = {Palette::systemGreen(), Palette::systemBlue(), Palette::systemPurple(),
                                    Palette::systemIndigo(), Palette::systemGray(), Palette::systemGray()};
        for (int row = 0; row < 6; ++row)
            QCOMPARE(role(row, PhotoGridModel::TagColorRole).value<QColor>(), tags[row]);
        QCOMPARE(role(0, PhotoGridModel::DuplicateRole).toBool(), true);
        QCOMPARE(role(2, PhotoGridModel::DuplicateRole).toBool(), false);
        QCOMPARE(role(1, Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QVERIFY(!role(0, Qt::DecorationRole).value<QImage>().isNull());
        QVERIFY(role(1, Qt::DecorationRole).isNull()); // placeholder

        // The painted cards: picture, badge, tag, and the selected look against the plain one.
        const QImage shot = vc->collectionView->viewport()->grab().toImage();
        QVERIFY(near(pixel(shot, 0, PhotoCard::picture().center()), Qt::red));
        QVERIFY(near(pixel(shot, 0, PhotoCard::badge().topLeft() + QPoint(4, 3)), Palette::systemOrange()));
        QVERIFY(!near(pixel(shot, 2, PhotoCard::badge().topLeft() + QPoint(4, 3)), Palette::systemOrange()));
        QVERIFY(near(pixel(shot, 0, PhotoCard::typeTag().topLeft() + QPoint(3, 3)), Palette::systemGreen()));
        QVERIFY(near(pixel(shot, 1, {1, 100}), Palette::controlAccent(), 30)); // border 3
        QVERIFY(near(pixel(shot, 0, {1, 100}), Qt::white));
        const QColor tinted = pixel(shot, 1, {5, 200});
        QVERIFY(tinted.blue() > tinted.red() + 5); // accent at 0.08 over the grid
        QVERIFY(near(pixel(shot, 0, {5, 200}), Qt::white));
    }

    // The statistics and buttons follow a checkbox; Space and screen readers toggle too.
    void checkboxSelects()
    {
        for (int i = 0; i < 3; ++i)
            lib().allPhotos << photo(QString::number(i), "p" + QByteArray::number(i) + ".jpg", u"JPG"_s, 1'000'000);
        vc->applyFilters();
        QCOMPARE(vc->statsLabel->text(), u"3 photos | 3 MB"_s);
        QTest::mouseClick(vc->collectionView->viewport(), Qt::LeftButton, {}, cardPoint(1, PhotoCard::checkBox().center()));
        QCOMPARE(vc->statsLabel->text(), u"1 selected (1 MB) | 3 total"_s);
        QTRY_VERIFY(vc->deselectAllButton->isEnabled());
        vc->gridModel()->setData(vc->gridModel()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(vc->statsLabel->text(), u"3 photos | 3 MB"_s);
        vc->collectionView->setFocus();
        vc->collectionView->setCurrentIndex(vc->gridModel()->index(2, 0));
        QTest::keyClick(vc->collectionView, Qt::Key_Space);
        QCOMPARE(lib().selectedPhotoIds, QSet<QString>{u"2"_s});

        // Screen readers see a list of checkable cards and can toggle them.
        QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(vc->collectionView);
        QCOMPARE(grid->role(), QAccessible::List);
        QCOMPARE(grid->childCount(), 3);
        QAccessibleInterface *card = grid->child(0);
        QCOMPARE(card->text(QAccessible::Name), u"p0.jpg"_s);
        QCOMPARE(card->text(QAccessible::Description), u"JPG, 1 MB"_s);
        QVERIFY(card->state().checkable && !card->state().checked);
        QCOMPARE(grid->indexOfChild(card), 0);
        card->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(lib().selectedPhotoIds.contains(u"0"_s));
        QVERIFY(card->state().checked);
        vc->applyFilters(); // a reload drops the old cards' interfaces
        QCOMPARE(grid->child(0)->text(QAccessible::Name), u"p0.jpg"_s);
    }

    // Each click on a box toggles it, a double click twice; a click is a press and a
    // release on the same box.
    void checkboxClicks_data()
    {
        QTest::addColumn<QStringList>("steps"); // "<press|release|click|dclick> <row> <box|picture>"
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("click") << QStringList{u"click 1 box"_s} << QStringList{u"1"_s};
        QTest::newRow("double click") << QStringList{u"dclick 1 box"_s} << QStringList();
        QTest::newRow("click, double click") << QStringList{u"click 1 box"_s, u"dclick 1 box"_s}
                                             << QStringList{u"1"_s};
        QTest::newRow("click on the card, then on its box")
            << QStringList{u"click 1 picture"_s, u"dclick-only 1 box"_s} << QStringList{u"1"_s};
        QTest::newRow("double click, click") << QStringList{u"dclick 1 box"_s, u"click 0 box"_s}
                                             << QStringList{u"0"_s};
        QTest::newRow("on the picture") << QStringList{u"click 1 picture"_s} << QStringList();
        QTest::newRow("press on the card, release on its box")
            << QStringList{u"press 1 picture"_s, u"release 1 box"_s} << QStringList();
        QTest::newRow("double click, press on the card, release on its box")
            << QStringList{u"dclick 1 box"_s, u"press 1 picture"_s, u"release 1 box"_s} << QStringList();
        QTest::newRow("press on the box, release on the card")
            << QStringList{u"press 1 box"_s, u"release 1 picture"_s} << QStringList();
        QTest::newRow("press on one box, release on another")
            << QStringList{u"press 1 box"_s, u"release 2 box"_s} << QStringList();
    }
    void checkboxClicks()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, selected);
        for (int i = 0; i < 3; ++i)
            lib().allPhotos << photo(QString::number(i), "p" + QByteArray::number(i) + ".jpg", u"JPG"_s);
        vc->applyFilters();
        QWidget *viewport = vc->collectionView->viewport();
        for (const QString &step : steps) {
            const QStringList w = step.split(u' ');
            const QPoint at = cardPoint(w[1].toInt(), w[2] == u"box" ? PhotoCard::checkBox().center()
                                                                     : PhotoCard::picture().center());
            if (w[0] == u"press")
                QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            else if (w[0] == u"release")
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            else if (w[0] == u"click")
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            else if (w[0] == u"dclick-only") // a quick second click after one elsewhere
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            else if (w[0] == u"dclick") { // as the platform sends it
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            }
        }
        QStringList ids = lib().selectedPhotoIds.values();
        ids.sort();
        QCOMPARE(ids, selected);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(vc->gridModel()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked,
                     selected.contains(QString::number(row)));
    }

    void filterControls()
    {
        for (int i = 0; i < 250; ++i)
            lib().allPhotos << photo(QString::number(i), "IMG_" + QByteArray::number(i) + (i % 2 ? ".png" : ".jpg"),
                                     i % 2 ? u"PNG"_s : u"JPG"_s);
        lib().duplicatePhotoIds = {u"0"_s, u"1"_s, u"2"_s};
        vc->applyFilters();
        QCOMPARE(vc->showingLabel->text(), u"Showing 100 of 250 photos"_s);
        QCOMPARE(vc->loadMoreButton->text(), u"Load 100 More"_s);
        QCOMPARE(vc->statsLabel->text(), u"Showing 100 of 250 photos | 600 MB"_s);
        vc->loadMoreClicked();
        QTRY_COMPARE(lib().displayedPhotos.size(), 200); // the files do not exist: no pictures
        QCOMPARE(vc->loadMoreButton->text(), u"Load 50 More"_s);
        // Ten shown photos go (as a delete does): the page keeps its length.
        lib().filteredPhotos.remove(5, 10);
        vc->refillDisplayedPhotos();
        QCOMPARE(lib().displayedPhotos.size(), 200);
        QCOMPARE(lib().displayedPhotos[5].id(), u"15"_s);
        QCOMPARE(vc->loadMoreButton->text(), u"Load 40 More"_s);

        // Every filter change returns to the first page of the new list.
        vc->filterPicker->setCurrentIndex(2); // PNG
        QCOMPARE(lib().currentFilter, FileTypeFilter::png);
        QCOMPARE(lib().displayedPhotos.size(), 100);
        QCOMPARE(vc->showingLabel->text(), u"Showing 100 of 125 photos"_s);
        QTest::keyClicks(vc->searchField, u"IMG_1"_s);
        QCOMPARE(lib().searchText, u"img_1"_s);
        QCOMPARE(lib().filteredPhotos.size(), 56); // odd numbers starting with 1
        vc->searchField->clear();
        vc->filterPicker->setCurrentIndex(0);
        QCOMPARE(lib().filteredPhotos.size(), 250);

        // The mode buttons switch the grid and their highlight; the menu only the grid.
        QPushButton *all = vc->viewModeButtons[0], *dups = vc->viewModeButtons[1];
        dups->click();
        QCOMPARE(vc->viewModeSegment->currentIndex(), 1);
        QCOMPARE(ids(lib().displayedPhotos), (QStringList{u"0"_s, u"1"_s, u"2"_s}));
        QVERIFY(dups->isChecked() && !all->isChecked());
        QCOMPARE(vc->statsLabel->text(), u"3 duplicates in 0 groups | 7.2 MB"_s);
        vc->showAllPhotos();
        QCOMPARE(lib().viewMode, ViewMode::all);
        QCOMPARE(lib().filteredPhotos.size(), 250);
        QVERIFY(dups->isChecked() && !all->isChecked());
        all->click();
        QVERIFY(all->isChecked() && !dups->isChecked());
    }

    // A real scan: first-page pictures, Load More making the rest, duplicates after a pass.
    void scanAndLoadMore()
    {
        TestTree tree;
        QByteArrayList names;
        for (int i = 0; i < 130; ++i)
            names << "p/" + QByteArray::number(1000 + i) + ".png";
        for (const QByteArray &name : names) {
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(names.indexOf(name) % 360, 200, 200));
            QVERIFY(image.save(QFile::decodeName(tree.make({name}))));
        }
        QFile::copy(QFile::decodeName(tree.path(names[0])), QFile::decodeName(tree.path("p/copy.png")));

        h->dialogs.folderAnswers.push_back({tree.path("p")});
        vc->selectFolderClicked();
        vc->viewModeButtons[1]->click(); // duplicates mode before any pass: nothing
        QCOMPARE(lib().filteredPhotos.size(), 0);
        vc->viewModeButtons[0]->click();
        vc->scanClicked();
        waitForScanEnd();
        QCOMPARE(lib().allPhotos.size(), 131);
        QCOMPARE(lib().thumbnailCache.size(), 100);
        QCOMPARE(lib().displayedPhotos.size(), 100);
        QVERIFY(!lib().displayedPhotos[99].thumbnail().isNull());
        QCOMPARE(vc->statusLabel->text(), u"Found 1 duplicate groups"_s);

        vc->loadMoreClicked();
        QTRY_COMPARE(lib().displayedPhotos.size(), 131);
        QVERIFY(!lib().displayedPhotos[130].thumbnail().isNull());
        QCOMPARE(lib().thumbnailCache.size(), 131);
        QCOMPARE(vc->loadMoreButton->text(), u"All Loaded"_s);
        QVERIFY(!vc->loadMoreButton->isEnabled());

        // The pass's marks show at the next filter change.
        QVERIFY(!vc->gridModel()->index(0, 0).data(PhotoGridModel::DuplicateRole).toBool());
        vc->viewModeButtons[1]->click();
        QCOMPARE(lib().displayedPhotos.size(), 2);
        QVERIFY(vc->gridModel()->index(0, 0).data(PhotoGridModel::DuplicateRole).toBool());

        // While a stop is pending, Load More raises the count but makes and redraws nothing.
        vc->viewModeButtons[0]->click();
        lib().thumbnailCache.clear();
        lib().shouldStop = true;
        vc->loadMoreClicked();
        QCOMPARE(lib().currentlyShowing, 131);
        QTest::qWait(200);
        QCOMPARE(lib().displayedPhotos.size(), 100);
        QVERIFY(lib().thumbnailCache.isEmpty());
    }

private:
    static QStringList ids(const QList<PhotoItem> &photos)
    {
        QStringList out;
        for (const PhotoItem &p : photos)
            out << p.id();
        return out;
    }
};

QTEST_MAIN(TestPhotoGrid)
#include "test_photogrid.moc"
