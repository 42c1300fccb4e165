#include "ui/PreviewImageLoader.h"

#include "platform/ImageDecoder.h"
#include "platform/Queues.h"

PreviewImageLoader::PreviewImageLoader(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
}

PreviewImageLoader::~PreviewImageLoader()
{
    // Before QObject's destructor, which then drops the result the worker may have posted.
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
    if (const Picture *picture = cached(wanted.id, cover)) {
        m_answered = true;
        const QImage image = picture->image;
        if (onDecoded)
            onDecoded(wanted.id, image);
    } else if (!(m_inFlight && m_inFlight->id == wanted.id && covers(m_inFlightCover, cover))) {
        m_wanted = wanted;
    }
    startNext();
}

void PreviewImageLoader::startNext()
{
    if (m_inFlight)
        return;
    if (m_wanted) {
        m_inFlight = std::exchange(m_wanted, std::nullopt);
    } else {
        while (!m_ahead.isEmpty() && !m_inFlight) {
            const Job next = m_ahead.takeFirst();
            if (!cached(next.id, m_cover))
                m_inFlight = next;
        }
        if (!m_inFlight)
            return;
    }
    m_inFlightCover = m_cover;
    ++m_started;
    startWork(m_pool, [this, job = *m_inFlight, cover = m_cover] {
        QImage image = decodeImage(job.path, cover);
        const bool natural = image.width() < cover.width() || image.height() < cover.height();
        // The decoder stops at the size that fills the box; fitting it is all that is shown.
        if (!natural)
            image = image.scaled(cover, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        postToMain(this, [this, job, picture = Picture{job.id, cover, natural, image}] { finished(job, picture); });
    });
}

void PreviewImageLoader::finished(const Job &job, const Picture &picture)
{
    m_inFlight.reset();
    if (!picture.image.isNull()) {
        m_cache.removeIf([&](const Picture &old) { return old.id == job.id; });
        m_cache.append(picture);
        if (m_cache.size() > cacheSize)
            m_cache.removeFirst();
        // Older requests' pictures stay cached but are not shown.
        if (job.id == m_wantedId && !m_answered && picture.fits(m_cover)) {
            m_answered = true;
            if (onDecoded)
                onDecoded(job.id, picture.image);
        }
    }
    startNext();
}
