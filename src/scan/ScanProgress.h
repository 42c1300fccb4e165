#pragma once

#include "model/PhotoItem.h"

#include <QString>

#include <atomic>
#include <memory>

// Counters a running scan shares with the progress updates it posts: an update reads
// them when it is shown, not when it was posted.
struct ScanCounters
{
    std::atomic<int> directoriesBegun = 0;
    std::atomic<int> photosFound = 0;
};

// Receives a scan's progress on the scanning thread. The GUI's implementation hands the
// events to the GUI thread, at most one a frame; the default does nothing.
class ScanProgressSink
{
public:
    virtual ~ScanProgressSink() = default;

    // The walk is done and `total` folders will be listed.
    virtual void foldersToScan(int total) { Q_UNUSED(total); }
    // A folder is about to be listed; `counters->directoriesBegun` already counts it.
    virtual void directoryBegun(int total, const FilePath &directory)
    {
        Q_UNUSED(total);
        Q_UNUSED(directory);
    }
    // Another 50 photos were found; `counters->photosFound` already counts them.
    virtual void photosFoundMilestone() {}

    const std::shared_ptr<ScanCounters> counters = std::make_shared<ScanCounters>();
};

// The texts and figures the progress events show.
namespace ScanTexts {
QString foldersToScan(int total);                                    // progress label
QString scanningDirectory(int begun, int total, const FilePath &directory); // progress label
double directoryPercent(int begun, int total);                       // progress bar, 0-100
QString photosFound(int found);                                      // status label
} // namespace ScanTexts
