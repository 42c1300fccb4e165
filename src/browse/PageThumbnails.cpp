#include "browse/PageThumbnails.h"

#include "browse/Thumbnails.h"
#include "platform/ProgressCoalescer.h"
#include "platform/Queues.h"
#include "scan/ScanRun.h"

PageThumbnails::PageThumbnails(LibraryState &library, QThreadPool &pool, const SharedThumbnails *shared,
                               QObject *parent)
    : QObject(parent), m_library(library), m_pool(pool), m_shared(shared)
{
}

void PageThumbnails::request(const std::shared_ptr<ScanRun> &run, int firstVisible, int endVisible,
                             qreal devicePixelRatio)
{
    PhotoIdSet begun;
    if (const std::shared_ptr<ThumbnailRequest> previous = std::exchange(m_request, {})) {
        previous->cancel();
        begun = previous->begun();
    }
    QList<ThumbnailJob> jobs;
    const QList<PhotoItem> &page = m_library.displayedPhotos;
    for (qsizetype row = 0; row < page.size(); ++row) {
        const PhotoId id = page[row].id();
        if (!m_library.thumbnailCache.contains(id) && !m_noPicture.contains(id) && !begun.contains(id))
            jobs.append({id, page[row].path(), row});
    }
    if (jobs.isEmpty() || !run) {
        emit settled();
        return;
    }
    const auto request = std::make_shared<ThumbnailRequest>(std::move(jobs));
    request->setVisibleRows(firstVisible, endVisible);
    m_request = request;

    // A run is replaced on the GUI thread, so its flag read there says whether it is current.
    startWork(m_pool, [this, run, request, devicePixelRatio] {
        ProgressCoalescer shown(this);
        ThumbnailOptions options;
        options.devicePixelRatio = devicePixelRatio;
        options.sharedThumbnails = m_shared;
        options.log = [this, run](const QString &line) {
            postToMain(this, [this, run, line] {
                if (!run->replaced && !std::exchange(m_logged, true))
                    emit logLine(line);
            });
        };
        options.stopRequested = [this, &run] { return m_library.shouldStop.load() || run->replaced.load(); };
        options.progress = [this, request, &shown](int position, int count) {
            shown.post([this, request, position, count] {
                if (request == m_request)
                    emit progress(position, count);
            });
        };
        options.deliver = [this, run](QHash<PhotoId, QImage> batch) {
            postToMain(this, [this, run, batch = std::move(batch)] {
                if (run->replaced)
                    return;
                for (auto it = batch.cbegin(); it != batch.cend(); ++it) {
                    if (it->isNull())
                        m_noPicture.insert(it.key());
                    else
                        m_library.thumbnailCache.insert(it.key(), *it);
                }
                emit picturesMade(batch);
            });
        };
        makeThumbnails(*request, options);
        shown.flush();
        postToMain(this, [this, run, request] {
            if (run->replaced || request != m_request)
                return; // a newer scan or page took over
            m_request.reset();
            emit settled();
        });
    });
}

void PageThumbnails::setVisibleRows(int first, int end)
{
    if (m_request)
        m_request->setVisibleRows(first, end);
}

void PageThumbnails::reset()
{
    if (const std::shared_ptr<ThumbnailRequest> request = std::exchange(m_request, {}))
        request->cancel();
    releaseLater(m_pool, std::exchange(m_noPicture, {}));
    m_logged = false;
}
