// The main window's actions on what was found: selection, the preview, copy, move and
// delete. The file work runs on a worker; its progress and completion come back as queued
// calls, so the GUI thread never waits on the disk.
#include "ui/MainViewController.h"

#include "actions/FileOperations.h"
#include "platform/Dialogs.h"
#include "ui/PhotoContextMenu.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QShortcut>

using namespace Qt::StringLiterals;

// MARK: Selection

void MainViewController::showBulkSelection()
{
    // The cards take the selection at a reload; a checkbox shows its own change at once.
    reloadGrid();
    updateStats();
}

void MainViewController::selectAllClicked()
{
    m_browser.selectionChanged();
    for (const PhotoItem &photo : std::as_const(m_state.displayedPhotos))
        m_state.selectedPhotoIds.insert(photo.id());
    showBulkSelection();
    log(u"Selected all %1 photos"_s.arg(m_state.displayedPhotos.size()));
}

void MainViewController::deselectAllClicked()
{
    m_browser.selectionChanged();
    releaseLater(std::exchange(m_state.selectedPhotoIds, {}));
    showBulkSelection();
}

void MainViewController::keepOriginalsClicked()
{
    m_browser.keepOriginals();
}

void MainViewController::showSelection(PhotoIdSet selection, bool similar)
{
    std::swap(m_state.selectedPhotoIds, selection);
    releaseLater(std::move(selection));
    showBulkSelection();
    const qsizetype count = m_state.selectedPhotoIds.size();
    log(similar ? u"Selected %1 similar photos (keeping the best)"_s.arg(count)
                : u"Selected %1 duplicates (keeping originals)"_s.arg(count));
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

void MainViewController::startFileWork(const QString &status, FileRunner::Work work, bool removesFiles,
                                       FileRunner::Progress showProgress, FileRunner::Finish finish)
{
    statusLabel->setText(status);
    m_state.scanState = ScanState::scanning;
    ++m_busyGeneration;
    m_files.start(status, std::move(work), m_state, removesFiles, std::move(showProgress),
                  [this, finish = std::move(finish)](const FileOpOutcome &outcome, PreparedRemoval &prepared) {
                      finish(outcome, prepared);
                      playSound(outcome.stopped());
                  });
    updateButtonStates();
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
    const bool move = operation == FileOperation::move;
    startFileWork(
        FileOperationTexts::working(operation),
        [operation, destination](const QList<FileJob> &jobs, auto progress, auto logLine, auto abandon) {
            return runFileOperation(operation, destination, jobs, progress, logLine, abandon);
        },
        move,
        [this, operation](const FileOpProgress &p) {
            progressBar->setValue(qRound(FileOperationTexts::progressPercent(p)));
            progressLabel->setText(FileOperationTexts::progress(operation, p.done, p.total));
        },
        [this, operation, move](const FileOpOutcome &outcome, PreparedRemoval &prepared) {
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
    startFileWork(
        u"Deleting..."_s,
        [](const QList<FileJob> &jobs, auto progress, auto logLine, auto abandon) {
            return runDelete(jobs, progress, logLine, abandon);
        },
        true,
        [this](const FileOpProgress &p) {
            progressBar->setValue(qRound(FileOperationTexts::deletePercent(p)));
            progressLabel->setText(FileOperationTexts::deleteProgress(p.done, p.total));
        },
        [this](const FileOpOutcome &outcome, PreparedRemoval &prepared) {
            removeFromLibrary(outcome.succeededIds, prepared);
            returnToIdle();
            statusLabel->setText(FileOperationTexts::deleteSummary(outcome));
        });
}

void MainViewController::removeFromLibrary(const PhotoIdSet &removedIds, PreparedRemoval &prepared)
{
    applyRemoval(m_state, removedIds, prepared);
    m_browser.selectionChanged();
    releaseLater(std::exchange(m_state.selectedPhotoIds, {}));
    // A filter still being worked out was made from the library before the removal.
    if (m_browser.filterPending())
        applyFilters();
    else
        refillDisplayedPhotos();
}
