#include "TestTree.h"
#include "UiFakes.h"
#include "app/AppDelegate.h"
#include "app/Identity.h"
#include "platform/DesktopServices.h"
#include "ui/ColoredButtonView.h"
#include "ui/PhotoContextMenu.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Records what would have been opened, shown in the file manager or copied.
struct FakeDesktop : DesktopServices
{
    bool fileManagerAnswers = true;
    QStringList opened;          // encoded URLs
    QList<QStringList> shown;    // ShowItems' URI lists
    QStringList clipboard;

    bool openUrl(const QUrl &url) override
    {
        opened << QString::fromLatin1(url.toEncoded());
        return true;
    }
    void showItems(const QStringList &uris, std::function<void(bool)> done) override
    {
        shown << uris;
        done(fileManagerAnswers);
    }
    void setClipboardText(const QString &text) override { clipboard << text; }
};

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text();
    return texts;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    Harness h;
    FakeDesktop desktop;
    std::unique_ptr<MainViewController> vc;

private slots:
    void init()
    {
        desktop = FakeDesktop();
        h.logLines.clear();
        MainViewController::Services services = h.services();
        services.desktop = &desktop;
        vc = std::make_unique<MainViewController>(services);
    }
    void cleanup() { vc.reset(); }

    // File URLs name the file's own bytes, also when its name is not UTF-8.
    void fileUrls_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("plain") << QByteArray("/home/ann/Photos/a b.jpg") << QByteArray("file:///home/ann/Photos/a%20b.jpg");
        QTest::newRow("reserved") << QByteArray("/p/100%#?;.jpg") << QByteArray("file:///p/100%25%23%3F;.jpg");
        QTest::newRow("utf-8") << QByteArray("/p/caf\xc3\xa9.jpg") << QByteArray("file:///p/caf%C3%A9.jpg");
        QTest::newRow("latin-1") << QByteArray("/p/caf\xe9 #1.jpg") << QByteArray("file:///p/caf%E9%20%231.jpg");
        QTest::newRow("bytes") << QByteArray("/\xff\xfe/x.jpg") << QByteArray("file:///%FF%FE/x.jpg");
    }
    void fileUrls()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, url);
        QCOMPARE(fileUrl(path).toEncoded(), url);
        QCOMPARE(localFilePath(QUrl::fromEncoded(url)), path);
        QCOMPARE(localFilePath(fileUrl(path)), path);
    }
    void otherUrlsAreNoPaths()
    {
        QCOMPARE(localFilePath(QUrl(u"https://example.org/a.jpg"_s)), std::nullopt);
        QCOMPARE(localFilePath(QUrl(u"file://server/share/a.jpg"_s)), std::nullopt);
        QCOMPARE(localFilePath(QUrl(u"file://localhost/a.jpg"_s)), FilePath("/a.jpg"));
    }

    void menuActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("fileManager");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("clipboard");
        const QString file = u"file:///ph/Fotos%20%FF/IMG%201.jpg"_s;
        QTest::newRow("open") << u"Open"_s << true << QStringList{file} << QStringList() << QStringList();
        QTest::newRow("show") << u"Show in Folder"_s << true << QStringList() << QStringList{file} << QStringList();
        QTest::newRow("show, no file manager") << u"Show in Folder"_s << false
                                               << QStringList{u"file:///ph/Fotos%20%FF"_s} << QStringList{file}
                                               << QStringList();
        QTest::newRow("copy") << u"Copy Path"_s << true << QStringList() << QStringList()
                              << QStringList{u"/ph/Fotos \uFFFD/IMG 1.jpg"_s};
    }
    void menuActions()
    {
        QFETCH(QString, action);
        QFETCH(bool, fileManager);
        desktop.fileManagerAnswers = fileManager;
        const PhotoItem photo(u"1"_s, "/ph/Fotos \xff/IMG 1.jpg", "IMG 1.jpg", 10, {}, {}, u"JPG"_s);
        std::unique_ptr<QMenu> menu(photoContextMenu(photo, desktop, nullptr));
        QCOMPARE(actionTexts(menu.get()), (QStringList{u"Open"_s, u"Show in Folder"_s, u"Copy Path"_s}));
        menu->actions().at(actionTexts(menu.get()).indexOf(action))->trigger();
        QTEST(desktop.opened, "opened");
        QStringList shown;
        for (const QStringList &uris : std::as_const(desktop.shown))
            shown << uris;
        QTEST(shown, "shown");
        QTEST(desktop.clipboard, "clipboard");
    }

    // A right click on a card, the Menu key and Shift+F10 on the current one open its menu.
    void gridOpensTheMenu_data()
    {
        QTest::addColumn<int>("key"); // 0: a right click on card 1
        QTest::addColumn<int>("row");
        QTest::newRow("right click") << 0 << 1;
        QTest::newRow("Menu key") << int(Qt::Key_Menu) << 2;
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << 2;
    }
    void gridOpensTheMenu()
    {
        QFETCH(int, key);
        QFETCH(int, row);
        for (int i = 0; i < 3; ++i)
            vc->library().allPhotos << PhotoItem(QString::number(i), "/ph/p" + QByteArray::number(i) + ".jpg",
                                                 "p" + QByteArray::number(i) + ".jpg", 10, {}, {}, u"JPG"_s);
        vc->applyFilters();
        vc->show();
        PhotoGridView *grid = vc->collectionView;
        grid->setFocus();
        grid->setCurrentIndex(vc->gridModel()->index(2, 0));
        if (key == 0) {
            const QPoint at = grid->visualRect(vc->gridModel()->index(1, 0)).center();
            QContextMenuEvent click(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
            QApplication::sendEvent(grid->viewport(), &click);
        } else {
            QTest::keyClick(grid, Qt::Key(key), key == Qt::Key_F10 ? Qt::ShiftModifier : Qt::NoModifier);
        }
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(actionTexts(menu), (QStringList{u"Open"_s, u"Show in Folder"_s, u"Copy Path"_s}));
        menu->actions().first()->trigger();
        menu->close();
        QCOMPARE(desktop.opened, QStringList{u"file:///ph/p%1.jpg"_s.arg(row)});
    }

    // Dropped folders become the scan paths as "Select Folder" makes them; files are left out,
    // nothing starts, and while a scan runs the drop is refused.
    void dropFolders()
    {
        TestTree tree;
        const QByteArray beach = tree.make({"Beach/"}), cats = tree.make({"Cats \xff/"});
        const QByteArray file = tree.make({"note.jpg"});
        auto mime = std::make_unique<QMimeData>();
        mime->setUrls({fileUrl(beach), fileUrl(file), fileUrl(cats)});
        const auto drop = [&] {
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
            QApplication::sendEvent(vc.get(), &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, {});
            QApplication::sendEvent(vc.get(), &dropped);
            return dropped.isAccepted();
        };

        vc->library().scanState = ScanState::scanning;
        QVERIFY(!drop());
        vc->library().scanState = ScanState::idle;
        QVERIFY(vc->library().scanPaths.isEmpty());

        QVERIFY(drop());
        QCOMPARE(vc->library().scanPaths, (QList<FilePath>{beach, cats}));
        QCOMPARE(vc->progressLabel->text(), u"Ready to scan: Beach, Cats \uFFFD"_s);
        QVERIFY(h.logLines.last().endsWith(u"] Selected folders: [\"%1\", \"%2\"]"_s
                                               .arg(displayPath(beach), displayPath(cats))));
        QVERIFY(vc->scanButton->isEnabled());
        QCOMPARE(vc->library().scanState, ScanState::idle);

        mime->setUrls({fileUrl(file), QUrl(u"https://example.org/x/"_s)});
        QVERIFY(!drop());
        QCOMPARE(vc->library().scanPaths.size(), 2);
    }

    // The keys act in the window, but a focused text field keeps the ones it edits with.
    void keys()
    {
        AppDelegate delegate(h.services());
        delegate.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowActive(delegate.window()));
        MainViewController *main = delegate.mainVC();
        QLineEdit *search = main->searchField;
        main->library().allPhotos << PhotoItem(u"p"_s, "/nowhere/p.jpg", "p.jpg", 1, {}, {}, u"jpg"_s);
        main->library().selectedPhotoIds = {u"p"_s};
        main->updateStats();
        QTRY_VERIFY(main->deleteButton->isEnabled());
        const auto deletes = [&] { return h.dialogs.alerts.size(); }; // each asks first

        main->collectionView->setFocus();
        QTest::keyClick(main->collectionView, Qt::Key_Delete);
        QCOMPARE(deletes(), 1);
        QCOMPARE(h.dialogs.alerts.last().message, u"Delete 1 photo(s)?"_s);

        QTest::keyClick(main->collectionView, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(search->hasFocus());
        QTest::keyClicks(search, u"IMG"_s);
        QCOMPARE(main->library().searchText, u"img"_s);
        QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(search->selectedText(), u"IMG"_s);
        QTest::keyClick(search, Qt::Key_Home);
        QTest::keyClick(search, Qt::Key_Delete);
        QCOMPARE(search->text(), u"MG"_s);
        QCOMPARE(deletes(), 1);

        QTest::keyClick(search, Qt::Key_Escape);
        QCOMPARE(search->text(), QString());
        QCOMPARE(main->library().searchText, QString());
    }

    // The window carries the application's icon, embedded in the program.
    void windowIcon()
    {
        const QImage icon = applicationIcon().pixmap(48, 48).toImage();
        QCOMPARE(icon.size(), QSize(48, 48));
        QCOMPARE(icon.pixelColor(24, 4).alpha(), 255); // the tile, not a blank
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);    // its rounded corner
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
