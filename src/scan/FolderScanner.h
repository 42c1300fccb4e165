#pragma once

#include "model/PhotoItem.h"
#include "scan/ScanProgress.h"

#include <QList>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

class FileSystem;

// The requests a running scan polls. Owned by the caller, who must outlive the scan.
struct ScanFlags
{
    const std::atomic<bool> &shouldPause;
    const std::atomic<bool> &shouldStop;
    // How a paused scan waits before it looks at the requests again.
    std::function<void(std::chrono::milliseconds)> pauseWait = [](std::chrono::milliseconds interval) {
        std::this_thread::sleep_for(interval);
    };
};

struct ScanResult
{
    QList<PhotoItem> photos;     // as far as the scan got when stopped
    qsizetype directoryCount = 0; // folders it set out to list
};

// Walks `scanPaths` and records every file with an image extension, blocking the calling
// thread. Order: for each scan path its subfolders in walk order, then the path itself;
// within a folder, the file system's listing order. Folders whose names begin with "." or
// "~" are not listed (their subfolders still are), hidden files are skipped, and a file
// reached twice is recorded twice. Nothing in a trash (the home trash, a .Trash or
// .Trash-$uid folder) is recorded. Unreadable folders and files are skipped silently.
ScanResult scanFolders(const FileSystem &fs, const QList<FilePath> &scanPaths,
                       const ScanFlags &flags, ScanProgressSink &progress);
