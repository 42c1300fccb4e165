// The main window's scan control (Scan, Pause, Stop, STOP ALL) and what it shows of the
// scan sequence's progress and results.
#include "ui/MainViewController.h"

#include "platform/Sounds.h"
#include "ui/Decorations.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// MARK: Scan control

void MainViewController::scanClicked()
{
    if (m_state.scanState != ScanState::idle || m_state.scanPaths.isEmpty())
        return;

    // The last scan's library goes on a worker.
    releaseLater(std::make_tuple(std::exchange(m_state.allPhotos, {}), std::exchange(m_state.filteredPhotos, {}),
                                 std::exchange(m_state.displayedPhotos, {}), std::exchange(m_state.selectedPhotoIds, {}),
                                 std::exchange(m_state.duplicateGroups, {}), std::exchange(m_state.duplicatePhotoIds, {}),
                                 std::exchange(m_state.similarGroups, {}), std::exchange(m_state.similarPhotoIds, {}),
                                 std::exchange(m_state.bestPhotoIds, {}), std::exchange(m_state.thumbnailCache, {})));
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
    m_browser.prepareIndex(); // the views' positions
    for (const QString &line : outcome.logLines)
        log(line);
    statusLabel->setText(outcome.status);
    // New groups show at once: on the badges, and in their view with its statistics (only
    // those views' lines count groups).
    const auto changed = [&outcome](LibraryChange change) { return (int(outcome.changed) & int(change)) != 0; };
    const bool duplicates = changed(LibraryChange::duplicates), similar = changed(LibraryChange::similar);
    if ((duplicates && m_state.viewMode == ViewMode::duplicates) || (similar && m_state.viewMode == ViewMode::similar))
        applyFilters();
    else if (duplicates || similar)
        m_gridModel->showBadges({m_state.duplicatePhotoIds, m_state.similarPhotoIds, m_state.bestPhotoIds});
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
