#pragma once

// Image files made in memory for decoding tests: coloured bands, encoded bytes, and JPEG
// and WebP files that carry an EXIF orientation.
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>

namespace TestImages {

using B = QByteArray;

// Bands of colour side by side (or stacked, when `vertical`), equally wide.
inline QImage bands(QSize size, QList<QColor> colours, bool vertical = false)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const int n = int(colours.size());
    const int length = vertical ? size.height() : size.width();
    for (int i = 0; i < n; ++i) {
        const int from = length * i / n, to = length * (i + 1) / n;
        painter.fillRect(vertical ? QRect(0, from, size.width(), to - from) : QRect(from, 0, to - from, size.height()),
                         colours[i]);
    }
    return image;
}

inline B encoded(const QImage &image, const char *format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return buffer.data();
}

inline B be16(int v) { return B(1, char(v >> 8)) + char(v); }
inline B le32(quint32 v) { return B(1, char(v)) + char(v >> 8) + char(v >> 16) + char(v >> 24); }

// A big-endian TIFF block whose only tag is Orientation.
inline B exifOrientation(int orientation)
{
    return "MM" + be16(42) + B("\0\0\0\x08", 4) + be16(1) + be16(0x0112) + be16(3) + B("\0\0\0\x01", 4)
         + be16(orientation) + B(6, '\0');
}

inline B jpegWithOrientation(const QImage &image, int orientation)
{
    const B tiff = "Exif" + B(2, '\0') + exifOrientation(orientation);
    return encoded(image, "jpg").insert(2, "\xFF\xE1" + be16(int(tiff.size()) + 2) + tiff);
}

// Qt writes a simple lossy WebP; an EXIF chunk needs the extended layout (VP8X first).
inline B webpWithOrientation(const QImage &image, int orientation)
{
    const B exif = exifOrientation(orientation);
    const B body = "WEBP" + B("VP8X") + le32(10) + le32(8) + le32(quint32(image.width() - 1)).left(3)
                 + le32(quint32(image.height() - 1)).left(3) + encoded(image, "webp").mid(12) + "EXIF"
                 + le32(quint32(exif.size())) + exif;
    return "RIFF" + le32(quint32(body.size())) + body;
}

} // namespace TestImages
