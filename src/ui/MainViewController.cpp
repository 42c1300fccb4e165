#include "ui/MainViewController.h"

#include "actions/ButtonStates.h"
#include "browse/Filtering.h"
#include "browse/Paging.h"
#include "browse/Statistics.h"
#include "browse/Thumbnails.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"
#include "platform/ActivityLog.h"
#include "platform/DesktopServices.h"
#include "platform/Dialogs.h"
#include "platform/Home.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"
#include "platform/Sounds.h"
#include "scan/FolderDrop.h"
#include "scan/FolderScanner.h"
#include "scan/ScanControl.h"
#include "scan/ScanRun.h"
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
    : QWidget(parent), m_services(std::move(services))
{
    setPalette(Palette::lightPalette());
    setMinimumSize(1000, 700);
    resize(designSize);
    m_state.destinationPath = picturesDirectory();
    // A scan, a duplicate pass or a file run each hold a thread for long; a filter or a
    // release must not queue behind them.
    m_workers.setMaxThreadCount(std::max(8, QThread::idealThreadCount() * 2));
    setupUI();
    setAcceptDrops(true);
    connect(collectionView, &PhotoGridView::contextMenuRequested, this,
            &MainViewController::showPhotoContextMenu);
    // The cards scrolled into view get their pictures first.
    connect(collectionView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_pageThumbnails) {
            const auto [first, end] = collectionView->visibleRows();
            m_pageThumbnails->setVisibleRows(first, end);
        }
    });
    installKeyboardShortcuts(*this);
}

MainViewController::~MainViewController()
{
    // Ask every worker to end and wait for it: none may outlive the state it reports to.
    // Work of earlier runs was told to stop when they were replaced.
    if (m_run) {
        m_run->stop = true;
        m_run->replaced = true;
    }
    m_state.shouldStop = true;
    if (m_fileRun)
        m_fileRun->stop = true; // a copy, move or delete ends after its current file
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
                                 std::exchange(m_state.thumbnailCache, {}), std::exchange(m_filterBase, {}),
                                 std::exchange(m_lastFilter, {})));
    // Whatever a worker still prepares for that library is not shown.
    ++m_filterGeneration;
    ++m_statsGeneration;
    ++m_selectionGeneration;
    m_filterPending = m_statsPending = m_selectionPending = false;
    m_gridModel->reload({}, {}, {});
    if (const std::shared_ptr<ThumbnailRequest> pictures = std::exchange(m_pageThumbnails, {}))
        pictures->cancel();
    m_thumbnailPhase.reset();
    releaseLater(std::exchange(m_noPicture, {}));

    m_state.shouldPause = false;
    m_state.shouldStop = false;
    m_state.scanState = ScanState::scanning;
    ++m_busyGeneration;
    // Work of an earlier scan may still be running (a walk stuck in a slow folder, a
    // duplicate pass): it is told to stop, and what it still reports is dropped.
    if (m_run) {
        m_run->stop = true;
        m_run->replaced = true;
    }
    m_run = std::make_shared<ScanRun>(++m_lastRunId);

    updateButtonStates();
    loadingSpinner->startAnimation();
    statusLabel->setText(u"Scanning for photos..."_s);
    log(u"Starting scan of %1 location(s)"_s.arg(m_state.scanPaths.size()));
    performScan(m_run);
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
    statusLabel->setText(pause ? u"Paused"_s : m_fileRun ? m_fileRun->working : u"Scanning..."_s);
    if (m_fileRun)
        m_fileRun->pause = pause;
    else if (m_run)
        m_run->pause = pause;
}

