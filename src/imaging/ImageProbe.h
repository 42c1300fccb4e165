#pragma once

#include <QByteArrayView>
#include <QSize>

// What the headers of an image file say, read without decoding a pixel: which of the photo
// formats it is (by its signature, never its name), its size, whether every byte of its
// first picture is present, what the decoder will allocate for it, and where its work ends.

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
    // Of the full-size image the decoder builds, and of its 32-bit copy when that cannot
    // take the image's own place.
    int bytesPerPixel = 4;
    qint64 workingBytes = 0; // the decoder's own buffers (JPEG coefficients, TIFF strips)
    bool scalesWhileDecoding = false; // JPEG: decoded at a reduced size for a smaller request
    qint64 inflatedBytes = 0; // PNG: the image data's size once inflated, as the header implies
};

// The probe of a Qt-decoded format; format Unknown when the headers cannot be read, or ask
// for more work than any photo takes (a JPEG of more than `maxJpegScans` scans).
// Not for HEIF (see HeifProbe.h).
ImageProbe probeImage(QByteArrayView data);

// Each scan of a progressive JPEG passes over every block it covers, however little data it
// holds; encoders write about ten.
inline constexpr int maxJpegScans = 100;

// Whether the image data of a PNG inflates to exactly `bytes`; inflates no further than that.
bool pngInflatesTo(QByteArrayView png, qint64 bytes);

// A GIF that ends where its first frame is complete, so that nothing after it is decoded;
// empty when the frame never is.
QByteArray gifFirstFrame(QByteArrayView gif);

// The Orientation tag (1-8) of a TIFF-structured block, "Exif\0\0" prefix allowed; 1 if absent.
int exifOrientation(QByteArrayView tiff);
