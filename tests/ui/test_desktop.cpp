#include "UiFakes.h"
#include "app/AppDelegate.h"
#include "app/Identity.h"
#include "platform/DesktopServices.h"
#include "platform/QtDialogs.h"
#include "ui/ColoredButtonView.h"
#include "ui/Palette.h"
#include "ui/PhotoGridView.h"
#include "ui/PreviewWindowController.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// Records what would have been opened, shown in the file manager or copied.
struct FakeDesktop : DesktopServices
{
    bool fileManagerAnswers = true;
    QStringList opened, shown, clipboard; // encoded URLs, ShowItems' URIs, texts

    bool openUrl(const QUrl &url) override { opened << QString::fromLatin1(url.toEncoded()); return true; }
    void showItems(const QStringList &uris, std::function<void(bool)> done) override { shown << uris; done(fileManagerAnswers); }
    void setClipboardText(const QString &text) override { clipboard << text; }
};

// A menu's items as "text|shortcut", "|off" added when disabled, separators as "-".
QString items(const QMenu *menu)
{
    QStringList items;
    for (const QAction *item : menu->actions())
        items << (item->isSeparator() ? u"-"_s : item->text() + u'|' + item->shortcut().toString() + (item->isEnabled() ? u""_s : u"|off"_s));
    return items.join(u", "_s);
}

// Fills buttons and fields dark whatever the widget's palette, as some dark themes do.
struct DarkDesktopStyle : QProxyStyle
{
    DarkDesktopStyle() : QProxyStyle(u"Fusion"_s) {}
    void drawPrimitive(PrimitiveElement e, const QStyleOption *o, QPainter *p, const QWidget *w) const override
    {
        e == PE_PanelButtonCommand || e == PE_PanelLineEdit ? p->fillRect(o->rect, QColor(45, 45, 45)) : QProxyStyle::drawPrimitive(e, o, p, w);
    }
};

} // namespace

// The window among the desktop's programs: file URLs, the photo menu, drops, keys, the
// menu bar and the real folder chooser.
class TestDesktop : public QObject, WindowFixture
{
    Q_OBJECT

    FakeDesktop desktop;

private slots:
    void init() { desktop = FakeDesktop(); setUp(&desktop); }
    void cleanup() { tearDown(); }

    // File URLs name the file's own bytes, also when its name is not UTF-8 (photoMenu too):
    // reserved characters, UTF-8, Latin-1.
    void fileUrls()
    {
        for (const auto &[path, url] : {std::pair<QByteArray, QByteArray>{"/p/100%#?;.jpg", "file:///p/100%25%23%3F;.jpg"},
                                        {"/p/caf\xc3\xa9.jpg", "file:///p/caf%C3%A9.jpg"}, {"/p/caf\xe9 #1.jpg", "file:///p/caf%E9%20%231.jpg"}})
            QCOMPARE(std::pair(fileUrl(path).toEncoded(), localFilePath(fileUrl(path))), std::pair(url, std::optional(path)));
        // Other URLs are no paths.
        const auto pathOf = [](const QString &url) { return localFilePath(QUrl(url)).value_or("-"); };
        QCOMPARE(pathOf(u"https://example.org/a.jpg"_s) + pathOf(u"file://server/share/a.jpg"_s) + pathOf(u"file://localhost/a.jpg"_s), "--/a.jpg");
    }

