#pragma once

#include <QByteArrayView>
#include <QSize>

// What the headers of an image file say, read without decoding a pixel: which of the photo
// formats it is (by its signature, never its name), its size, whether every byte of its
// first picture is present, and what the decoder will allocate beside the picture itself.

enum class ImageFormat { Unknown, Jpeg, Png, Gif, Bmp, Tiff, WebP, Heif };

// The format whose signature `data` starts with. HEIF only with an HEVC brand and no AV1
// one: AVIF goes nowhere, as it is not a photo format of ours.
ImageFormat sniffFormat(QByteArrayView data);

struct ImageProbe
{
    ImageFormat format = ImageFormat::Unknown;
    QSize size;              // as stored, before any orientation is applied
    bool complete = false;   // the first picture's data all lies within the file
    int orientation = 1;     // EXIF orientation 1-8 (JPEG, TIFF, WebP)
    int bytesPerPixel = 4;   // of the full-size image the decoder builds
    qint64 workingBytes = 0; // the decoder's own buffers (JPEG coefficients, TIFF strips)
    bool scalesWhileDecoding = false; // JPEG: decoded at a reduced size for a smaller request
};

// The probe of a Qt-decoded format; format Unknown when the headers cannot be read.
// Not for HEIF (see HeifProbe.h).
ImageProbe probeImage(QByteArrayView data);

// The Orientation tag (1-8) of a TIFF-structured block, "Exif\0\0" prefix allowed; 1 if absent.
int exifOrientation(QByteArrayView tiff);
