#pragma once

// Image files made in memory for the decoder's tests and the fuzzer's seeds: each format,
// EXIF orientations in either byte order, HEIC through libheif's encoder.
#include <QBuffer>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QString>

#include <libheif/heif_cxx.h>

#include <cstring>

namespace ImageFiles {

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

// Four quadrants: red, green on top; blue, yellow below. Every orientation moves red elsewhere
// or changes its neighbours, so each of the eight is told apart.
inline QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    return image;
}

inline B encoded(const QImage &image, const char *format, int quality = 90)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return buffer.data();
}

inline B u16(int v, bool little) { return little ? B(1, char(v)) + char(v >> 8) : B(1, char(v >> 8)) + char(v); }
inline B u32(quint32 v, bool little)
{
    return little ? u16(int(v & 0xFFFF), true) + u16(int(v >> 16), true) : u16(int(v >> 16), false) + u16(int(v & 0xFFFF), false);
}

// A TIFF structure whose first directory holds `entries` (tag, type, count, value or
// out-of-line bytes), sorted by tag; `tail` is appended after the directory.
struct TiffEntry
{
    int tag, type;
    quint32 count;
    B value; // up to 4 bytes inline, else stored after the directory
};
inline B tiffStructure(QList<TiffEntry> entries, bool little, const B &tail = {}, quint32 *tailOffset = nullptr)
{
    B head = little ? B("II") + u16(42, true) : B("MM") + u16(42, false);
    head += u32(8, little);
    const quint32 directoryEnd = 8 + 2 + 12 * quint32(entries.size()) + 4;
    B directory = u16(int(entries.size()), little), extra;
    for (const TiffEntry &e : entries) {
        directory += u16(e.tag, little) + u16(e.type, little) + u32(e.count, little);
        if (e.value.size() <= 4) {
            directory += e.value + B(4 - e.value.size(), '\0');
        } else {
            directory += u32(directoryEnd + quint32(extra.size()), little);
            extra += e.value;
        }
    }
    if (tailOffset)
        *tailOffset = directoryEnd + quint32(extra.size());
    return head + directory + u32(0, little) + extra + tail;
}

inline B exifOrientation(int orientation, bool little)
{
    return tiffStructure({{0x0112, 3, 1, u16(orientation, little)}}, little);
}

inline B jpegWithOrientation(const QImage &image, int orientation, bool little = false)
{
    const B exif = "Exif" + B(2, '\0') + exifOrientation(orientation, little);
    return encoded(image, "jpg").insert(2, "\xFF\xE1" + u16(int(exif.size()) + 2, false) + exif);
}

// Qt writes a simple WebP; an EXIF chunk needs the extended layout (VP8X first).
inline B webpWithOrientation(const QImage &image, int orientation, bool little = false)
{
    const B exif = exifOrientation(orientation, little);
    const B body = "WEBP" + B("VP8X") + u32(10, true) + u32(8, true) + u32(quint32(image.width() - 1), true).left(3)
                 + u32(quint32(image.height() - 1), true).left(3) + encoded(image, "webp", 100).mid(12) + "EXIF"
                 + u32(quint32(exif.size()), true) + exif;
    return "RIFF" + u32(quint32(body.size()), true) + body;
}

// An uncompressed RGB TIFF, one strip.
inline B tiffWithOrientation(const QImage &image, int orientation, bool little = false)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    B pixels;
    for (int y = 0; y < rgb.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
    const auto shortValue = [&](int v) { return u16(v, little); };
    const auto longValue = [&](quint32 v) { return u32(v, little); };
    QList<TiffEntry> entries{{256, 4, 1, longValue(quint32(rgb.width()))},
                             {257, 4, 1, longValue(quint32(rgb.height()))},
                             {258, 3, 3, shortValue(8) + shortValue(8) + shortValue(8)},
                             {259, 3, 1, shortValue(1)},
                             {262, 3, 1, shortValue(2)},
                             {273, 4, 1, longValue(0)},
                             {0x0112, 3, 1, shortValue(orientation)},
                             {277, 3, 1, shortValue(3)},
                             {278, 4, 1, longValue(quint32(rgb.height()))},
                             {279, 4, 1, longValue(quint32(pixels.size()))}};
    quint32 offset = 0;
    tiffStructure(entries, little, pixels, &offset); // learns where the pixels land
    entries[5].value = longValue(offset);
    return tiffStructure(entries, little, pixels);
}

// A GIF of up to 128 colours, its LZW data written as plain 8-bit codes with a clear code
// before the table would grow.
inline B gif(const QImage &image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    B out = B("GIF89a") + u16(indexed.width(), true) + u16(indexed.height(), true) + char(0xF6) + B(2, '\0');
    for (int i = 0; i < 128; ++i) {
        const QRgb c = i < indexed.colorCount() ? indexed.color(i) : 0;
        out += char(qRed(c)) + B(1, char(qGreen(c))) + char(qBlue(c));
    }
    out += ',' + B(4, '\0') + u16(indexed.width(), true) + u16(indexed.height(), true) + char(0) + char(7);
    B codes;
    quint32 buffer = 0;
    int bits = 0, sinceClear = 0;
    const auto put = [&](int code) {
        buffer |= quint32(code) << bits;
        for (bits += 8; bits >= 8; bits -= 8, buffer >>= 8)
            codes += char(buffer & 0xFF);
    };
    put(128);
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x) {
            if (++sinceClear == 126)
                put(128), sinceClear = 0;
            put(indexed.pixelIndex(x, y) & 127);
        }
    }
    put(129);
    if (bits > 0)
        codes += char(buffer & 0xFF);
    for (qsizetype at = 0; at < codes.size(); at += 255)
        out += char(std::min<qsizetype>(255, codes.size() - at)) + codes.mid(at, 255);
    return out + '\0' + ';';
}

// A HEIC file, or none and why not (no HEVC encoder here, say).
inline B heic(const QImage &image, heif_orientation orientation = heif_orientation_normal, int thumbnailBox = 0,
              QString *missing = nullptr)
{
    try {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        heif::Image raw;
        raw.create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB);
        raw.add_plane(heif_channel_interleaved, rgb.width(), rgb.height(), 8);
        int stride = 0;
        uint8_t *plane = raw.get_plane(heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width() * 3));
        heif::Context context;
        heif::Encoder encoder(heif_compression_HEVC);
        encoder.set_lossy_quality(90);
        heif::Context::EncodingOptions options;
        options.image_orientation = orientation;
        const heif::ImageHandle handle = context.encode_image(raw, encoder, options);
        if (thumbnailBox > 0)
            context.encode_thumbnail(raw, handle, encoder, options, thumbnailBox);
        struct : heif::Context::Writer
        {
            B bytes;
            heif_error write(const void *data, size_t size) override
            {
                bytes.append(static_cast<const char *>(data), qsizetype(size));
                return {heif_error_Ok, heif_suberror_Unspecified, ""};
            }
        } writer;
        context.write(writer);
        return writer.bytes;
    } catch (const heif::Error &error) {
        if (missing)
            *missing = QString::fromStdString(error.get_message());
        return {};
    }
}

} // namespace ImageFiles
