#include "browse/Thumbnails.h"

#include "platform/ImageDecoder.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int progressStep = 10;

} // namespace

QRectF aspectFillRect(QSizeF source, double side)
{
    if (!(source.width() > 0 && source.height() > 0 && side > 0) || !std::isfinite(source.width())
        || !std::isfinite(source.height()))
        return {};
    const double aspect = source.width() / source.height();
    if (aspect > 1) {
        const double width = side * aspect;
        return {(side - width) / 2, 0, width, side};
    }
    const double height = side / aspect;
    return {0, (side - height) / 2, side, height};
}

QImage createThumbnail(const FilePath &path, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int side = std::max(1, int(std::lround(thumbnailSide * ratio)));
    QImage source = decodeImage(path, QSize(side, side));
    const QRectF target = aspectFillRect(source.size(), side);
    if (target.isEmpty())
        return {};
    // The painter's smooth transform samples too few source pixels to shrink by much
    // without aliasing; QImage's smooth scaling averages them all.
    const QSize drawn(int(std::ceil(target.width())), int(std::ceil(target.height())));
    if (source.width() > drawn.width() * 5 / 4 || source.height() > drawn.height() * 5 / 4)
        source = source.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QImage thumbnail(side, side, QImage::Format_ARGB32_Premultiplied);
    if (thumbnail.isNull())
        return {};
    thumbnail.fill(Qt::transparent);
    {
        QPainter painter(&thumbnail);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, source);
    }
    thumbnail.setDevicePixelRatio(ratio);
    return thumbnail;
}

QHash<PhotoId, QImage> makeThumbnails(const QList<ThumbnailJob> &jobs, qreal devicePixelRatio,
                                      const std::function<bool()> &stopRequested,
                                      const std::function<void(int position, int count)> &progress,
                                      int threads)
{
    const int count = int(jobs.size());
    if (threads <= 0)
        threads = int(std::max(1U, std::thread::hardware_concurrency()));
    threads = std::min(threads, count);

    // Photos are claimed one at a time under the lock, so positions are reported in order
    // and none is begun after a stop was seen.
    std::mutex mutex;
    int next = 0;
    bool stopped = false;
    QHash<PhotoId, QImage> made;
    const auto claim = [&]() -> int {
        std::lock_guard lock(mutex);
        if (stopped || next >= count || (stopRequested && stopRequested())) {
            stopped = true;
            return -1;
        }
        const int position = next++;
        if (position % progressStep == 0 && progress)
            progress(position, count);
        return position;
    };

    std::vector<std::jthread> workers;
    workers.reserve(size_t(std::max(threads, 0)));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            QList<std::pair<PhotoId, QImage>> own;
            for (int position; (position = claim()) >= 0;) {
                const ThumbnailJob &job = jobs[position];
                QImage thumbnail = createThumbnail(job.path, devicePixelRatio);
                if (!thumbnail.isNull())
                    own.append({job.id, std::move(thumbnail)});
            }
            std::lock_guard lock(mutex);
            for (auto &[id, thumbnail] : own)
                made.insert(id, std::move(thumbnail));
        });
    }
    workers.clear(); // joins
    return made;
}

namespace ThumbnailTexts {

QString progress(int number, int count)
{
    return u"Generating thumbnails: %1/%2"_s.arg(number).arg(count);
}

double progressPercent(int position, int count)
{
    return count > 0 ? double(position) / double(count) * 50.0 : 0.0;
}

} // namespace ThumbnailTexts
