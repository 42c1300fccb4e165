#pragma once

#include "actions/FileRunner.h"
#include "browse/LibraryBrowser.h"
#include "browse/PageThumbnails.h"
#include "model/Enums.h"
#include "model/LibraryState.h"
#include "platform/Queues.h"
#include "scan/ScanSequence.h"
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
class LibraryCache;
class PhotoGridModel;
class SharedThumbnails;
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

// The main window's content. Owns the library state and every widget of the window, and
// wires the controls to the units that do the work: the scan sequence (walk, first page,
// stages), the page's pictures, browsing (filters, statistics, Keep Originals Only) and
// file runs. Everything here runs on the GUI thread; those units hand their results back
// through queued calls.
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
        // What earlier runs learned about files; none: every scan starts from nothing.
        const LibraryCache *cache = nullptr;
        const SharedThumbnails *sharedThumbnails = nullptr; // none: every photo is decoded
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
    // A stage's result is in the library: the window shows what it changed.
    void stageApplied(const StageOutcome &outcome);

    void setDestinationClicked();
    // Empties the library cache on a worker, then logs it.
    void clearCacheClicked();
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
    void showSimilar();
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
    bool backgroundPending() const { return m_browser.pending(); }
    const ScanSequence &scanSequence() const { return m_sequence; }
    // Whether the displayed page still has pictures in the making.
    bool thumbnailsPending() const { return m_pictures.pending(); }

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
    QList<QPushButton *> viewModeButtons; // tag 0 = all photos, 1 = duplicates, 2 = similar

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

    // What the scan sequence publishes.
    void walkFinished(bool stopped);
    void showProgress(const QString &text, int percent);
    // Makes the displayed page's missing pictures in the background.
    void requestPageThumbnails();
    // No page request is in flight: a scan waiting on its first pictures winds up.
    void pageThumbnailsSettled();
    void photoSelectionChanged(const PhotoItem &photo, bool selected);
    // Ends busy work: the state is idle again, its requests are cleared.
    void returnToIdle();
    void requestStop();

    void applyButtonStates();
    // Reloads the cards after the selection changed in bulk, and the statistics.
    void showBulkSelection();
    void showSelection(PhotoIdSet selection, bool similar);
    // Reloads every card of the displayed page: selection, badges, pictures.
    void reloadGrid();
    // Starts a file run over the selection: the window is busy until `finish` has run.
    void startFileWork(const QString &status, FileRunner::Work work, bool removesFiles,
                       FileRunner::Progress showProgress, FileRunner::Finish finish);
    // Takes the photos whose files left their place out of the library and refreshes it.
    void removeFromLibrary(const PhotoIdSet &removedIds, PreparedRemoval &prepared);
    // Shows the library's displayed page; `newList` scrolls to its top.
    void showPage(bool newList);
    template<typename T>
    void releaseLater(T &&value)
    {
        ::releaseLater(m_workers, std::forward<T>(value));
    }
    void playSound(bool stopped);

    Services m_services;
    LibraryState m_state;
    RootLayout *m_layout = nullptr;
    PhotoGridModel *m_gridModel = nullptr;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<PreviewWindowController> m_previewController;

    // Counts the starts of busy work, so that a STOP ALL reset that comes due after a new
    // scan has started leaves that scan alone.
    quint64 m_busyGeneration = 0;

    // Runs the background work; the destructor stops and waits for it, so no worker
    // outlives the controller or the units below, which post to themselves.
    QThreadPool m_workers;
    ScanSequence m_sequence;
    PageThumbnails m_pictures;
    LibraryBrowser m_browser;
    FileRunner m_files;
};
