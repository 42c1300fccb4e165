#include "ui/MainViewController.h"

#include "actions/ButtonStates.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"
#include "platform/ActivityLog.h"
#include "platform/Dialogs.h"
#include "platform/Home.h"
#include "platform/Queues.h"
#include "platform/Sounds.h"
#include "scan/FolderScanner.h"
#include "scan/ScanControl.h"
#include "scan/ScanRun.h"
#include "ui/ColoredButtonView.h"
#include "ui/Decorations.h"
#include "ui/HelpWindow.h"
#include "ui/Palette.h"
#include "ui/PhotoGridView.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

MainViewController::MainViewController(Services services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    setPalette(Palette::lightPalette());
    setMinimumSize(1000, 700);
    resize(designSize);
    setupUI();
}

MainViewController::~MainViewController()
{
    // Ask every worker to end and wait for it: none may outlive the state it reports to.
    m_state.shouldStop = true;
    if (m_run)
        m_run->stop = true;
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
    if (!chosen)
        return;
    m_state.scanPaths = *chosen;
    scanButton->setEnabled(!m_state.scanPaths.isEmpty());
    progressLabel->setText(ScanControlTexts::readyToScan(m_state.scanPaths));
    log(u"Selected folders: "_s + ScanControlTexts::pathListLiteral(m_state.scanPaths));
}

