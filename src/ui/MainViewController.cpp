#include "ui/MainViewController.h"

#include "actions/ButtonStates.h"
#include "browse/Paging.h"
#include "browse/Thumbnails.h"
#include "cache/LibraryCache.h"
#include "duplicates/DuplicateStage.h"
#include "similar/SimilarStage.h"
#include "platform/ActivityLog.h"
#include "platform/DesktopServices.h"
#include "platform/Dialogs.h"
#include "platform/Home.h"
#include "scan/FolderDrop.h"
#include "scan/ScanControl.h"
#include "ui/ColoredButtonView.h"
#include "ui/HelpWindow.h"
#include "ui/KeyboardShortcuts.h"
#include "ui/Palette.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoContextMenu.h"
#include "ui/PhotoGridView.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QThread>

using namespace Qt::StringLiterals;

MainViewController::MainViewController(Services services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)),
      m_sequence(m_state, *m_services.fileSystem, m_workers), m_pictures(m_state, m_workers, m_services.sharedThumbnails),
      m_browser(m_state, m_workers, backgroundFrom), m_files(m_workers)
{
    setPalette(Palette::lightPalette());
    setMinimumSize(1000, 700);
    resize(designSize);
    m_state.destinationPath = picturesDirectory();
    // A scan, a duplicate pass or a file run each hold a thread for long; a filter or a
    // release must not queue behind them.
    m_workers.setMaxThreadCount(std::max(8, QThread::idealThreadCount() * 2));
    // The scan's stages, in order, after the walk and the first page.
    m_sequence.addStage(std::make_unique<DuplicateStage>(*m_services.fileSystem, m_services.cache));
    m_sequence.addStage(std::make_unique<SimilarStage>(*m_services.fileSystem, m_services.cache));
    setupUI();
    setAcceptDrops(true);

    connect(&m_sequence, &ScanSequence::statusChanged, statusLabel, &QLabel::setText);
    connect(&m_sequence, &ScanSequence::progressChanged, this, &MainViewController::showProgress);
    connect(&m_sequence, &ScanSequence::walkFinished, this, &MainViewController::walkFinished);
    connect(&m_sequence, &ScanSequence::woundUp, this, &MainViewController::finishProcessing);
    connect(&m_sequence, &ScanSequence::stageApplied, this, &MainViewController::stageApplied);

    connect(&m_pictures, &PageThumbnails::picturesMade, m_gridModel, &PhotoGridModel::showThumbnails);
    // Shown while a scan waits on its first page, not over what came after.
    connect(&m_pictures, &PageThumbnails::progress, this, [this](int position, int count) {
        if (m_sequence.awaitingFirstPage())
            showProgress(ThumbnailTexts::progress(position, count),
                         qRound(ThumbnailTexts::progressPercent(position, count)));
    });
    connect(&m_pictures, &PageThumbnails::settled, this, &MainViewController::pageThumbnailsSettled);
    connect(&m_pictures, &PageThumbnails::logLine, this, &MainViewController::log);
    // The cards scrolled into view get their pictures first.
    connect(collectionView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const auto [first, end] = collectionView->visibleRows();
        m_pictures.setVisibleRows(first, end);
    });

    connect(&m_browser, &LibraryBrowser::pageChanged, this, &MainViewController::showPage);
    connect(&m_browser, &LibraryBrowser::statisticsReady, statsLabel, &QLabel::setText);
    connect(&m_browser, &LibraryBrowser::selectionReady, this, &MainViewController::showSelection);
    connect(&m_files, &FileRunner::logLine, this, &MainViewController::log);
    connect(collectionView, &PhotoGridView::contextMenuRequested, this,
            &MainViewController::showPhotoContextMenu);
    installKeyboardShortcuts(*this);
}

MainViewController::~MainViewController()
{
    // Ask every worker to end and wait for it: none may outlive the state it reports to.
    // Work of earlier runs was told to stop when they were replaced.
    m_sequence.abandon();
    m_state.shouldStop = true;
    m_files.stop(); // a copy, move or delete ends after its current file
    m_workers.waitForDone();
}

// MARK: Scan sources

