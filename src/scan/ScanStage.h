#pragma once

#include "model/LibraryState.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// What applying a stage's result changed, so that the window refreshes only that.
enum class LibraryChange {
    none = 0,
    duplicates = 1, // groups, duplicate ids and digests
    similar = 2,    // similar groups, their ids and best copies
};

// What a stage reports once its result is in the library.
struct StageOutcome
{
    QString status;         // the status line from now on
    QStringList logLines;   // activity-log lines, in order
    LibraryChange changed = LibraryChange::none;
};

// What a stage's work can use on its worker.
struct StageContext
{
    const std::atomic<bool> &stop; // the run's stop request
    // Shown on the progress row at the display's pace; the last call of a stage is shown.
    std::function<void(const QString &text, double percent)> progress;
};

// Runs on the GUI thread: puts the result into the library (unless it is stopped or stale).
using StageApply = std::function<StageOutcome(LibraryState &)>;
// Runs on a worker with what the stage took from the library; returns what to apply.
using StageWork = std::function<StageApply(const StageContext &)>;

// One step of a scan run after the walk and the first page, such as the duplicate pass.
// The sequence runs its stages one after another, each on a worker, each seeing in the
// library what the ones before it applied.
class ScanStage
{
public:
    virtual ~ScanStage() = default;
    // The status line while the stage runs.
    virtual QString startedText() const = 0;
    // GUI thread: takes the snapshot the work reads (shared lists, never a walk over them).
    virtual StageWork prepare(const LibraryState &library) const = 0;
};
