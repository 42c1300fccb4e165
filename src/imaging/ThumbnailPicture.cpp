#include "imaging/ThumbnailPicture.h"

#include "imaging/ImageDecoder.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

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
    return drawThumbnail(decodeImage(path, QSize(side, side)), ratio);
}

QImage drawThumbnail(QImage source, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int side = std::max(1, int(std::lround(thumbnailSide * ratio)));
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