void MainViewController::fullScanClicked()
{
    const int answer = m_services.dialogs->runAlert({
        .message = u"Full Disk Scan"_s,
        .informativeText = u"This will scan your entire home folder for photos. This may take a "
                           "while depending on how many files you have.\n\nNote: Full Disk Access "
                           "permission may be required in System Settings > Privacy & Security."_s,
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
    const QString shown = QFile::decodeName(m_state.destinationPath);
    destinationLabel->setText(u"Destination: "_s + shown);
    log(u"Set destination: "_s + shown);
}

// MARK: Scan control

void MainViewController::scanClicked()
{
    if (m_state.scanState != ScanState::idle || m_state.scanPaths.isEmpty())
        return;

    m_state.allPhotos.clear();
    m_state.displayedPhotos.clear();
    m_state.selectedPhotoIds.clear();
    m_state.duplicateGroups.clear();
    m_state.duplicatePhotoIds.clear();
    m_state.thumbnailCache.clear();
    collectionView->reset();

    m_state.shouldPause = false;
    m_state.shouldStop = false;
    m_state.scanState = ScanState::scanning;
    ++m_busyGeneration;
    // Work of an earlier scan may still be running (a walk stuck in a slow folder, a
    // duplicate pass): it is told to stop, and what it still reports is dropped.
    if (m_run)
        m_run->stop = true;
    m_run = std::make_shared<ScanRun>(++m_lastRunId);

    updateButtonStates();
    loadingSpinner->startAnimation();
    statusLabel->setText(u"Scanning for photos..."_s);
    log(u"Starting scan of %1 location(s)"_s.arg(m_state.scanPaths.size()));
    performScan(m_run);
}

void MainViewController::pauseClicked()
{
    if (m_state.scanState == ScanState::scanning) {
        m_state.shouldPause = true;
        m_state.scanState = ScanState::paused;
        pauseButton->setText(u"Resume"_s);
        statusLabel->setText(u"Paused"_s);
    } else if (m_state.scanState == ScanState::paused) {
        m_state.shouldPause = false;
        m_state.scanState = ScanState::scanning;
        pauseButton->setText(u"Pause"_s);
        statusLabel->setText(u"Scanning..."_s);
    } else {
        return;
    }
    if (m_run)
        m_run->pause = m_state.shouldPause.load();
}

void MainViewController::requestStop()
{
    m_state.shouldStop = true;
    m_state.shouldPause = false; // also releases a paused walk
    if (m_run) {
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
    statusLabel->setText(u"STOPPING ALL OPERATIONS..."_s);
    masterStopButton->setEnabled(false);
    masterStopButton->setText(u"Stopping..."_s);

    const quint64 generation = m_busyGeneration;
    postToMainAfter(this, 500ms, [this, generation] {
        // Something started since (a scan after the old one wound up): leave it running.
        if (generation != m_busyGeneration)
            return;
        m_state.scanState = ScanState::idle;
        m_state.shouldStop = false;
        m_state.shouldPause = false;
        masterStopButton->hide();
        masterStopButton->setEnabled(true);
        masterStopButton->setText(u"STOP ALL"_s);
        loadingSpinner->stopAnimation();
        statusLabel->setText(u"Stopped by user"_s);
        updateButtonStates();
    });
}

bool MainViewController::isCurrent(const ScanRun &run) const
{
    return m_run.get() == &run;
}

// MARK: The scan pipeline

void MainViewController::performScan(const std::shared_ptr<ScanRun> &run)
{
    // Reports progress to the window; each update reads the shared counters when it is
    // shown, and updates of a run that has been replaced are dropped.
    class WindowSink final : public ScanProgressSink
    {
    public:
        WindowSink(MainViewController *c, std::shared_ptr<ScanRun> run) : m_c(c), m_run(std::move(run)) {}

        void foldersToScan(int total) override
        {
            post([c = m_c, total] { c->progressLabel->setText(ScanTexts::foldersToScan(total)); });
        }
        void directoryBegun(int total, const FilePath &directory) override
        {
            post([c = m_c, counters = counters, total, directory] {
                const int begun = counters->directoriesBegun;
                c->progressBar->setValue(qRound(ScanTexts::directoryPercent(begun, total)));
                c->progressLabel->setText(ScanTexts::scanningDirectory(begun, total, directory));
            });
        }
        void photosFoundMilestone() override
        {
            post([c = m_c, counters = counters] {
                c->statusLabel->setText(ScanTexts::photosFound(counters->photosFound));
            });
        }

    private:
        void post(std::function<void()> update)
        {
            postToMain(m_c, [c = m_c, run = m_run, update = std::move(update)] {
                if (c->isCurrent(*run))
                    update();
            });
        }
        MainViewController *m_c;
        std::shared_ptr<ScanRun> m_run;
    };

    const FileSystem *fs = m_services.fileSystem;
    m_workers.start([this, fs, paths = m_state.scanPaths, run] {
        WindowSink sink(this, run);
        ScanResult result = scanFolders(*fs, paths, ScanFlags{run->pause, run->stop}, sink);
        finishScan(run, std::move(result.photos));
    });
}

void MainViewController::finishScan(const std::shared_ptr<ScanRun> &run, QList<PhotoItem> foundPhotos)
{
    postToMain(this, [this, run, foundPhotos = std::move(foundPhotos)]() mutable {
        if (!isCurrent(*run))
            return;
        const qsizetype n = foundPhotos.size();
        m_state.allPhotos = std::move(foundPhotos);
        loadingSpinner->stopAnimation();

        // The run's own flag also covers a walk that STOP ALL's reset has already given up
        // on: it ended early, so its result is reported as stopped.
        if (run->stop || m_state.shouldStop) {
            statusLabel->setText(u"Stopped - %1 photos found"_s.arg(n));
            playSound(true);
            m_state.scanState = ScanState::idle;
            m_state.shouldStop = false;
            m_state.shouldPause = false;
            updateButtonStates();
            applyFilters();
            progressLabel->setText(u"Ready"_s);
            updateStats();
            return;
        }

        statusLabel->setText(u"Found %1 photos"_s.arg(n));
        progressBar->setValue(0);
        progressLabel->setText(u"Generating thumbnails for first %1..."_s.arg(LibraryState::photosPerPage));
        m_workers.start([this, run] {
            generateThumbnails(run);
            postToMain(this, [this, run] {
                if (!isCurrent(*run))
                    return;
                const bool stopped = run->stop || m_state.shouldStop;
                finishProcessing(stopped);
                if (!stopped)
                    findDuplicatesInBackground();
            });
        });
    });
}

void MainViewController::generateThumbnails(const std::shared_ptr<ScanRun> &run)
{
    // Runs on a worker. The first page's thumbnails are made here once the grid can show
    // them; until then there is nothing to do.
    Q_UNUSED(run);
}

void MainViewController::findDuplicatesInBackground()
{
    statusLabel->setText(DuplicateTexts::started());
    // The pass belongs to the scan whose photos it reads: a newer scan stops it and drops
    // what it finds.
    const std::shared_ptr<ScanRun> run = m_run;
    if (!run)
        return;
    m_workers.start([this, run, snapshot = duplicateSnapshot(m_state.allPhotos)] {
        const auto progress = [this, run](int position, int total) {
            postToMain(this, [this, run, position, total] {
                if (!isCurrent(*run))
                    return;
                progressLabel->setText(DuplicateTexts::progress(position, total));
                progressBar->setValue(qRound(DuplicateTexts::progressPercent(position, total)));
            });
        };
        DuplicatePassResult result = runDuplicatePass(snapshot, run->stop, progress);
        postToMain(this, [this, run, result = std::move(result)] {
            if (!isCurrent(*run))
                return;
            const std::optional<DuplicateSummary> summary = publishDuplicatePass(m_state, result);
            if (summary && summary->groupCount > 0)
                log(DuplicateTexts::summary(*summary));
            statusLabel->setText(DuplicateTexts::finished(m_state.duplicateGroups.size(),
                                                          m_state.allPhotos.size()));
            updateButtonStates();
        });
    });
}

void MainViewController::finishProcessing(bool stopped)
{
    m_state.scanState = ScanState::idle;
    m_state.shouldStop = false;
    m_state.shouldPause = false;
    updateButtonStates();
    applyFilters();
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
    // The statistics line itself comes with the browsing code; the buttons follow now.
    updateButtonStates();
}

void MainViewController::applyFilters()
{
    // Filtering and paging of the grid attach here.
}

void MainViewController::viewModeButtonClicked(int tag)
{
    Q_UNUSED(tag);
    // Until the grid can be narrowed, the highlight stays on the current mode.
    for (QPushButton *button : std::as_const(viewModeButtons))
        button->setChecked(button->property("tag").toInt() == int(m_state.viewMode));
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
