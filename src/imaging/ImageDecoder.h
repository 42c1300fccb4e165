#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <QSize>

class DecodeBudget;

// Decodes the image file at `path` for display, upright: the EXIF orientation of JPEG,
// TIFF and WebP files and the rotation and mirroring of HEIF files are applied.
//
// Only the photo formats are decoded, recognised by their content whatever the file's name:
// JPEG, PNG, GIF (its first frame), BMP, TIFF and WebP through Qt's readers for exactly that
// format, HEIF with an HEVC brand through libheif. Anything else (AVIF, SVG, MNG, icons,
// PPM, ...) gives a null image.
//
// With a non-empty `cover`, the result may be smaller than the image, but never smaller
// than what it takes to fill a cover.width() x cover.height() box with the whole image
// scaled by one factor (aspect fill); it is never enlarged. JPEGs are then decoded at a
// reduced size directly, and a HEIF file's embedded thumbnail is used when it is big enough.
//
// Memory: before decoding, what the decoder will allocate is worked out from the file's
// headers, as each reader really allocates it (for JPEG, the full-size coefficient buffer of
// a progressive file whatever the scale; for HEIF, what its items really decode to, not the
// sizes they declare) and reserved in `budget`, which every decode in the process shares
// (DecodeBudget::shared(), 256 MB, by default). A decode waits while others hold the memory
// it needs; one that needs more than the whole budget gives a null image at once.
//
// Work is bounded as memory is: a GIF is decoded only until its first frame is complete;
// a JPEG of more than maxJpegScans scans, a PNG whose data inflates past its rows and an
// HEVC item whose own data redefines its size or holds more than one picture are refused.
//
// Returns a null image for a file that cannot be read or decoded, does not fit the budget,
// or is truncated: a JPEG, PNG, GIF, BMP, TIFF or WebP whose first picture's data does not
// all lie within the file shows nothing rather than a half-grey or half-black picture.
// Otherwise the image is Format_RGB32, or Format_ARGB32_Premultiplied when it has alpha, so
// that callers scale and paint 8-bit premultiplied pixels whatever the file held.
// `fullSize`, when given, gets the picture's size upright and unreduced, as its headers give
// it, once they are read (also when the decode fails after that). Safe to call from several
// threads at once.
QImage decodeImage(const FilePath &path, QSize cover = {}, QSize *fullSize = nullptr);
QImage decodeImage(const FilePath &path, QSize cover, DecodeBudget &budget, QSize *fullSize = nullptr);
// The same for a file's bytes, already read.
QImage decodeImageData(const QByteArray &data, QSize cover, DecodeBudget &budget, QSize *fullSize = nullptr);

// The smallest size of `size`'s aspect that fills `cover`; `size` itself if not larger.
QSize coveringSize(QSize size, QSize cover);
