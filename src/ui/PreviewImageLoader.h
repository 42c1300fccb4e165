#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QThreadPool>

#include <functional>
#include <optional>

// Decodes the preview's pictures on threads of its own. Only the newest request is
// answered. It does not wait behind a decode nobody waits for any more: it starts at once
// beside it, up to `maxDecodes` at a time (the memory they take stays within the decoders'
// shared budget); beyond that only the newest request waits, so stepping quickly through
// big photos never decodes all those in between. Photos to be shown next are decoded ahead
// into a small cache while nothing else runs. Results come back on the loader's thread (the
// GUI thread).
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
    // Waits for the decodes in flight; their results are dropped.
    ~PreviewImageLoader() override;

    // Replaces every earlier request: `wanted` decoded at least large enough to fit
    // `cover`, then each of `ahead` into the cache. A cached picture answers at once.
    void request(const Job &wanted, QSize cover, const QList<Job> &ahead = {});

    // Whether a picture of `id` that fits `cover` is cached.
    bool hasPicture(PhotoId id, QSize cover) const;

    // Told the newest request's picture (no larger than its cover), or a null image when
    // its file cannot be decoded.
    std::function<void(PhotoId id, const QImage &picture)> onDecoded;

    // Runs on the loader's threads; tests stand in for the decoder here.
    std::function<QImage(const FilePath &path, QSize cover)> decode;

    bool isIdle() const { return m_running.isEmpty() && !m_wanted && m_ahead.isEmpty(); }

    static constexpr int cacheSize = 3;
    // The newest request's decode and those it overtook, which run on to their end.
    static constexpr int maxDecodes = 3;

private:
    struct Picture
    {
        PhotoId id = 0;
        QSize cover;  // the box it was decoded for
        bool natural; // smaller than that box: the file's own size, good for any box
        QImage image;
        bool fits(QSize box) const { return natural || covers(cover, box); }
    };
    struct Running
    {
        PhotoId id;
        QSize cover;
        bool operator==(const Running &) const = default;
    };
    static bool covers(QSize a, QSize b) { return a.width() >= b.width() && a.height() >= b.height(); }

    void startNext();
    void finished(const Picture &picture);
    const Picture *cached(PhotoId id, QSize cover) const;

    QThreadPool m_pool;
    PhotoId m_wantedId = 0;      // the newest request
    QSize m_cover;
    bool m_answered = false;     // the newest request's picture was handed out
    std::optional<Job> m_wanted; // not started yet
    QList<Job> m_ahead;          // not started yet
    QList<Running> m_running;
    QList<Picture> m_cache;      // least recently used first
};
