#include "ui/MainViewController.h"

#include "actions/ButtonStates.h"
#include "browse/Paging.h"
#include "browse/Thumbnails.h"
#include "duplicates/DuplicateStage.h"
#include "platform/ActivityLog.h"
#include "platform/DesktopServices.h"
#include "platform/Dialogs.h"
#include "platform/Home.h"
#include "platform/Queues.h"
#include "platform/Sounds.h"
#include "scan/FolderDrop.h"
#include "scan/ScanControl.h"
#include "ui/ColoredButtonView.h"
#include "ui/Decorations.h"
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
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

MainViewController::MainViewController(Services services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)),
      m_sequence(m_state, *m_services.fileSystem, m_workers), m_pictures(m_state, m_workers),
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
    m_sequence.addStage(std::make_unique<DuplicateStage>(*m_services.fileSystem));
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
    // The cards scrolled into view get their pictures first.
    connect(collectionView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const auto [first, end] = collectionView->visibleRows();
        m_pictures.setVisibleRows(first, end);
    });

    connect(&m_browser, &LibraryBrowser::filtered, this, &MainViewController::showFiltered);
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

// MARK: Scan control

void MainViewController::scanClicked()
{
    if (m_state.scanState != ScanState::idle || m_state.scanPaths.isEmpty())
        return;

    // The last scan's library goes on a worker.
    releaseLater(std::make_tuple(std::exchange(m_state.allPhotos, {}), std::exchange(m_state.filteredPhotos, {}),
                                 std::exchange(m_state.displayedPhotos, {}), std::exchange(m_state.selectedPhotoIds, {}),
                                 std::exchange(m_state.duplicateGroups, {}), std::exchange(m_state.duplicatePhotoIds, {}),
                                 std::exchange(m_state.thumbnailCache, {})));
    // Whatever a worker still prepares for that library is not shown.
    m_browser.forgetLibrary();
    m_gridModel->reload({}, {}, {});
    m_pictures.reset();

    m_state.shouldPause = false;
    m_state.shouldStop = false;
    m_state.scanState = ScanState::scanning;
    ++m_busyGeneration;

    updateButtonStates();
    loadingSpinner->startAnimation();
    statusLabel->setText(u"Scanning for photos..."_s);
    log(u"Starting scan of %1 location(s)"_s.arg(m_state.scanPaths.size()));
    m_sequence.start();
}

void MainViewController::pauseClicked()
{
    if (m_state.scanState != ScanState::scanning && m_state.scanState != ScanState::paused)
        return;
    const bool pause = m_state.scanState == ScanState::scanning;
    m_state.shouldPause = pause;
    m_state.scanState = pause ? ScanState::paused : ScanState::scanning;
    pauseButton->setText(pause ? u"Resume"_s : u"Pause"_s);
    // A file run holds between two files, and says again what it does when it resumes.
    statusLabel->setText(pause ? u"Paused"_s : m_files.active() ? m_files.working() : u"Scanning..."_s);
    if (m_files.active())
        m_files.setPaused(pause);
    else if (const std::shared_ptr<ScanRun> &run = m_sequence.run())
        run->pause = pause;
}

void MainViewController::requestStop()
{
    m_state.shouldStop = true;
    m_state.shouldPause = false; // also releases a paused walk
    // Stop ends a file run after its current file, and leaves the last scan's duplicate
    // search alone; STOP ALL ends both.
    if (m_files.active()) {
        m_files.stop();
    } else if (const std::shared_ptr<ScanRun> &run = m_sequence.run()) {
        run->stop = true;
        run->pause = false;
    }
    m_state.scanState = ScanState::stopping;
}

void MainViewController::stopClicked()
{
    requestStop();
    statusLabel->setText(u"Stopping..."_s);
}

void MainViewController::masterStopClicked()
{
    requestStop();
    if (const std::shared_ptr<ScanRun> &run = m_sequence.run()) {
        run->stop = true;
        run->pause = false;
    }
    statusLabel->setText(u"STOPPING ALL OPERATIONS..."_s);
    masterStopButton->setEnabled(false);
    masterStopButton->setText(u"Stopping..."_s);
    // A file run is never abandoned half-way through a file: it ends after the current one
    // and its completion returns the window to idle, with its summary.
    if (m_files.active())
        return;

    const quint64 generation = m_busyGeneration;
    postToMainAfter(this, 500ms, [this, generation] {
        // Something started since (a scan after the old one wound up): leave it running.
        if (generation != m_busyGeneration)
            return;
        returnToIdle();
        masterStopButton->hide();
        loadingSpinner->stopAnimation();
        statusLabel->setText(u"Stopped by user"_s);
    });
}