    // A right click on a card, the Menu key and Shift+F10 on the current one open its menu,
    // whose items open the file, show it in its folder (or open the folder when no file
    // manager answers) and copy its path.
    void photoMenu_data()
    {
        QTest::addColumn<int>("key"); // 0: a right click on card 1, else on the current card 0
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("done"); // opened, shown, copied
        const QString file = u"file:///ph/Fotos%20%FF/IMG%201.jpg"_s;
        QTest::newRow("right click, open") << 0 << u"Open"_s << QStringList{u"file:///ph/p1.jpg"_s, {}, {}};
        QTest::newRow("Menu key, show") << int(Qt::Key_Menu) << u"Show in Folder"_s << QStringList{{}, file, {}};
        QTest::newRow("Shift+F10, show, no file manager") << int(Qt::Key_F10) << u"Show in Folder"_s << QStringList{u"file:///ph/Fotos%20%FF"_s, file, {}};
        QTest::newRow("Menu key, copy") << int(Qt::Key_Menu) << u"Copy Path"_s << QStringList{{}, {}, u"/ph/Fotos \uFFFD/IMG 1.jpg"_s};
    }
    void photoMenu()
    {
        QFETCH(int, key);
        QFETCH(QString, action);
        desktop.fileManagerAnswers = !QByteArray(QTest::currentDataTag()).endsWith("no file manager");
        lib().allPhotos = {PhotoItem(1, "/ph/Fotos \xff/IMG 1.jpg", "IMG 1.jpg", 10, {}, {}, u"JPG"_s), PhotoItem(2, "/ph/p1.jpg", "p1.jpg", 10, {}, {}, u"JPG"_s)};
        vc->applyFilters();
        PhotoGridView *grid = vc->collectionView;
        grid->setFocus();
        grid->setCurrentIndex(vc->gridModel()->index(0, 0));
        const QPoint at = grid->visualRect(vc->gridModel()->index(1, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
        key ? QTest::keyClick(grid, Qt::Key(key), key == Qt::Key_F10 ? Qt::ShiftModifier : Qt::NoModifier) : void(QApplication::sendEvent(grid->viewport(), &click));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu && items(menu) == u"Open|, Show in Folder|, Copy Path|"_s);
        for (QAction *item : menu->actions())
            item->text() == action ? item->trigger() : void();
        menu->close();
        QTEST((QStringList{desktop.opened.join(u' '), desktop.shown.join(u' '), desktop.clipboard.join(u' ')}), "done");
    }

    // Dropped folders become the scan paths as "Select Folder" makes them; files are left out,
    // nothing starts, and while a scan runs the drop is refused.
    void dropFolders()
    {
        const QByteArray beach = tree->make({"Beach/"}), cats = tree->make({"Cats \xff/"}), file = tree->make({"note.jpg"});
        auto mime = std::make_unique<QMimeData>();
        mime->setUrls({fileUrl(beach), fileUrl(file), fileUrl(cats)});
        const auto drop = [&] { // entered, then dropped
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, {});
            QApplication::sendEvent(vc.get(), &enter);
            return enter.isAccepted() && (QApplication::sendEvent(vc.get(), &dropped), dropped.isAccepted());
        };
        lib().scanState = ScanState::scanning;
        QVERIFY(!drop());
        lib().scanState = ScanState::idle;
        QVERIFY(drop());
        QCOMPARE(std::pair(lib().scanPaths, vc->progressLabel->text()), std::pair(QList<FilePath>{beach, cats}, u"Ready to scan: Beach, Cats \uFFFD"_s));
        mime->setUrls({fileUrl(file), QUrl(u"https://example.org/x/"_s)});
        QVERIFY(!drop() && lib().scanPaths.size() == 2);
    }

