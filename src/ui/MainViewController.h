#pragma once

#include "model/Enums.h"
#include "browse/PhotoIndex.h"
#include "model/LibraryState.h"
#include "platform/Queues.h"
#include "ui/HelpWindow.h"
#include "ui/PreviewWindowController.h"

#include <QPointer>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class ColoredButtonView;
class DesktopServices;
class Dialogs;
class FileSystem;
class PhotoGridModel;
class PhotoGridView;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabBar;
class RootLayout;
class SoundPlayer;
class SpinnerView;
struct FileJob;
struct FileOpOutcome;
struct FileOpProgress;
struct ScanRun;
class ThumbnailRequest;

// The main window's content. Owns the library state and every widget of the window, and
// wires the controls to the logic, which lives in small units beside it (scan/, actions/,
// ...). Everything here runs on the GUI thread; background work gets snapshots and reports
// back through queued calls tagged with the scan run they belong to.
class MainViewController : public QWidget
{
    Q_OBJECT

public:
    using FileOperation = ::FileOperation;

    // The outside world, passed in so that tests can stand in for it. All must outlive
    // the controller.
    struct Services
    {
        const FileSystem *fileSystem = nullptr;
        Dialogs *dialogs = nullptr;
        SoundPlayer *sounds = nullptr;
        DesktopServices *desktop = nullptr; // opens files, shows them in their folder
        // Receives each finished activity-log line; standard output when empty.
        std::function<void(const QString &line)> logSink;
    };

    explicit MainViewController(Services services, QWidget *parent = nullptr);
    ~MainViewController() override;

    LibraryState &library() { return m_state; }
    const LibraryState &library() const { return m_state; }

    // Scan sources and scan control.
    void selectFolderClicked();
    void fullScanClicked();
    void scanClicked();
    void pauseClicked();
    void stopClicked();
    void masterStopClicked();
    void finishProcessing(bool stopped);

    void setDestinationClicked();
    void helpClicked();
    HelpWindow *helpWindow() const { return m_helpWindow; }

    // Selection: the checkboxes, the bulk actions, and a card click that opens the preview.
    void selectAllClicked();
    void deselectAllClicked();
    void keepOriginalsClicked();
    void openPreview(int displayedIndex);
    PreviewWindowController *previewController() const { return m_previewController; }

    // File operations on the selection, one file at a time on a worker.
    void copyClicked();
    void moveClicked();
    void performFileOperation(FileOperation operation);
    void deleteClicked();
    void performDelete();

    // One line "[{time}] {message}" of the activity log.
    void log(const QString &message);

    // Applies the command-button rule on a later turn of the event loop, reading the
    // state as it is then.
    void updateButtonStates();
    void updateStats();

    // Browsing: the filters narrow the library, the page shows a prefix of the result.
    void applyFilters();
    void viewModeChanged();
    void filterChanged();
    void searchChanged();
    void viewModeButtonClicked(int tag);
    void showAllPhotos();
    void showDuplicates();
    void updateDisplayedPhotos();
    void updateLoadMoreControls();
    void loadMoreClicked();
    void refillDisplayedPhotos();
    PhotoGridModel *gridModel() const { return m_gridModel; }
    // From this many photos on, filters, statistics and Keep Originals Only are worked out
    // on a worker and swapped in, so the window never waits on a pass over the library.
    qsizetype backgroundFrom = 20'000;
    // Whether work started by the last filter, statistics or selection change has yet to
    // show (the window shows the previous state until then).
    bool backgroundPending() const { return m_filterPending || m_statsPending || m_selectionPending; }
    // Whether the displayed page still has pictures in the making.
    bool thumbnailsPending() const { return m_pageThumbnails != nullptr; }

    // Widgets, set once by the constructor and owned by the view tree.
    QLabel *titleLabel = nullptr;
    QLabel *statusLabel = nullptr;
    SpinnerView *loadingSpinner = nullptr;
    QPushButton *masterStopButton = nullptr;
    QPushButton *scanButton = nullptr;
    QPushButton *folderButton = nullptr;
    QPushButton *fullScanButton = nullptr;
    QPushButton *pauseButton = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *destinationButton = nullptr;
    QLabel *destinationLabel = nullptr;
    QTabBar *viewModeSegment = nullptr; // carries the view mode; never shown
    QComboBox *filterPicker = nullptr;
    QLineEdit *searchField = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *progressLabel = nullptr;
    PhotoGridView *collectionView = nullptr;
    QWidget *scrollView = nullptr;
    QLabel *statsLabel = nullptr;
    QPushButton *selectAllButton = nullptr;
    QPushButton *deselectAllButton = nullptr;
    QPushButton *keepOriginalsButton = nullptr;
    ColoredButtonView *copyButton = nullptr;
    ColoredButtonView *moveButton = nullptr;
    ColoredButtonView *deleteButton = nullptr;
    QPushButton *loadMoreButton = nullptr;
    QLabel *showingLabel = nullptr;
    QPushButton *helpButton = nullptr;
    QList<QPushButton *> viewModeButtons; // tag 0 = all photos, 1 = duplicates

