#pragma once

// Image files made in memory for the decoder's tests and the fuzzer's seeds: each format,
// EXIF orientations in either byte order, HEIC through libheif's encoder.
#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>
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

inline B be32(quint32 v) { return u32(v, false); }
inline B box(const char *type, const B &body) { return be32(quint32(body.size() + 8)) + type + body; }
inline B fullBox(const char *type, int version, const B &body) { return box(type, B(1, char(version)) + B(3, '\0') + body); }

// The body of the first `type` box in an ISO file (searched by name, which is enough here).
inline B boxBody(const B &file, const char *type)
{
    const qsizetype at = file.indexOf(type);
    return at < 4 ? B() : file.mid(at + 4, qFromBigEndian<quint32>(file.constData() + at - 4) - 8);
}

// A HEIF file whose item 1 is a one-tile grid declaring `declared` but stating `canvas` as
// its output, over the HEVC tile of `tile` (a HEIC file). As `thumbnail`, the grid is the
// thumbnail of the tile, which is the primary image.
inline B heifGrid(const B &tile, QSize declared, QSize canvas, bool thumbnail = false)
{
    const B ftyp = box("ftyp", B("heic") + be32(0) + "mif1heic");
    const B ispe = fullBox("ispe", 0, be32(quint32(declared.width())) + be32(quint32(declared.height())));
    const B tileIspe = fullBox("ispe", 0, boxBody(tile, "ispe").mid(4));
    const B grid = B(1, '\0') + char(1) + B(2, '\0') + be32(quint32(canvas.width())) + be32(quint32(canvas.height()));
    const B data = boxBody(tile, "mdat");
    const auto meta = [&](quint32 dataAt) {
        const B items = fullBox("infe", 2, u16(1, false) + u16(0, false) + "grid" + B(1, '\0'))
                      + fullBox("infe", 2, u16(2, false) + u16(0, false) + "hvc1" + B(1, '\0'));
        const B refs = box("dimg", u16(1, false) + u16(1, false) + u16(2, false))
                     + (thumbnail ? box("thmb", u16(1, false) + u16(1, false) + u16(2, false)) : B());
        const B properties = box("ipco", ispe + box("hvcC", boxBody(tile, "hvcC")) + tileIspe);
        const B associations = be32(2) + u16(1, false) + char(1) + char(1) + u16(2, false) + char(2) + char(0x82) + char(3);
        const B locations = u16(2, false) + u16(1, false) + u16(1, false) + u16(0, false) + u16(1, false) + be32(0)
                          + be32(quint32(grid.size())) + u16(2, false) + u16(0, false) + u16(0, false) + u16(1, false)
                          + be32(dataAt) + be32(quint32(data.size()));
        return fullBox("meta", 0, fullBox("hdlr", 0, be32(0) + "pict" + B(13, '\0'))
                                      + fullBox("pitm", 0, u16(thumbnail ? 2 : 1, false))
                                      + fullBox("iinf", 0, u16(2, false) + items) + fullBox("iref", 0, refs)
                                      + box("iprp", properties + fullBox("ipma", 0, associations))
                                      + fullBox("iloc", 1, B(1, 0x44) + B(1, '\0') + locations) + box("idat", grid));
    };
    const quint32 dataAt = quint32(ftyp.size() + meta(0).size() + 8);
    return ftyp + meta(dataAt) + box("mdat", data);
}

// gzip: what an .svgz holds. Qt's zlib stream without its length, header and checksum.
inline B gzipped(const B &data)
{
    static const QList<quint32> table = [] {
        QList<quint32> entries(256);
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
            entries[n] = c;
        }
        return entries;
    }();
    quint32 crc = 0xFFFFFFFF;
    for (const char c : data)
        crc = table[(crc ^ quint8(c)) & 0xFF] ^ (crc >> 8);
    const B deflated = qCompress(data, 9).mid(6).chopped(4);
    return B("\x1F\x8B\x08\0\0\0\0\0\x02\xFF", 10) + deflated + u32(~crc, true) + u32(quint32(data.size()), true);
}

inline B progressiveJpeg(const QImage &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return buffer.data();
}

} // namespace ImageFiles
