#pragma once

#include <QtGlobal>

#include <atomic>

// One scan's own pause and stop requests. The shared flags of the library state are reset
// when a scan winds up or STOP ALL's delayed reset runs, while a walk stuck in a slow
// folder may still be running; its own stop request stays set, so it ends rather than
// run on beside the next scan. Its id tells its late results from the current scan's.
struct ScanRun
{
    explicit ScanRun(quint64 runId) : id(runId) {}

    const quint64 id;
    std::atomic<bool> pause = false;
    std::atomic<bool> stop = false;
    // A newer scan took its place (or the window is closing): work on its photos, such as
    // Load More's thumbnails, which a stopped scan still allows, ends too.
    std::atomic<bool> replaced = false;
};
