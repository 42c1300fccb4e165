#pragma once

#include "model/LibraryState.h"

#include <QHash>
#include <QImage>
#include <QObject>

#include <memory>

class QThreadPool;
class SharedThumbnails;
class ThumbnailRequest;
struct ScanRun;

// The displayed page's pictures in the making: the missing ones are made on a worker,
// the cards on screen first, and kept in the library's thumbnail cache. The newest page
// wins: what the request before it has begun still comes from it, and a file that gave no
// picture is not tried again in the same scan. GUI thread only, apart from its worker.
class PageThumbnails : public QObject
{
    Q_OBJECT

public:
    // With `shared`, pictures come from and go to the desktop's shared thumbnails.
    PageThumbnails(LibraryState &library, QThreadPool &pool, const SharedThumbnails *shared = nullptr,
                   QObject *parent = nullptr);

    // Makes the pictures the library's displayed page lacks, for `run`'s photos, the rows
    // in [firstVisible, endVisible) first. Emits settled() at once when none is to be made.
    void request(const std::shared_ptr<ScanRun> &run, int firstVisible, int endVisible, qreal devicePixelRatio);
    // The cards in rows [first, end) are on screen now.
    void setVisibleRows(int first, int end);
    // Whether the displayed page still has pictures in the making.
    bool pending() const { return m_request != nullptr; }
    // A new scan: the request in flight ends, and every file may be tried again.
    void reset();

signals:
    // Pictures made (a null image: the file gave none), already in the thumbnail cache.
    // Those of a replaced scan are dropped; those of a replaced page are kept.
    void picturesMade(const QHash<PhotoId, QImage> &batch);
    // Of the newest request: the photo at `position` of `count` is begun.
    void progress(int position, int count);
    // No request is in flight any more.
    void settled();
    // A line for the activity log: the first failure of a scan to store shared thumbnails.
    void logLine(const QString &line);

private:
    LibraryState &m_library;
    QThreadPool &m_pool;
    const SharedThumbnails *m_shared;
    bool m_logged = false; // this scan's write failure is told
    std::shared_ptr<ThumbnailRequest> m_request;
    PhotoIdSet m_noPicture; // this scan's photos whose file gave no picture
};
