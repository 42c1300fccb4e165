#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <QSize>

// Decodes the image file at `path` for display, upright: the EXIF orientation of JPEG,
// TIFF and WebP files and the rotation and mirroring of HEIF files are applied.
//
// With a non-empty `cover`, the result may be smaller than the image, but never smaller
// than what it takes to fill a cover.width() x cover.height() box with the whole image
// scaled by one factor (aspect fill); it is never enlarged. JPEGs are then decoded at a
// reduced size directly, and a HEIF file's embedded thumbnail is used when it is big enough.
//
// Returns a null image for a file that cannot be read or decoded, is truncated, or whose
// pixels would need more than 256 MB. Safe to call from several threads at once.
QImage decodeImage(const FilePath &path, QSize cover = {});