    static constexpr QSize designSize{1200, 850};

    // Desktop integration.
    // Makes `paths` the folders to scan, as choosing them with "Select Folder" does.
    void setScanPaths(const QList<FilePath> &paths);
    // The photo menu of the grid's card in `row`, at `globalPos`.
    void showPhotoContextMenu(int row, const QPoint &globalPos);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Layout.
    void setupUI();
    QWidget *createCard(int x, int y, int width, int height, const QString &title);
    QPushButton *createColorButton(QWidget *card, QRect frame, const QString &title,
                                   const QColor &color);
    QPushButton *createSmallButton(QWidget *card, QRect frame, const QString &title);
    QPushButton *createViewModeButton(QWidget *card, QRect frame, const QString &title,
                                      const QString &icon, int tag);

    // The scan pipeline: walk, first thumbnails, wind-up, duplicate search.
    void performScan(const std::shared_ptr<ScanRun> &run);
    void finishScan(const std::shared_ptr<ScanRun> &run, QList<PhotoItem> foundPhotos);
    void generateThumbnails(const std::shared_ptr<ScanRun> &run);
    // Makes the displayed page's missing pictures in the background, the cards on screen
    // first; a newer page's request replaces the one before.
    void requestPageThumbnails();
    // No page request is in flight: a scan waiting on its first pictures winds up.
    void pageThumbnailsSettled();
    void photoSelectionChanged(const PhotoItem &photo, bool selected);
    void findDuplicatesInBackground();
    // Runs `update` on the GUI thread unless a newer scan has replaced `run` by then.
    // Callable from any thread.
    void postForRun(std::shared_ptr<ScanRun> run, std::function<void()> update);
    // Ends busy work: the state is idle again, its requests are cleared.
    void returnToIdle();
    void requestStop();

    void applyButtonStates();
    // Reloads the cards after the selection changed in bulk, and the statistics.
    void showBulkSelection();
    // Starts busy work (a file operation) and returns its generation.
    quint64 beginFileWork(const QString &status);
    struct PreparedLibrary;
    using FileWork = std::function<FileOpOutcome(const QList<FileJob> &,
                                                 const std::function<void(const FileOpProgress &)> &,
                                                 const std::function<void(const QString &)> &,
                                                 const std::atomic<bool> *)>;
    // Runs `work` over the selection on a worker; progress and the end come back queued.
    void startFileWork(FileWork work, bool removesFiles, std::function<void(const FileOpProgress &)> showProgress,
                       std::function<void(const FileOpOutcome &, PreparedLibrary &)> finish);
    // Takes the photos whose files left their place out of the library and refreshes it.
    void removeFromLibrary(const PhotoIdSet &removedIds, PreparedLibrary &prepared);
    // Makes the filter index of the library on a worker, ahead of the first keystroke.
    void prepareFilterBase();
    // Shows `filtered` as the new filtered list, from its first page.
    void showFiltered(QList<PhotoItem> filtered);
    // Lets a large value go on a worker: freeing a million records takes a while.
    template<typename T>
    void releaseLater(T &&value)
    {
        startWork(m_workers, [old = std::forward<T>(value)] {});
    }
    void playSound(bool stopped);

    Services m_services;
    LibraryState m_state;
    RootLayout *m_layout = nullptr;
    PhotoGridModel *m_gridModel = nullptr;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<PreviewWindowController> m_previewController;

    // The scan whose results the window shows; a newer scan replaces it.
    std::shared_ptr<ScanRun> m_run;
    quint64 m_lastRunId = 0;
    // Counts the starts of busy work, so that a STOP ALL reset that comes due after a new
    // scan has started leaves that scan alone.
    quint64 m_busyGeneration = 0;

    // Runs the background work; the destructor stops and waits for it, so no worker
    // outlives the controller.
    QThreadPool m_workers;
    // The index the last background filter used, and its result, which the next keystroke
    // narrows. Each generation counter tells a background result whether it is still wanted.
    std::shared_ptr<const FilterBase> m_filterBase;
    FilterResult m_lastFilter;
    quint64 m_filterGeneration = 0;
    quint64 m_statsGeneration = 0;
    quint64 m_selectionGeneration = 0;
    bool m_filterPending = false;
    bool m_statsPending = false;
    bool m_selectionPending = false;

    // The displayed page's pictures in the making; the scan whose wind-up waits on them;
    // this scan's photos whose file gave no picture.
    std::shared_ptr<ThumbnailRequest> m_pageThumbnails;
    std::shared_ptr<ScanRun> m_thumbnailPhase;
    PhotoIdSet m_noPicture;

    // A copy, move or delete run's own requests, which its worker polls between files, and
    // the status it shows while it works. Set while its worker runs: the window stays busy
    // until the run's completion, whatever STOP ALL or a scan's late wind-up do meanwhile.
    struct FileRun
    {
        std::atomic<bool> pause = false;
        std::atomic<bool> stop = false; // also set when the window closes
        QString working;                // "Copying...", "Moving...", "Deleting..."
    };
    std::shared_ptr<FileRun> m_fileRun;
};
