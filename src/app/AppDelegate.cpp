#include "app/AppDelegate.h"

#include "platform/Dialogs.h"
#include "ui/Palette.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>

using namespace Qt::StringLiterals;

AppDelegate::AppDelegate(MainViewController::Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
}

AppDelegate::~AppDelegate()
{
    delete m_window;
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_window = new QMainWindow;
    m_window->setWindowTitle(u"Lumisort"_s);
    m_window->setPalette(Palette::lightPalette());
    m_mainVC = new MainViewController(m_services);
    m_window->setCentralWidget(m_mainVC);
    setupMenuBar();
    // The content is 1200 x 850 (at least 1000 x 700); the menu bar comes on top of it.
    m_window->resize(m_window->sizeHint().expandedTo(
        QSize(1200, 850 + m_window->menuBar()->sizeHint().height())));
    if (const QScreen *screen = m_window->screen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AppDelegate::setupMenuBar()
{
    QMenuBar *bar = m_window->menuBar();
    MainViewController *vc = m_mainVC;

    QMenu *app = bar->addMenu(u"Lumisort"_s);
    app->addAction(u"About Lumisort"_s, this, &AppDelegate::showAbout);
    app->addSeparator();
    QAction *quit = app->addAction(u"Quit Lumisort"_s, qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(u"Ctrl+Q"_s));
    quit->setMenuRole(QAction::QuitRole);

    QMenu *file = bar->addMenu(u"File"_s);
    QAction *open = file->addAction(u"Open Folder..."_s, vc, &MainViewController::selectFolderClicked);
    open->setShortcut(QKeySequence(u"Ctrl+O"_s));
    file->addSeparator();
    QAction *destination = file->addAction(u"Set Destination..."_s, vc,
                                           &MainViewController::setDestinationClicked);
    destination->setShortcut(QKeySequence(u"Ctrl+D"_s));
    file->addSeparator();
    file->addAction(u"Clear Cache"_s, vc, &MainViewController::clearCacheClicked);

    QMenu *edit = bar->addMenu(u"Edit"_s);
    QAction *selectAll = edit->addAction(u"Select All"_s, vc, &MainViewController::selectAllClicked);
    selectAll->setShortcut(QKeySequence(u"Ctrl+A"_s));
    edit->addAction(u"Deselect All"_s, vc, &MainViewController::deselectAllClicked);

    QMenu *view = bar->addMenu(u"View"_s);
    QAction *allPhotos = view->addAction(u"All Photos"_s, vc, &MainViewController::showAllPhotos);
    allPhotos->setShortcut(QKeySequence(u"Ctrl+1"_s));
    QAction *duplicates = view->addAction(u"Duplicates Only"_s, vc, &MainViewController::showDuplicates);
    duplicates->setShortcut(QKeySequence(u"Ctrl+2"_s));
    QAction *similar = view->addAction(u"Similar Photos"_s, vc, &MainViewController::showSimilar);
    similar->setShortcut(QKeySequence(u"Ctrl+3"_s));
}

void AppDelegate::showAbout()
{
    m_services.dialogs->runAlert({
        .message = u"Lumisort v1.0"_s,
        .informativeText = u"Find, organize, and manage photos across your computer.\n\nFeatures:\n"
                           "\u2022 Scan folders or full disk for photos\n"
                           "\u2022 Find and remove duplicates\n"
                           "\u2022 Copy, move, or delete photos\n"
                           "\u2022 Beautiful thumbnail grid view"_s,
        .buttons = {},
    });
}