void MainViewController::requestStop()
{
    m_state.shouldStop = true;
    m_state.shouldPause = false; // also releases a paused walk
    // Stop ends a file run after its current file, and leaves the last scan's duplicate
    // search alone; STOP ALL ends both.
    if (m_fileRun) {
        m_fileRun->stop = true;
        m_fileRun->pause = false;
    } else if (m_run) {
        m_run->stop = true;
        m_run->pause = false;
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
    if (m_run) {
        m_run->stop = true;
        m_run->pause = false;
    }
    statusLabel->setText(u"STOPPING ALL OPERATIONS..."_s);
    masterStopButton->setEnabled(false);
    masterStopButton->setText(u"Stopping..."_s);
    // A file run is never abandoned half-way through a file: it ends after the current one
    // and its completion returns the window to idle, with its summary.
    if (m_fileRun)
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
    if (m_fileRun)
        return;
    m_state.scanState = ScanState::idle;
    m_state.shouldStop = false;
    m_state.shouldPause = false;
    masterStopButton->setEnabled(true); // ready for the next time it shows
    masterStopButton->setText(u"STOP ALL"_s);
    updateButtonStates();
}

void MainViewController::postForRun(std::shared_ptr<ScanRun> run, std::function<void()> update)
{
    postToMain(this, [this, run = std::move(run), update = std::move(update)] {
        if (run == m_run)
            update();
    });
}

// MARK: The scan pipeline

void MainViewController::performScan(const std::shared_ptr<ScanRun> &run)
{
    // Reports progress to the window, at most once a frame for each label; each update
    // reads the shared counters when it is shown, and updates of a run that has been
    // replaced are dropped.
    class WindowSink final : public ScanProgressSink
    {
    public:
        WindowSink(MainViewController *c, std::shared_ptr<ScanRun> run)
            : m_c(c), m_run(std::move(run)), m_progress(c), m_status(c)
        {
        }

        void foldersToScan(int total) override
        {
            post(m_progress, [c = m_c, total] { c->progressLabel->setText(ScanTexts::foldersToScan(total)); });
        }
        void directoryBegun(int total, const FilePath &directory) override
        {
            post(m_progress, [c = m_c, counters = counters, total, directory] {
                const int begun = counters->directoriesBegun;
                c->progressBar->setValue(qRound(ScanTexts::directoryPercent(begun, total)));
                c->progressLabel->setText(ScanTexts::scanningDirectory(begun, total, directory));
            });
        }
        void photosFoundMilestone() override
        {
            post(m_status, [c = m_c, counters = counters] {
                c->statusLabel->setText(ScanTexts::photosFound(counters->photosFound));
            });
        }
        // The last updates, shown before anything posted after this.
        void flush()
        {
            m_progress.flush();
            m_status.flush();
        }

    private:
        void post(ProgressCoalescer &to, std::function<void()> update)
        {
            to.post([c = m_c, run = m_run, update = std::move(update)] {
                if (run == c->m_run)
                    update();
            });
        }
        MainViewController *m_c;
        std::shared_ptr<ScanRun> m_run;
        ProgressCoalescer m_progress, m_status;
    };

    const FileSystem *fs = m_services.fileSystem;
    startWork(m_workers, [this, fs, paths = m_state.scanPaths, run] {
        WindowSink sink(this, run);
        ScanResult result = scanFolders(*fs, paths, ScanFlags{run->pause, run->stop}, sink);
        sink.flush();
        finishScan(run, std::move(result.photos));
    });
}

void MainViewController::finishScan(const std::shared_ptr<ScanRun> &run, QList<PhotoItem> foundPhotos)
{
    postForRun(run, [this, run, foundPhotos = std::move(foundPhotos)]() mutable {
        const qsizetype n = foundPhotos.size();
        m_state.allPhotos = std::move(foundPhotos);
        loadingSpinner->stopAnimation();

        // The run's own flag also covers a walk that STOP ALL's reset has already given up
        // on: it ended early, so its result is reported as stopped.
        if (run->stop || m_state.shouldStop) {
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
        generateThumbnails(run);
    });
}

void MainViewController::generateThumbnails(const std::shared_ptr<ScanRun> &run)
{
    // The cards show at once, with placeholders; the wind-up waits for the first page's
    // pictures, which fill in as they are made.
    m_thumbnailPhase = run;
    applyFilters();
}

void MainViewController::requestPageThumbnails()
{
    // The newest page wins. What the last request has begun still comes from it, and a
    // file that gave no picture is not tried again.
    PhotoIdSet begun;
    if (const std::shared_ptr<ThumbnailRequest> previous = std::exchange(m_pageThumbnails, {})) {
        previous->cancel();
        begun = previous->begun();
    }
    QList<ThumbnailJob> jobs;
    for (qsizetype row = 0; row < m_state.displayedPhotos.size(); ++row) {
        const PhotoItem &photo = m_state.displayedPhotos[row];
        const PhotoId id = photo.id();
        if (!m_state.thumbnailCache.contains(id) && !m_noPicture.contains(id) && !begun.contains(id))
            jobs.append({id, photo.path(), row});
    }
    const std::shared_ptr<ScanRun> run = m_run;
    if (jobs.isEmpty() || !run) {
        pageThumbnailsSettled();
        return;
    }
    const auto request = std::make_shared<ThumbnailRequest>(std::move(jobs));
    const auto [first, end] = collectionView->visibleRows();
    request->setVisibleRows(first, end);
    m_pageThumbnails = request;

    const qreal dpr = devicePixelRatioF();
    startWork(m_workers, [this, run, request, dpr] {
        ProgressCoalescer shown(this);
        ThumbnailOptions options;
        options.devicePixelRatio = dpr;
        options.stopRequested = [this, &run] { return m_state.shouldStop.load() || run->replaced.load(); };
        // Shown while a scan waits on its first page, not over what came after.
        options.progress = [this, request, &shown](int position, int count) {
            shown.post([this, request, position, count] {
                if (request != m_pageThumbnails || !m_thumbnailPhase)
                    return;
                progressLabel->setText(ThumbnailTexts::progress(position, count));
                progressBar->setValue(qRound(ThumbnailTexts::progressPercent(position, count)));
            });
        };
        // Pictures of a replaced scan are dropped; those of a replaced page are kept.
        options.deliver = [this, run](QHash<PhotoId, QImage> batch) {
            postForRun(run, [this, batch = std::move(batch)] {
                for (auto it = batch.cbegin(); it != batch.cend(); ++it) {
                    if (it->isNull())
                        m_noPicture.insert(it.key());
                    else
                        m_state.thumbnailCache.insert(it.key(), *it);
                }
                m_gridModel->showThumbnails(batch);
            });
        };
        makeThumbnails(*request, options);
        shown.flush();
        postForRun(run, [this, request] {
            if (request != m_pageThumbnails)
                return; // a newer page's request took over
            m_pageThumbnails.reset();
            pageThumbnailsSettled();
        });
    });
}

void MainViewController::pageThumbnailsSettled()
{
    if (!m_thumbnailPhase || m_filterPending)
        return;
    const std::shared_ptr<ScanRun> run = std::exchange(m_thumbnailPhase, {});
    postForRun(run, [this, run] {
        const bool stopped = run->stop || m_state.shouldStop;
        finishProcessing(stopped);
        if (!stopped)
            findDuplicatesInBackground();
    });
}

void MainViewController::findDuplicatesInBackground()
{
    statusLabel->setText(DuplicateTexts::started());
    // The pass belongs to the scan whose photos it reads: a newer scan stops it and drops
    // what it finds.
    const std::shared_ptr<ScanRun> run = m_run;
    if (!run)
        return;
    const FileSystem *fs = m_services.fileSystem;
    startWork(m_workers, [this, fs, run, snapshot = duplicateSnapshot(m_state.allPhotos)] {
        ProgressCoalescer shown(this);
        const auto progress = [this, run, &shown](int position, int total) {
            shown.post([this, run, position, total] {
                if (run != m_run)
                    return;
                progressLabel->setText(DuplicateTexts::progress(position, total));
                progressBar->setValue(qRound(DuplicateTexts::progressPercent(position, total)));
            });
        };
        DuplicatePassResult result = runDuplicatePass(snapshot, *fs, run->stop, progress);
        if (!result.stopped)
            result.preparedGroups = duplicateGroupsOf(result);
        shown.flush();
        postForRun(run, [this, result = std::move(result)] {
            const std::optional<DuplicateSummary> summary = publishDuplicatePass(m_state, result);
            prepareFilterBase(); // the duplicates view's positions
            if (summary && summary->groupCount > 0)
                log(DuplicateTexts::summary(*summary));
            statusLabel->setText(DuplicateTexts::finished(m_state.duplicateGroups.size(),
                                                          m_state.allPhotos.size()));
            // The groups show at once: on the badges, and in the duplicates view with its
            // statistics (only that view's line counts groups).
            if (summary && m_state.viewMode == ViewMode::duplicates)
                applyFilters();
            else if (summary)
                m_gridModel->showDuplicates(m_state.duplicatePhotoIds);
            updateButtonStates();
        });
    });
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
    const quint64 generation = ++m_statsGeneration;
    if (m_state.allPhotos.size() < backgroundFrom) {
        m_statsPending = false;
        statsLabel->setText(statisticsLine(m_state));
        return;
    }
    m_statsPending = true;
    startWork(m_workers, [this, generation, input = StatisticsInput::of(m_state)] {
        QString line = statisticsLine(input);
        postToMain(this, [this, generation, line = std::move(line)] {
            if (generation != m_statsGeneration)
                return;
            m_statsPending = false;
            statsLabel->setText(line);
        });
    });
}

void MainViewController::photoSelectionChanged(const PhotoItem &photo, bool selected)
{
    ++m_selectionGeneration;
    m_selectionPending = false;
    if (selected)
        m_state.selectedPhotoIds.insert(photo.id());
    else
        m_state.selectedPhotoIds.remove(photo.id());
    updateStats();
}

// MARK: Filters

void MainViewController::applyFilters()
{
    FilterChoice choice;
    choice.viewMode = m_state.viewMode;
    choice.fileType = m_state.currentFilter;
    choice.searchText = m_state.searchText;
    const quint64 generation = ++m_filterGeneration;
    if (m_state.allPhotos.size() < backgroundFrom) {
        m_filterPending = false;
        showFiltered(filterPhotos(m_state.allPhotos, m_state.duplicatePhotoIds, choice));
        return;
    }
    // Nothing narrows the list: it is the library's, shared. The index is made meanwhile,
    // so that the first keystroke finds it.
    if (!choice.narrows()) {
        m_filterPending = false;
        showFiltered(m_state.allPhotos);
        prepareFilterBase();
        return;
    }
    // Filtered on a worker through the index; the grid shows the last result until then.
    m_filterPending = true;
    startWork(m_workers, [this, generation, base = m_filterBase, all = m_state.allPhotos,
                     duplicateIds = m_state.duplicatePhotoIds, choice, previous = m_lastFilter] {
        auto prepared = std::make_shared<PreparedFilter>(prepareFilter(base, all, duplicateIds, choice, previous));
        postToMain(this, [this, generation, prepared]() mutable {
            if (generation == m_filterGeneration) {
                m_filterPending = false;
                m_filterBase = prepared->base;
                m_lastFilter = std::move(prepared->result);
                showFiltered(std::move(prepared->photos));
            }
            releaseLater(std::move(prepared));
        });
    });
}

void MainViewController::prepareFilterBase()
{
    if (m_state.allPhotos.size() < backgroundFrom)
        return;
    startWork(m_workers, [this, base = m_filterBase, all = m_state.allPhotos, duplicateIds = m_state.duplicatePhotoIds] {
        std::shared_ptr<const FilterBase> made = filterBaseFor(base, all, duplicateIds);
        postToMain(this, [this, made] {
            // Kept while it still describes the library; a filter result made meanwhile may
            // already have brought a newer one.
            if (made->photos.isSharedWith(m_state.allPhotos)
                && (!m_filterBase || !m_filterBase->photos.isSharedWith(m_state.allPhotos)
                    || m_filterBase->duplicateIds.size() != m_state.duplicatePhotoIds.size())) {
                m_filterBase = made;
            }
            releaseLater(made);
        });
    });
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