void MainViewController::returnToIdle()
{
    // While a file run's worker runs the window stays busy, so no second run starts beside it.
    if (m_files.active())
        return;
    m_state.scanState = ScanState::idle;
    m_state.shouldStop = false;
    m_state.shouldPause = false;
    masterStopButton->setEnabled(true); // ready for the next time it shows
    masterStopButton->setText(u"STOP ALL"_s);
    updateButtonStates();
}

// MARK: The scan sequence

void MainViewController::showProgress(const QString &text, int percent)
{
    if (percent >= 0)
        progressBar->setValue(percent);
    progressLabel->setText(text);
}

void MainViewController::walkFinished(bool stopped)
{
    const qsizetype n = m_state.allPhotos.size();
    loadingSpinner->stopAnimation();
    if (stopped) {
        statusLabel->setText(u"Stopped - %1 photos found"_s.arg(n));
        playSound(true);
        returnToIdle();
        applyFilters();
        progressLabel->setText(u"Ready"_s);
        updateStats();
        return;
    }
    statusLabel->setText(u"Found %1 photos"_s.arg(n));
    progressBar->setValue(0);
    progressLabel->setText(u"Generating thumbnails for first %1..."_s.arg(LibraryState::photosPerPage));
    // The cards show at once, with placeholders; the wind-up waits for the first page's
    // pictures, which fill in as they are made.
    applyFilters();
}

void MainViewController::requestPageThumbnails()
{
    const auto [first, end] = collectionView->visibleRows();
    m_pictures.request(m_sequence.run(), first, end, devicePixelRatioF());
}

void MainViewController::pageThumbnailsSettled()
{
    if (!m_browser.filterPending())
        m_sequence.firstPageReady();
}

void MainViewController::stageApplied(const StageOutcome &outcome)
{
    m_browser.prepareIndex(); // the duplicates view's positions
    for (const QString &line : outcome.logLines)
        log(line);
    statusLabel->setText(outcome.status);
    // New groups show at once: on the badges, and in the duplicates view with its
    // statistics (only that view's line counts groups).
    if (outcome.changed == LibraryChange::duplicates) {
        if (m_state.viewMode == ViewMode::duplicates)
            applyFilters();
        else
            m_gridModel->showDuplicates(m_state.duplicatePhotoIds);
    }
    updateButtonStates();
}

void MainViewController::finishProcessing(bool stopped)
{
    // The grid was filled when the walk ended.
    returnToIdle();
    const qsizetype n = m_state.allPhotos.size();
    if (stopped) {
        statusLabel->setText(u"Stopped - %1 photos loaded"_s.arg(n));
        progressLabel->setText(u"Stopped by user"_s);
    } else {
        statusLabel->setText(u"Ready - %1 photos"_s.arg(n));
        progressLabel->setText(u"Ready"_s);
    }
    playSound(stopped);
    updateStats();
}

void MainViewController::playSound(bool stopped)
{
    if (m_services.sounds)
        m_services.sounds->play(stopped ? SystemSound::basso : SystemSound::glass);
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
        .duplicateGroupCount = m_state.duplicateGroups.size(),
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

void MainViewController::showFiltered(QList<PhotoItem> filtered)
{
    std::swap(m_state.filteredPhotos, filtered);
    releaseLater(std::move(filtered));
    m_state.currentlyShowing = Paging::afterFilter(m_state.filteredPhotos.size());
    updateDisplayedPhotos();
    collectionView->scrollToTop(); // a new list starts at its beginning
}

void MainViewController::viewModeChanged()
{
    m_state.viewMode = viewModeSegment->currentIndex() != 0 ? ViewMode::duplicates : ViewMode::all;
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

// MARK: Paging

void MainViewController::updateDisplayedPhotos()
{
    m_state.displayedPhotos = Paging::displayedPage(m_state.filteredPhotos, m_state.currentlyShowing);
    m_gridModel->reload(m_state.displayedPhotos, m_state.selectedPhotoIds, m_state.duplicatePhotoIds,
                        m_state.thumbnailCache);
    requestPageThumbnails();
    updateLoadMoreControls();
    updateStats();
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
    m_state.currentlyShowing = Paging::afterLoadMore(m_state.currentlyShowing, m_state.filteredPhotos.size());
    // The new cards show at once; their pictures follow as they are made.
    updateDisplayedPhotos();
}

void MainViewController::refillDisplayedPhotos()
{
    m_state.currentlyShowing = Paging::afterRemoval(m_state.currentlyShowing, m_state.filteredPhotos.size());
    updateDisplayedPhotos();
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