void MainViewController::selectFolderClicked()
{
    FolderChooserRequest request;
    request.message = u"Select folder(s) to scan for photos"_s;
    request.prompt = u"Scan"_s;
    request.allowsMultiple = true;
    const std::optional<QList<FilePath>> chosen = m_services.dialogs->chooseFolders(request);
    if (chosen)
        setScanPaths(*chosen);
}

void MainViewController::setScanPaths(const QList<FilePath> &paths)
{
    m_state.scanPaths = paths;
    scanButton->setEnabled(!m_state.scanPaths.isEmpty());
    progressLabel->setText(ScanControlTexts::readyToScan(m_state.scanPaths));
    log(u"Selected folders: "_s + ScanControlTexts::pathListLiteral(m_state.scanPaths));
}

void MainViewController::fullScanClicked()
{
    const int answer = m_services.dialogs->runAlert({
        .message = u"Full Disk Scan"_s,
        .informativeText = u"This will scan your entire home folder for photos. This may take a "
                           "while depending on how many files you have.\n\nNote: folders your "
                           "account is not allowed to read are skipped."_s,
        .buttons = {u"Start Full Scan"_s, u"Cancel"_s},
    });
    if (answer != 0)
        return;
    m_state.scanPaths = {homeDirectory()};
    scanButton->setEnabled(true);
    progressLabel->setText(u"Ready for full disk scan"_s);
    scanClicked();
}

void MainViewController::setDestinationClicked()
{
    FolderChooserRequest request;
    request.message = u"Select destination folder for photos"_s;
    request.prompt = u"Set Destination"_s;
    request.canCreateFolders = true;
    const std::optional<QList<FilePath>> chosen = m_services.dialogs->chooseFolders(request);
    if (!chosen || chosen->isEmpty())
        return;
    m_state.destinationPath = chosen->first();
    const QString shown = displayPath(m_state.destinationPath);
    destinationLabel->setText(u"Destination: "_s + shown);
    log(u"Set destination: "_s + shown);
}

void MainViewController::clearCacheClicked()
{
    if (!m_services.cache)
        return;
    // Rows a running pass writes afterwards are still true: each holds for its file's stamp.
    startWork(m_workers, [this, cache = m_services.cache] {
        CacheSession session(*cache);
        const bool cleared = session.clear();
        postToMain(this, [this, line = cleared ? u"Cleared the cache"_s : session.message()] { log(line); });
    });
}

// MARK: Refresh

void MainViewController::log(const QString &message)
{
    const QString line = activityLogLine(QTime::currentTime(), message);
    if (m_services.logSink)
        m_services.logSink(line);
    else
        writeLogLine(line);
}

void MainViewController::updateButtonStates()
{
    postToMain(this, [this] { applyButtonStates(); });
}

void MainViewController::applyButtonStates()
{
    const ButtonStates s = buttonStatesFor({
        .scanState = m_state.scanState,
        .displayedCount = m_state.displayedPhotos.size(),
        .selectedCount = m_state.selectedPhotoIds.size(),
        .groupCount = m_state.viewMode == ViewMode::similar ? m_state.similarGroups.size() : m_state.duplicateGroups.size(),
        .scanPathCount = m_state.scanPaths.size(),
    });
    scanButton->setEnabled(s.scan);
    folderButton->setEnabled(s.folder);
    fullScanButton->setEnabled(s.fullScan);
    pauseButton->setEnabled(s.pause);
    if (s.pauseTitle)
        pauseButton->setText(*s.pauseTitle);
    stopButton->setEnabled(s.stop);
    selectAllButton->setEnabled(s.selectAll);
    deselectAllButton->setEnabled(s.deselectAll);
    keepOriginalsButton->setEnabled(s.keepOriginals);
    copyButton->setEnabled(s.fileActions);
    moveButton->setEnabled(s.fileActions);
    deleteButton->setEnabled(s.fileActions);
    masterStopButton->setVisible(s.masterStopVisible);
}

void MainViewController::updateStats()
{
    updateButtonStates();
    m_browser.statistics();
}

void MainViewController::photoSelectionChanged(const PhotoItem &photo, bool selected)
{
    m_browser.selectionChanged();
    if (selected)
        m_state.selectedPhotoIds.insert(photo.id());
    else
        m_state.selectedPhotoIds.remove(photo.id());
    updateStats();
}

// MARK: Filters

void MainViewController::applyFilters()
{
    m_browser.filter();
}

