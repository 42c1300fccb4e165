#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>

// One square photo thumbnail, cut to fill the square (aspect fill), made from one file.

// The side of a thumbnail in device-independent pixels.
inline constexpr double thumbnailSide = 150;

// Where a picture of `source`'s size is drawn so that it covers a side x side square from
// (0, 0), centred, aspect kept; what lies outside the square is cut. Empty for an empty source.
QRectF aspectFillRect(QSizeF source, double side = thumbnailSide);

// The thumbnail of the image at `path`: round(150 * devicePixelRatio) pixels square, with
// that device pixel ratio, transparent where the photo is. Null when it cannot be decoded.
// Thread-safe.
QImage createThumbnail(const FilePath &path, qreal devicePixelRatio = 1.0);
// The same square drawn from a decoded picture (null for a null one).
QImage drawThumbnail(QImage source, qreal devicePixelRatio = 1.0);