    // The launched window: its menus and their handlers, and the keys, which act in the
    // window while a focused text field keeps the ones it edits with; the application's
    // icon, embedded in the program.
    void menusAndKeys()
    {
        const QImage icon = applicationIcon().pixmap(48, 48).toImage(); // the tile, not a blank, and its rounded corner
        QVERIFY(icon.size() == QSize(48, 48) && icon.pixelColor(24, 4).alpha() == 255 && icon.pixelColor(0, 0).alpha() == 0);
        AppDelegate delegate(h->services());
        delegate.applicationDidFinishLaunching();
        QMainWindow *window = delegate.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QStringList menus;
        for (QAction *top : window->menuBar()->actions())
            menus << top->text() + u": "_s + items(top->menu());
        QCOMPARE(menus.join(u"; "_s), u"Lumisort: About Lumisort|, -, Quit Lumisort|Ctrl+Q; File: Open Folder...|Ctrl+O, -, Set Destination...|Ctrl+D, -, Clear Cache|; "
                                      "Edit: Select All|Ctrl+A, Deselect All|; View: All Photos|Ctrl+1, Duplicates Only|Ctrl+2, Similar Photos|Ctrl+3"_s);
        window->menuBar()->actions()[1]->menu()->actions()[0]->trigger();
        window->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
        QVERIFY(h->dialogs.folderRequests.size() == 1 && h->dialogs.alerts.last().message == u"Lumisort v1.0"_s);

        MainViewController *main = delegate.mainVC();
        QLineEdit *search = main->searchField;
        main->library().allPhotos << PhotoItem(PhotoId(1), "/nowhere/p.jpg", "p.jpg", 1, {}, {}, u"jpg"_s);
        main->library().selectedPhotoIds = {PhotoId(1)};
        main->updateStats();
        QTRY_VERIFY(main->deleteButton->isEnabled());
        main->collectionView->setFocus();
        QTest::keyClick(main->collectionView, Qt::Key_Delete);
        QTest::keyClick(main->collectionView, Qt::Key_D, Qt::ControlModifier); // never taken for Delete
        QCOMPARE(h->dialogs.alerts.last().message + u'|' + h->dialogs.folderRequests.last().prompt, u"Delete 1 photo(s)?|Set Destination"_s);

        QTest::keyClick(main->collectionView, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(search->hasFocus());
        QTest::keyClicks(search, u"IMG"_s);
        QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(search->selectedText(), u"IMG"_s);
        for (const Qt::Key key : {Qt::Key_Home, Qt::Key_Delete})
            QTest::keyClick(search, key);
        // Two alerts: About, then the one delete, which asks first.
        QCOMPARE(search->text() + main->library().searchText + QString::number(h->dialogs.alerts.size()), u"MGmg2"_s);
        QTest::keyClick(search, Qt::Key_Escape);
        QCOMPARE(main->library().searchText, QString());
    }

    // The real folder chooser hands back several folders at once, chosen as a user does:
    // click one folder, control-click the other.
    void folderChooserTakesSeveral()
    {
        tree->make({"one/", "two/"});
        const QString dir = QFile::decodeName(tree->root);
        // It opens in the folder asked for, or its nearest parent if that has gone; without one
        // in the home folder, not the program's working folder.
        for (const auto &[start, opens] : {std::pair(FilePath(), qgetenv("HOME")), std::pair(tree->path("one/gone/x"), tree->path("one"))}) {
            QFileDialog chooser;
            QtDialogs::configureFolderChooser(chooser, {u"Pick"_s, u"Scan"_s, false, false, start});
            QCOMPARE(chooser.directory().absolutePath(), QFile::decodeName(opens));
        }
        QFileDialog dialog;
        QtDialogs::configureFolderChooser(dialog, {u"Pick"_s, u"Scan"_s, true, false, tree->root});
        dialog.show();
        auto *view = dialog.findChild<QAbstractItemView *>(u"listView"_s);
        auto *model = qobject_cast<QFileSystemModel *>(view->model());
        QTRY_COMPARE(model->rowCount(model->index(dir)), 2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(dir + u"/one"_s)).center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, view->visualRect(model->index(dir + u"/two"_s)).center());
        static_cast<QDialog &>(dialog).accept();
        const QStringList chosen = dialog.selectedFiles();
        QCOMPARE(QSet<QString>(chosen.cbegin(), chosen.cend()), (QSet<QString>{dir + u"/one"_s, dir + u"/two"_s}));
    }

    // The windows keep their own look on a dark desktop, with a dark palette and with a dark
    // style, which may paint buttons and fields dark whatever their palette: not one pixel
    // changes, so no text reads worse than on a light desktop.
    void sameLookOnADarkDesktop()
    {
        const QPalette light = QApplication::palette();
        const QString style = QApplication::style()->name();
        const auto shots = [&] {
            tearDown();
            setUp(&desktop);
            vc->masterStopButton->show();
            vc->helpClicked();
            const PhotoItem photo(1, "/none.jpg", "none.jpg", 1, {}, {}, u"JPG"_s);
            PreviewWindowController preview(photo, {photo}, 0);
            preview.show();
            [&] { QTRY_VERIFY(preview.loader().isIdle()); }();
            return QList<QImage>{vc->grab().toImage(), vc->helpWindow()->grab().toImage(), preview.grab().toImage()};
        };
        const auto restore = qScopeGuard([&] { QApplication::setStyle(style); QApplication::setPalette(light); });
        const QList<QImage> onLight = shots();
        QApplication::setPalette(QPalette(QColor(53, 53, 53), QColor(42, 42, 42))); // white text
        QVERIFY(shots() == onLight);
        QApplication::setStyle(new DarkDesktopStyle);
        QVERIFY(shots() == onLight);
        vc->viewModeButtons[1]->click(); // the tint goes with the lit button
        QCOMPARE(QList<QColor>({vc->viewModeButtons[0]->palette().color(QPalette::ButtonText), vc->viewModeButtons[1]->palette().color(QPalette::ButtonText)}),
                 QList<QColor>({Palette::labelText(), Palette::controlAccent()}));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