void MainViewController::viewModeChanged()
{
    const int index = viewModeSegment->currentIndex();
    m_state.viewMode = index == 2 ? ViewMode::similar : index == 1 ? ViewMode::duplicates : ViewMode::all;
    // The same button keeps each group's best copy in the similar view, its oldest elsewhere.
    keepOriginalsButton->setText(m_state.viewMode == ViewMode::similar ? u"Keep Best Only"_s : u"Keep Originals Only"_s);
    applyFilters();
}

void MainViewController::filterChanged()
{
    const int index = filterPicker->currentIndex();
    if (index < 0 || index >= int(FileTypeFilters::allCases.size()))
        return;
    m_state.currentFilter = FileTypeFilters::allCases[size_t(index)];
    applyFilters();
}

void MainViewController::searchChanged()
{
    m_state.searchText = searchKey(searchField->text());
    applyFilters();
}

void MainViewController::viewModeButtonClicked(int tag)
{
    viewModeSegment->setCurrentIndex(tag);
    viewModeChanged();
    // The clicked button is the highlighted one: on, in the accent colour.
    for (QPushButton *button : std::as_const(viewModeButtons))
        button->setChecked(button->property("tag").toInt() == tag);
}

// The View menu switches the grid but leaves the buttons' highlight where the last
// click put it.
void MainViewController::showAllPhotos()
{
    viewModeSegment->setCurrentIndex(0);
    viewModeChanged();
}

void MainViewController::showDuplicates()
{
    viewModeSegment->setCurrentIndex(1);
    viewModeChanged();
}

void MainViewController::showSimilar()
{
    viewModeSegment->setCurrentIndex(2);
    viewModeChanged();
}

// MARK: Paging

void MainViewController::updateDisplayedPhotos()
{
    m_browser.showPage();
}

void MainViewController::reloadGrid()
{
    // Cards of a view of groups name their folders: copies of one name lie side by side there.
    m_gridModel->reload(m_state.displayedPhotos, m_state.selectedPhotoIds,
                        {m_state.duplicatePhotoIds, m_state.similarPhotoIds, m_state.bestPhotoIds},
                        m_state.thumbnailCache, m_browser.listedMode() != ViewMode::all);
}

void MainViewController::showPage(bool newList)
{
    reloadGrid();
    requestPageThumbnails();
    updateLoadMoreControls();
    updateStats();
    if (newList)
        collectionView->scrollToTop(); // a new list starts at its beginning
}

void MainViewController::updateLoadMoreControls()
{
    const Paging::LoadMoreControls controls =
        Paging::loadMoreControls(m_state.displayedPhotos.size(), m_state.filteredPhotos.size());
    showingLabel->setText(controls.showingText);
    loadMoreButton->setText(controls.buttonTitle);
    loadMoreButton->setEnabled(controls.buttonEnabled);
}

void MainViewController::loadMoreClicked()
{
    // The new cards show at once; their pictures follow as they are made.
    m_browser.loadMore();
}

void MainViewController::refillDisplayedPhotos()
{
    m_browser.refill();
}

// MARK: Help

void MainViewController::helpClicked()
{
    if (m_helpWindow && m_helpWindow->isVisible()) {
        m_helpWindow->raise();
        m_helpWindow->activateWindow();
        return;
    }
    if (m_helpWindow)
        m_helpWindow->deleteLater();
    m_helpWindow = new HelpWindow(this);
    if (const QScreen *s = screen())
        m_helpWindow->move(s->availableGeometry().center() - m_helpWindow->rect().center());
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

// MARK: Desktop integration

void MainViewController::showPhotoContextMenu(int row, const QPoint &globalPos)
{
    if (!m_services.desktop || row < 0 || row >= m_gridModel->rowCount())
        return;
    photoContextMenu(m_gridModel->photoAt(row), *m_services.desktop, this)->popup(globalPos);
}

void MainViewController::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFolders(event->mimeData()->urls(), m_state.scanState, *m_services.fileSystem).isEmpty())
        event->acceptProposedAction();
}

void MainViewController::dropEvent(QDropEvent *event)
{
    const QList<FilePath> folders =
        droppedFolders(event->mimeData()->urls(), m_state.scanState, *m_services.fileSystem);
    if (folders.isEmpty())
        return;
    event->acceptProposedAction();
    setScanPaths(folders);
}
