#pragma once

#include "model/PhotoItem.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>

// Square photo thumbnails, cut to fill the square (aspect fill).
//
// Use: on the GUI thread take the ids and paths of the photos; on a worker call
// `makeThumbnails` (it blocks that thread and uses its own threads, never a shared pool);
// hand the pictures back to the GUI thread in one queued call and match them by id.

// The side of a thumbnail in device-independent pixels.
inline constexpr double thumbnailSide = 150;

// Where a picture of `source`'s size is drawn so that it covers a side x side square from
// (0, 0), centred, aspect kept; what lies outside the square is cut. Empty for an empty source.
QRectF aspectFillRect(QSizeF source, double side = thumbnailSide);

// The thumbnail of the image at `path`: round(150 * devicePixelRatio) pixels square, with
// that device pixel ratio, transparent where the photo is. Null when it cannot be decoded.
// Thread-safe.
QImage createThumbnail(const FilePath &path, qreal devicePixelRatio = 1.0);

struct ThumbnailJob
{
    PhotoId id = 0;
    FilePath path;
};

// Makes the pictures of `jobs` on up to `threads` threads (0 = one per core). Stops before the next
// photo once stopRequested() returns true; what was made by then is returned. progress(position, count)
// is called for position = 0, 10, 20, … (< count) in increasing order, possibly from worker threads,
// when the photo at that position is begun. stopRequested and progress are never called
// concurrently. A photo that cannot be decoded gets no entry.
QHash<PhotoId, QImage> makeThumbnails(const QList<ThumbnailJob> &jobs, qreal devicePixelRatio,
                                      const std::function<bool()> &stopRequested,
                                      const std::function<void(int position, int count)> &progress = {},
                                      int threads = 0);

// The texts and figures thumbnail generation shows.
namespace ThumbnailTexts {
QString progress(int number, int count);         // "Generating thumbnails: {number}/{count}"
double progressPercent(int position, int count); // progress bar: the lower half, 0-50
} // namespace ThumbnailTexts
