#include "ui/PreviewImageLoader.h"

#include "imaging/ImageDecoder.h"
#include "platform/Queues.h"

#include <algorithm>

PreviewImageLoader::PreviewImageLoader(QObject *parent)
    : QObject(parent), decode([](const FilePath &path, QSize cover) { return decodeImage(path, cover); })
{
    m_pool.setMaxThreadCount(maxDecodes);
}

PreviewImageLoader::~PreviewImageLoader()
{
    // Before QObject's destructor, which then drops the results the workers may have posted.
    m_pool.waitForDone();
}

const PreviewImageLoader::Picture *PreviewImageLoader::cached(PhotoId id, QSize cover) const
{
    for (const Picture &picture : m_cache) {
        if (picture.id == id && picture.fits(cover))
            return &picture;
    }
    return nullptr;
}

bool PreviewImageLoader::hasPicture(PhotoId id, QSize cover) const
{
    return cached(id, cover) != nullptr;
}

void PreviewImageLoader::request(const Job &wanted, QSize cover, const QList<Job> &ahead)
{
    m_wantedId = wanted.id;
    m_cover = cover;
    m_answered = false;
    m_wanted.reset();
    m_ahead = ahead;
    const bool running = std::any_of(m_running.cbegin(), m_running.cend(), [&](const Running &r) {
        return r.id == wanted.id && covers(r.cover, cover);
    });
    if (const Picture *picture = cached(wanted.id, cover)) {
        m_answered = true;
        const QImage image = picture->image;
        if (onDecoded)
            onDecoded(wanted.id, image);
    } else if (!running) {
        m_wanted = wanted;
    }
    startNext();
}

void PreviewImageLoader::startNext()
{
    std::optional<Job> next;
    if (m_wanted && m_running.size() < maxDecodes)
        next = std::exchange(m_wanted, std::nullopt);
    while (!next && m_running.isEmpty() && !m_ahead.isEmpty()) {
        const Job job = m_ahead.takeFirst();
        if (!cached(job.id, m_cover))
            next = job;
    }
    if (!next)
        return;
    m_running.append({next->id, m_cover});
    startWork(m_pool, [this, id = next->id, path = next->path, cover = m_cover, decode = decode] {
        QImage image = decode(path, cover);
        const bool natural = image.width() < cover.width() || image.height() < cover.height();
        // The decoder stops at the size that fills the box; fitting it is all that is shown.
        if (!natural)
            image = image.scaled(cover, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        postToMain(this, [this, picture = Picture{id, cover, natural, image}] { finished(picture); });
    });
}

void PreviewImageLoader::finished(const Picture &picture)
{
    m_running.removeOne({picture.id, picture.cover});
    if (!picture.image.isNull()) {
        m_cache.removeIf([&](const Picture &old) { return old.id == picture.id; });
        m_cache.append(picture);
        if (m_cache.size() > cacheSize)
            m_cache.removeFirst();
    }
    // Older requests' pictures stay cached but are not shown.
    if (picture.id == m_wantedId && !m_answered && picture.fits(m_cover)) {
        m_answered = true;
        if (onDecoded)
            onDecoded(picture.id, picture.image);
    }
    startNext();
}
