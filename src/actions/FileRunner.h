#pragma once

#include "actions/FileOperations.h"
#include "model/LibraryState.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QThreadPool;

// The library as a file run found it, and as it is without the photos whose file left,
// prepared on the worker so that the GUI thread only swaps it in.
struct PreparedRemoval
{
    QList<PhotoItem> allBefore, filteredBefore;
    QList<PhotoItem> all, filtered;
    QList<DuplicateGroup> groupsBefore;
    QList<SimilarGroup> similarBefore;
    LibraryState pruned; // its groups and their ids, without the photos that left
};

// After the photos `removedIds` left the library: removes them from the similar groups and
// their ids, dissolves the groups left with one member, and makes the next member the best
// copy of a group whose best left.
void pruneSimilarGroups(LibraryState &state, const PhotoIdSet &removedIds);

// Whether `photo` belongs in the view `mode`: a member of the view's groups.
bool inView(const LibraryState &state, ViewMode mode, const PhotoItem &photo);

// GUI thread: takes the photos `removedIds` out of the library's lists and groups (not
// the selection or the page); the filtered list of a view of groups also loses the members
// of groups that dissolved. `prepared` is used where the library has not changed since the
// run took it; otherwise the lists are filtered here.
void applyRemoval(LibraryState &library, const PhotoIdSet &removedIds, PreparedRemoval &prepared);

// Copy, move and delete runs over the selection, one at a time, one file at a time on a
// worker. A run's pause and stop requests are its own: Stop, STOP ALL and the window
// closing end it after its current file, Pause holds it between two files.
class FileRunner : public QObject
{
    Q_OBJECT

public:
    using Progress = std::function<void(const FileOpProgress &)>;
    using Work = std::function<FileOpOutcome(const QList<FileJob> &, const Progress &,
                                             const std::function<void(const QString &)> &,
                                             const std::atomic<bool> *)>;
    using Finish = std::function<void(const FileOpOutcome &, PreparedRemoval &)>;

    explicit FileRunner(QThreadPool &pool, QObject *parent = nullptr);

    // Starts `work` over the library's selection; `working` is what the window says while
    // it runs ("Copying...").  `showProgress` gets its progress at the display's pace, and
    // `finish` its outcome; both on the GUI thread. With `removesFiles`, `finish` also gets
    // the library without the photos that left.
    void start(const QString &working, Work work, const LibraryState &library, bool removesFiles,
               Progress showProgress, Finish finish);
    // Set from start() until `finish` is called.
    bool active() const { return m_run != nullptr; }
    QString working() const { return m_run ? m_run->working : QString(); }
    void setPaused(bool paused);
    void stop();

signals:
    // A line for the activity log (a file that failed).
    void logLine(const QString &line);

private:
    struct Run
    {
        std::atomic<bool> pause = false;
        std::atomic<bool> stop = false;
        QString working;
    };
    QThreadPool &m_pool;
    std::shared_ptr<Run> m_run;
};
