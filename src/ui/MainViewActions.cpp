// The main window's actions on what was found: selection, the preview, copy, move and
// delete. The file work runs on a worker; its progress and completion come back as queued
// calls, so the GUI thread never waits on the disk.
#include "ui/MainViewController.h"

#include "actions/FileOperations.h"
#include "duplicates/DuplicatePublish.h"
#include "platform/Dialogs.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"
#include "ui/PhotoContextMenu.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QShortcut>

#include <thread>

using namespace Qt::StringLiterals;

// MARK: Selection

void MainViewController::showBulkSelection()
{
    // The cards take the selection at a reload; a checkbox shows its own change at once.
    m_gridModel->reload(m_state.displayedPhotos, m_state.selectedPhotoIds, m_state.duplicatePhotoIds,
                        m_state.thumbnailCache);
    updateStats();
}

void MainViewController::selectAllClicked()
{
    ++m_selectionGeneration;
    m_selectionPending = false;
    for (const PhotoItem &photo : std::as_const(m_state.displayedPhotos))
        m_state.selectedPhotoIds.insert(photo.id());
    showBulkSelection();
    log(u"Selected all %1 photos"_s.arg(m_state.displayedPhotos.size()));
}

void MainViewController::deselectAllClicked()
{
    ++m_selectionGeneration;
    m_selectionPending = false;
    releaseLater(std::exchange(m_state.selectedPhotoIds, {}));
    showBulkSelection();
}

void MainViewController::keepOriginalsClicked()
{
    const quint64 generation = ++m_selectionGeneration;
    const auto show = [this](PhotoIdSet selection) {
        std::swap(m_state.selectedPhotoIds, selection);
        releaseLater(std::move(selection));
        showBulkSelection();
        log(u"Selected %1 duplicates (keeping originals)"_s.arg(m_state.selectedPhotoIds.size()));
    };
    if (m_state.allPhotos.size() < backgroundFrom) {
        m_selectionPending = false;
        show(duplicatesBesideOriginals(m_state.duplicateGroups));
        return;
    }
    // A million ids take a while to gather: a worker does it; a selection change made
    // meanwhile wins.
    m_selectionPending = true;
    startWork(m_workers, [this, generation, show, groups = m_state.duplicateGroups] {
        auto selection = std::make_shared<PhotoIdSet>(duplicatesBesideOriginals(groups));
        postToMain(this, [this, generation, show, selection] {
            if (generation == m_selectionGeneration) {
                m_selectionPending = false;
                show(std::move(*selection));
            }
            releaseLater(selection);
        });
    });
}

void MainViewController::openPreview(int displayedIndex)
{
    if (displayedIndex < 0 || displayedIndex >= m_state.displayedPhotos.size())
        return;
    const PhotoItem &photo = m_state.displayedPhotos[displayedIndex];
    // The window is reused rather than replaced: destroying one would wait on the GUI
    // thread for the decode it may have in flight.
    if (m_previewController) {
        m_previewController->reopen(photo, m_state.displayedPhotos, displayedIndex);
    } else {
        m_previewController = new PreviewWindowController(photo, m_state.displayedPhotos, displayedIndex, this);
        if (m_services.desktop) {
            // The same menu as a card's: the mouse, the Menu key (a context-menu event) or Shift+F10.
            PreviewWindowController *preview = m_previewController;
            const auto showMenu = [this, preview](QPoint at) {
                photoContextMenu(preview->currentPhoto(), *m_services.desktop, preview)->popup(preview->mapToGlobal(at));
            };
            preview->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(preview, &QWidget::customContextMenuRequested, preview, showMenu);
            auto *shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), preview);
            connect(shiftF10, &QShortcut::activated, preview, [preview, showMenu] { showMenu(preview->rect().center()); });
        }
    }
    m_previewController->show();
    m_previewController->raise();
    m_previewController->activateWindow();
    // A card click opens the preview; it never leaves a card selected in the grid's sense.
    collectionView->clearSelection();
}

