#include "browse/Thumbnails.h"

#include "imaging/SharedThumbnails.h"
#include "imaging/ThumbnailPicture.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int progressStep = 10;

} // namespace

ThumbnailRequest::ThumbnailRequest(QList<ThumbnailJob> jobs)
    : m_jobs(std::move(jobs)), m_claimed(size_t(m_jobs.size()), false)
{
}

void ThumbnailRequest::setVisibleRows(qsizetype first, qsizetype end)
{
    const auto before = [](const ThumbnailJob &job, qsizetype row) { return job.row < row; };
    const qsizetype from = std::lower_bound(m_jobs.begin(), m_jobs.end(), first, before) - m_jobs.begin();
    const qsizetype to = std::lower_bound(m_jobs.begin(), m_jobs.end(), end, before) - m_jobs.begin();
    std::lock_guard lock(m_mutex);
    m_visibleFirst = from;
    m_visibleEnd = std::max(from, to);
}

void ThumbnailRequest::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
}

bool ThumbnailRequest::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

PhotoIdSet ThumbnailRequest::begun() const
{
    std::lock_guard lock(m_mutex);
    PhotoIdSet ids;
    ids.reserve(m_begun);
    for (qsizetype i = 0; i < m_jobs.size(); ++i) {
        if (m_claimed[size_t(i)])
            ids.insert(m_jobs[i].id);
    }
    return ids;
}

bool ThumbnailRequest::allBegun() const
{
    std::lock_guard lock(m_mutex);
    return m_begun == m_jobs.size();
}

qsizetype ThumbnailRequest::claim(qsizetype &ordinal)
{
    std::lock_guard lock(m_mutex);
    if (m_cancelled)
        return -1;
    // Claimed photos stay claimed, so both cursors only move forward past them.
    while (m_visibleFirst < m_visibleEnd && m_claimed[size_t(m_visibleFirst)])
        ++m_visibleFirst;
    while (m_next < m_jobs.size() && m_claimed[size_t(m_next)])
        ++m_next;
    const qsizetype position = m_visibleFirst < m_visibleEnd ? m_visibleFirst : m_next;
    if (position >= m_jobs.size())
        return -1;
    m_claimed[size_t(position)] = true;
    ordinal = m_begun++;
    return position;
}

bool makeThumbnails(ThumbnailRequest &request, const ThumbnailOptions &options)
{
    const int count = int(request.size());
    int threads = options.threads > 0 ? options.threads : int(std::max(1U, std::thread::hardware_concurrency()));
    threads = std::min(threads, count);

    // Photos are claimed one at a time, so positions are reported in order and none is
    // begun after a stop was seen. The callbacks run under this lock, not the request's,
    // so they may change the visible rows or cancel.
    std::mutex mutex;
    bool stopped = false;
    QHash<PhotoId, QImage> batch;
    std::optional<std::chrono::steady_clock::time_point> lastDelivered;
    const auto claim = [&]() -> qsizetype {
        std::lock_guard lock(mutex);
        if (stopped || request.allBegun())
            return -1;
        qsizetype ordinal = 0;
        const qsizetype position =
            options.stopRequested && options.stopRequested() ? -1 : request.claim(ordinal);
        if (position < 0) {
            stopped = true;
            return -1;
        }
        if (ordinal % progressStep == 0 && options.progress)
            options.progress(int(ordinal), count);
        return position;
    };
    bool logged = false;
    const auto made = [&](PhotoId id, QImage picture, const QString &writeError) {
        std::lock_guard lock(mutex);
        if (!writeError.isEmpty() && !std::exchange(logged, true) && options.log)
            options.log(u"Cannot write shared thumbnails: "_s + writeError);
        batch.insert(id, std::move(picture));
        const auto now = std::chrono::steady_clock::now();
        if (options.deliver && (!lastDelivered || now - *lastDelivered >= options.batchInterval)) {
            lastDelivered = now;
            options.deliver(std::exchange(batch, {}));
        }
    };

    std::vector<std::jthread> workers;
    workers.reserve(size_t(std::max(threads, 0)));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (qsizetype position; (position = claim()) >= 0;) {
                const ThumbnailJob &job = request.m_jobs[position];
                QString writeError;
                QImage picture = options.sharedThumbnails
                                   ? options.sharedThumbnails->thumbnail(job.path, options.devicePixelRatio, &writeError)
                                   : createThumbnail(job.path, options.devicePixelRatio);
                made(job.id, std::move(picture), writeError);
            }
        });
    }
    workers.clear(); // joins

    if (!batch.isEmpty() && options.deliver)
        options.deliver(std::exchange(batch, {}));
    // Every photo begun was finished.
    const bool complete = request.allBegun();
    if (complete && count > 0 && options.progress)
        options.progress(count, count);
    return complete;
}

QHash<PhotoId, QImage> makeThumbnails(const QList<ThumbnailJob> &jobs, qreal devicePixelRatio,
                                      const std::function<bool()> &stopRequested,
                                      const std::function<void(int position, int count)> &progress,
                                      int threads)
{
    QList<ThumbnailJob> inOrder = jobs;
    for (qsizetype i = 0; i < inOrder.size(); ++i)
        inOrder[i].row = i;
    ThumbnailRequest request(std::move(inOrder));
    QHash<PhotoId, QImage> pictures;
    ThumbnailOptions options;
    options.devicePixelRatio = devicePixelRatio;
    options.stopRequested = stopRequested;
    options.progress = progress;
    options.threads = threads;
    options.deliver = [&](QHash<PhotoId, QImage> batch) {
        for (auto it = batch.cbegin(); it != batch.cend(); ++it) {
            if (!it->isNull())
                pictures.insert(it.key(), *it);
        }
    };
    makeThumbnails(request, options);
    return pictures;
}

namespace ThumbnailTexts {

QString progress(int position, int count)
{
    return u"Generating thumbnails: %1/%2"_s.arg(std::min(position + 1, count)).arg(count);
}

double progressPercent(int position, int count)
{
    return count > 0 ? double(position) / double(count) * 50.0 : 0.0;
}

} // namespace ThumbnailTexts
