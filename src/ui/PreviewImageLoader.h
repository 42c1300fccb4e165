#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QThreadPool>

#include <functional>
#include <optional>

// Decodes the preview's pictures on a thread of its own, one at a time. Only the newest
// request is answered: while one decode runs, later requests replace each other, so
// stepping quickly through big photos decodes the one in flight and the last one asked
// for, never those in between. Photos to be shown next can be decoded ahead into a small
// cache. Results come back on the loader's thread (the GUI thread).
class PreviewImageLoader : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        PhotoId id = 0;
        FilePath path;
    };

    explicit PreviewImageLoader(QObject *parent = nullptr);
    // Waits for the decode in flight; its result is dropped.
    ~PreviewImageLoader() override;

    // Replaces every earlier request: `wanted` decoded at least large enough to fit
    // `cover`, then each of `ahead` into the cache. A cached picture answers at once.
    void request(const Job &wanted, QSize cover, const QList<Job> &ahead = {});

    // Whether a picture of `id` that fits `cover` is cached.
    bool hasPicture(PhotoId id, QSize cover) const;

    // Told the newest request's picture (no larger than its cover); never called for a
    // file that cannot be decoded.
    std::function<void(PhotoId id, const QImage &picture)> onDecoded;

    bool isIdle() const { return !m_inFlight && !m_wanted && m_ahead.isEmpty(); }
    int decodesStarted() const { return m_started; }

    static constexpr int cacheSize = 3;

private:
    struct Picture
    {
        PhotoId id = 0;
        QSize cover;  // the box it was decoded for
        bool natural; // smaller than that box: the file's own size, good for any box
        QImage image;
        bool fits(QSize box) const { return natural || covers(cover, box); }
    };
    static bool covers(QSize a, QSize b) { return a.width() >= b.width() && a.height() >= b.height(); }

    void startNext();
    void finished(const Job &job, const Picture &picture);
    const Picture *cached(PhotoId id, QSize cover) const;

    QThreadPool m_pool;
    PhotoId m_wantedId = 0;           // the newest request
    QSize m_cover;
    bool m_answered = false;      // the newest request's picture was handed out
    std::optional<Job> m_wanted;  // not started yet
    QList<Job> m_ahead;           // not started yet
    std::optional<Job> m_inFlight;
    QSize m_inFlightCover;
    QList<Picture> m_cache;       // least recently used first
    int m_started = 0;
};
