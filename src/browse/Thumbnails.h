#pragma once

#include "model/PhotoItem.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

// The thumbnails of a page, made in the background; each picture is `createThumbnail`'s
// (imaging/ThumbnailPicture.h).
//
// Use: on the GUI thread take the ids and paths of the photos the page lacks pictures
// for, as a ThumbnailRequest; on a worker call `makeThumbnails` (it blocks that thread and
// uses its own threads, never a shared pool); it hands the pictures over in small batches,
// which the GUI thread matches by id.

struct ThumbnailOptions;
class SharedThumbnails;

struct ThumbnailJob
{
    PhotoId id = 0;
    FilePath path;
    qsizetype row = 0; // the card's place on the page
};

// The pictures one page lacks, in page order. The cards on screen are made first: the GUI
// thread says which those are, also while workers make the pictures, and cancels the
// request when another page replaces this one.
class ThumbnailRequest
{
public:
    explicit ThumbnailRequest(QList<ThumbnailJob> jobs); // rows ascending
    qsizetype size() const { return m_jobs.size(); }

    // Any thread. The cards in rows [first, end) are on screen.
    void setVisibleRows(qsizetype first, qsizetype end);
    // Any thread. No photo is begun after this.
    void cancel();
    bool isCancelled() const;
    // Any thread. The photos begun so far; their pictures are made even after a cancel.
    PhotoIdSet begun() const;

private:
    friend bool makeThumbnails(ThumbnailRequest &request, const ThumbnailOptions &options);
    bool allBegun() const;
    // The position of the next photo to make, an on-screen one first, and how many were
    // begun before it; -1 once none is left or the request is cancelled.
    qsizetype claim(qsizetype &ordinal);

    const QList<ThumbnailJob> m_jobs;
    mutable std::mutex m_mutex; // guards the claims and the visible rows
    std::vector<bool> m_claimed;
    qsizetype m_visibleFirst = 0, m_visibleEnd = 0; // job positions of the visible rows
    qsizetype m_next = 0;                           // none before it is unclaimed
    qsizetype m_begun = 0;
    bool m_cancelled = false;
};

struct ThumbnailOptions
{
    qreal devicePixelRatio = 1.0;
    // Polled before each photo is begun; true ends the run there.
    std::function<bool()> stopRequested;
    // progress(position, count) as the photo at position = 0, 10, 20, … (< count, in the
    // order begun) is begun, and (count, count) once every photo is done.
    std::function<void(int position, int count)> progress;
    // Gets the pictures made, a batch at a time: the first at once, then at most one batch
    // per interval, and what is left at the end. A photo that cannot be decoded comes as a
    // null image.
    std::function<void(QHash<PhotoId, QImage> batch)> deliver;
    std::chrono::milliseconds batchInterval{50};
    int threads = 0; // 0 = one per core
    // Pictures are looked up in, and stored to, the desktop's shared thumbnails; none: each
    // photo is decoded.
    const SharedThumbnails *sharedThumbnails = nullptr;
    // Gets the first failure to store a shared thumbnail of the run, as a log line.
    std::function<void(const QString &line)> log;
};

// Makes the pictures of `request` on options.threads threads. stopRequested, progress,
// deliver and log are never called concurrently, possibly from those threads. Returns true when
// every photo was done, false when a stop or a cancel ended the run early.
bool makeThumbnails(ThumbnailRequest &request, const ThumbnailOptions &options);

// Makes the pictures of `jobs` in their order and returns those that could be made.
QHash<PhotoId, QImage> makeThumbnails(const QList<ThumbnailJob> &jobs, qreal devicePixelRatio,
                                      const std::function<bool()> &stopRequested,
                                      const std::function<void(int position, int count)> &progress = {},
                                      int threads = 0);

// The texts and figures thumbnail generation shows, for its progress (position, count).
namespace ThumbnailTexts {
QString progress(int position, int count);       // "Generating thumbnails: {position + 1, at most count}/{count}"
double progressPercent(int position, int count); // progress bar: the lower half, 0-50
} // namespace ThumbnailTexts