// MARK: File operations

// The library as a file run found it, and as it is without the photos whose file left,
// prepared on the worker so that the GUI thread only swaps it in.
struct MainViewController::PreparedLibrary
{
    QList<PhotoItem> allBefore, filteredBefore;
    QList<PhotoItem> all, filtered;
    QList<DuplicateGroup> groupsBefore;
    LibraryState pruned; // its groups and duplicate ids, without the photos that left
};

quint64 MainViewController::beginFileWork(const QString &status)
{
    statusLabel->setText(status);
    m_state.scanState = ScanState::scanning;
    m_fileRun = std::make_shared<FileRun>();
    m_fileRun->working = status;
    updateButtonStates();
    return ++m_busyGeneration;
}

void MainViewController::startFileWork(FileWork work, bool removesFiles,
                                       std::function<void(const FileOpProgress &)> showProgress,
                                       std::function<void(const FileOpOutcome &, PreparedLibrary &)> finish)
{
    // The work list is taken now; the lists are shared, not copied, so this costs nothing
    // here, and the worker filters them. The worker begins on the next turn of the event
    // loop, so a Pause or Stop given with the click itself applies from its first file.
    const std::shared_ptr<FileRun> run = m_fileRun;
    auto job = [this, run, work = std::move(work), removesFiles, showProgress = std::move(showProgress),
                finish = std::move(finish), all = m_state.allPhotos, filtered = m_state.filteredPhotos,
                selected = m_state.selectedPhotoIds, groups = m_state.duplicateGroups,
                duplicateIds = m_state.duplicatePhotoIds] {
        ProgressCoalescer shown(this);
        const auto progress = [&shown, &showProgress, &run](const FileOpProgress &p) {
            shown.post([showProgress, p] { showProgress(p); });
            // Paused, the run holds here, between two files, until resumed or stopped.
            while (run->pause && !run->stop && p.done + p.errors < p.total)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        const auto logLine = [this](const QString &line) { postToMain(this, [this, line] { log(line); }); };
        FileOpOutcome outcome = work(fileJobsFor(all, selected), progress, logLine, &run->stop);
        shown.flush();
        auto prepared = std::make_shared<PreparedLibrary>();
        if (removesFiles) {
            prepared->allBefore = all;
            prepared->filteredBefore = filtered;
            prepared->all = withoutPhotos(all, outcome.succeededIds);
            prepared->filtered = filtered.isSharedWith(all) ? prepared->all
                                                            : withoutPhotos(filtered, outcome.succeededIds);
            prepared->groupsBefore = groups;
            prepared->pruned.duplicateGroups = groups;
            prepared->pruned.duplicatePhotoIds = duplicateIds;
            pruneDuplicateGroups(prepared->pruned, outcome.succeededIds);
        }
        postToMain(this, [this, finish, outcome = std::move(outcome), prepared]() mutable {
            m_fileRun.reset(); // the window may go idle again
            finish(outcome, *prepared);
            playSound(outcome.stopped());
            releaseLater(std::move(prepared)); // the lists it replaced
        });
    };
    postToMain(this, [this, job = std::move(job)]() mutable { startWork(m_workers, std::move(job)); });
}

void MainViewController::copyClicked()
{
    performFileOperation(FileOperation::copy);
}

void MainViewController::moveClicked()
{
    performFileOperation(FileOperation::move);
}

void MainViewController::performFileOperation(FileOperation operation)
{
    // One run at a time: a second one beside the first would work on photos already leaving.
    if (m_state.selectedPhotoIds.isEmpty() || m_state.scanState != ScanState::idle)
        return;
    FolderChooserRequest request;
    request.message = u"Select destination folder"_s;
    request.prompt = FileOperationTexts::panelPrompt(operation);
    request.canCreateFolders = true;
    request.startDirectory = m_state.destinationPath;
    const std::optional<QList<FilePath>> chosen = m_services.dialogs->chooseFolders(request);
    if (!chosen || chosen->isEmpty())
        return;

    const FilePath destination = chosen->first();
    beginFileWork(FileOperationTexts::working(operation));
    const bool move = operation == FileOperation::move;
    startFileWork(
        [operation, destination](const QList<FileJob> &jobs, auto progress, auto logLine, auto abandon) {
            return runFileOperation(operation, destination, jobs, progress, logLine, abandon);
        },
        move,
        [this, operation](const FileOpProgress &p) {
            progressBar->setValue(qRound(FileOperationTexts::progressPercent(p)));
            progressLabel->setText(FileOperationTexts::progress(operation, p.done, p.total));
        },
        [this, operation, move](const FileOpOutcome &outcome, PreparedLibrary &prepared) {
            returnToIdle();
            if (move)
                removeFromLibrary(outcome.succeededIds, prepared);
            statusLabel->setText(FileOperationTexts::summary(operation, outcome));
            updateStats();
        });
}

void MainViewController::deleteClicked()
{
    if (m_state.selectedPhotoIds.isEmpty() || m_state.scanState != ScanState::idle)
        return;
    const int answer = m_services.dialogs->runAlert({
        .message = u"Delete %1 photo(s)?"_s.arg(m_state.selectedPhotoIds.size()),
        .informativeText = u"They will be moved to Trash."_s,
        .buttons = {u"Move to Trash"_s, u"Cancel"_s},
    });
    if (answer == 0)
        performDelete();
}

void MainViewController::performDelete()
{
    if (m_state.scanState != ScanState::idle)
        return;
    beginFileWork(u"Deleting..."_s);
    startFileWork(
        [](const QList<FileJob> &jobs, auto progress, auto logLine, auto abandon) {
            return runDelete(jobs, progress, logLine, abandon);
        },
        true,
        [this](const FileOpProgress &p) {
            progressBar->setValue(qRound(FileOperationTexts::deletePercent(p)));
            progressLabel->setText(FileOperationTexts::deleteProgress(p.done, p.total));
        },
        [this](const FileOpOutcome &outcome, PreparedLibrary &prepared) {
            removeFromLibrary(outcome.succeededIds, prepared);
            returnToIdle();
            statusLabel->setText(FileOperationTexts::deleteSummary(outcome));
        });
}

void MainViewController::removeFromLibrary(const PhotoIdSet &removedIds, PreparedLibrary &prepared)
{
    // Only photos whose file really left take leave of the lists: a file that could not be
    // moved or trashed is still where it was, and still in the library. The worker's lists
    // are used unless the library changed meanwhile.
    const auto removed = [&removedIds](const PhotoItem &photo) { return removedIds.contains(photo.id()); };
    if (m_state.allPhotos.isSharedWith(prepared.allBefore))
        m_state.allPhotos.swap(prepared.all);
    else
        m_state.allPhotos.removeIf(removed);
    if (m_state.filteredPhotos.isSharedWith(prepared.filteredBefore))
        m_state.filteredPhotos.swap(prepared.filtered);
    else
        m_state.filteredPhotos.removeIf(removed);
    ++m_selectionGeneration;
    m_selectionPending = false;
    releaseLater(std::exchange(m_state.selectedPhotoIds, {}));
    // Pruning reads no file, so the groups never name photos that have left, even after a
    // Stop during the run.
    if (m_state.duplicateGroups.isSharedWith(prepared.groupsBefore)) {
        m_state.duplicateGroups.swap(prepared.pruned.duplicateGroups);
        m_state.duplicatePhotoIds.swap(prepared.pruned.duplicatePhotoIds);
    } else {
        pruneDuplicateGroups(m_state, removedIds);
    }
    // A filter still being worked out was made from the library before the removal.
    if (m_filterPending)
        applyFilters();
    else
        refillDisplayedPhotos();
}
