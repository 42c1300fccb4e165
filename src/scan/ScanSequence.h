#pragma once

#include "scan/ScanRun.h"
#include "scan/ScanStage.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class FileSystem;
class QThreadPool;

// One scan run's work, in order: the walk over the scan paths; then, once the window's
// first page has its pictures, the wind-up; then each stage (the duplicate pass, ...) on a
// worker. Holds the run's number and its pause and stop requests, and publishes progress
// and results; the window subscribes. A newer run replaces the one before: that one is
// told to stop, and whatever it still reports is dropped. GUI thread only, apart from the
// workers it starts.
class ScanSequence : public QObject
{
    Q_OBJECT

public:
    ScanSequence(LibraryState &library, const FileSystem &fs, QThreadPool &pool, QObject *parent = nullptr);
    ~ScanSequence() override;

    // Stages run in the order they were added.
    void addStage(std::unique_ptr<ScanStage> stage);

    // Starts a run over the library's scan paths.
    void start();
    // Tells the current run to end and drops what it still reports (a newer run, or the
    // window closing).
    void abandon();
    // The current run, or null before the first scan.
    const std::shared_ptr<ScanRun> &run() const { return m_run; }
    // Whether the current run has nothing left to do: its last stage applied, or it stopped.
    bool stagesDone() const { return m_run && m_stagesDoneRun == m_run->id; }
    // Whether the last walk's run waits for the window's first page before winding up.
    bool awaitingFirstPage() const { return m_firstPage != nullptr; }
    // The window's first page has its pictures: the run winds up, then its stages follow.
    void firstPageReady();

    // Runs `update` on the GUI thread unless a newer run has replaced `run` by then.
    // Callable from any thread.
    void postForRun(std::shared_ptr<ScanRun> run, std::function<void()> update);

signals:
    void statusChanged(const QString &text);
    // `percent` < 0 leaves the progress bar as it is.
    void progressChanged(const QString &text, int percent);
    // The walk ended; the library's `allPhotos` holds what it found.
    void walkFinished(bool stopped);
    // The wind-up: the stages follow unless `stopped`.
    void woundUp(bool stopped);
    // A stage's result is in the library.
    void stageApplied(const StageOutcome &outcome);

private:
    void walk(const std::shared_ptr<ScanRun> &run);
    void runStage(const std::shared_ptr<ScanRun> &run, size_t index);
    bool stopRequested(const ScanRun &run) const;

    LibraryState &m_library;
    const FileSystem &m_fs;
    QThreadPool &m_pool;
    std::vector<std::unique_ptr<ScanStage>> m_stages;
    std::shared_ptr<ScanRun> m_run;
    quint64 m_lastRunId = 0;
    std::shared_ptr<ScanRun> m_firstPage; // the run waiting on the first page
    quint64 m_stagesDoneRun = 0;
};
