#pragma once

// Image files made in memory for the decoder's tests and the fuzzer's seeds: each format,
// EXIF orientations in either byte order, HEIC through libheif's encoder.
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QPainter>
#include <QTemporaryFile>
#include <QtEndian>

#include <libheif/heif_cxx.h>

#include <array>
#include <cstring>

namespace ImageFiles {

using B = QByteArray;

// Bands of colour side by side, equally wide.
inline QImage bands(QSize size, QList<QColor> colours)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (int i = 0, n = int(colours.size()), w = size.width(); i < n; ++i)
        painter.fillRect(w * i / n, 0, w * (i + 1) / n - w * i / n, size.height(), colours[i]);
    return image;
}

// Four quadrants: red, green on top; blue, yellow below. Every orientation moves red
// elsewhere or changes its neighbours, so each of the eight is told apart.
inline QImage quadrants(QSize size)
{
    QImage image = bands(size, {Qt::blue, Qt::yellow});
    QPainter(&image).drawImage(0, 0, bands({size.width(), size.height() / 2}, {Qt::red, Qt::green}));
    return image.convertToFormat(QImage::Format_RGB32);
}

inline B encoded(const QImage &image, const char *format, int quality = 90, bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return buffer.data();
}

inline B u16(int v, bool little) { return little ? B(1, char(v)) + char(v >> 8) : B(1, char(v >> 8)) + char(v); }
inline B u32(quint32 v, bool little) { return little ? u16(int(v), true) + u16(int(v >> 16), true) : u16(int(v >> 16), false) + u16(int(v), false); }

// A TIFF structure whose one directory holds single values {tag, type (3 short, 4 long),
// value}, sorted by tag, followed by `tail`.
inline B tiff(const QList<std::array<quint32, 3>> &entries, bool little, const B &tail = {})
{
    B out = B(little ? "II" : "MM") + u16(42, little) + u32(8, little) + u16(int(entries.size()), little);
    for (const auto &[tag, type, value] : entries)
        out += u16(int(tag), little) + u16(int(type), little) + u32(1, little)
             + (type == 3 ? u16(int(value), little) + B(2, '\0') : u32(value, little));
    return out + u32(0, little) + tail;
}

// `image` as "jpg", "webp" or "tiff" (uncompressed RGB, one strip) with EXIF `orientation`.
inline B withOrientation(const QImage &image, const B &format, int orientation, bool little = false)
{
    const quint32 w = quint32(image.width()), h = quint32(image.height()), o = quint32(orientation);
    if (format == "tiff") {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        B pixels;
        for (int y = 0; y < rgb.height(); ++y)
            pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
        // The pixels follow the directory of ten entries, at 8 + 2 + 10 * 12 + 4.
        return tiff({{256, 4, w}, {257, 4, h}, {258, 3, 8}, {259, 3, 1}, {262, 3, 2}, {273, 4, 134}, {274, 3, o},
                     {277, 3, 3}, {278, 4, h}, {279, 4, quint32(pixels.size())}}, little, pixels);
    }
    const B exif = tiff({{274, 3, o}}, little);
    if (format == "jpg")
        return encoded(image, "jpg").insert(2, "\xFF\xE1" + u16(int(exif.size()) + 8, false) + "Exif" + B(2, '\0') + exif);
    // Qt writes a simple WebP; an EXIF chunk needs the extended layout (VP8X first).
    const B body = "WEBP" + B("VP8X") + u32(10, true) + u32(8, true) + u32(w - 1, true).left(3) + u32(h - 1, true).left(3)
                 + encoded(image, "webp", 100).mid(12) + "EXIF" + u32(quint32(exif.size()), true) + exif;
    return "RIFF" + u32(quint32(body.size()), true) + body;
}

// A GIF of up to 128 colours, its LZW data written as plain 8-bit codes with a clear code
// (128) before the table would grow.
inline B gif(const QImage &image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const int w = indexed.width();
    const B size = u16(w, true) + u16(indexed.height(), true);
    B out = "GIF89a" + size + char(0xF6) + B(2, '\0');
    QList<QRgb> table = indexed.colorTable();
    table.resize(128);
    for (const QRgb c : table)
        out += char(qRed(c)) + B(1, char(qGreen(c))) + char(qBlue(c));
    out += ',' + B(4, '\0') + size + char(0) + char(7);
    B codes(1, char(128));
    for (int i = 0; i < w * indexed.height(); ++i)
        codes += (i % 126 == 125 ? B(1, char(128)) : B()) + char(indexed.pixelIndex(i % w, i / w) & 127);
    codes += char(129);
    for (qsizetype at = 0; at < codes.size(); at += 255)
        out += char(std::min<qsizetype>(255, codes.size() - at)) + codes.mid(at, 255);
    return out + '\0' + ';';
}

// A HEIC file, or none when none can be made here (no HEVC encoder, say).
inline B heic(const QImage &image, heif_orientation orientation = heif_orientation_normal, int thumbnailBox = 0)
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
        heif::Context::EncodingOptions options;
        options.image_orientation = orientation;
        const heif::ImageHandle handle = context.encode_image(raw, encoder, options);
        if (thumbnailBox > 0)
            context.encode_thumbnail(raw, handle, encoder, options, thumbnailBox);
        QTemporaryFile file;
        file.open();
        context.write_to_file(file.fileName().toStdString());
        return file.readAll();
    } catch (const heif::Error &error) {
        qWarning("cannot make HEIC files: %s", error.get_message().c_str());
        return {};
    }
}

inline B be16(int v) { return u16(v, false); }
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
    const B grid = B(1, '\0') + char(1) + B(2, '\0') + be32(quint32(canvas.width())) + be32(quint32(canvas.height()));
    const B data = boxBody(tile, "mdat");
    const auto meta = [&](quint32 dataAt) {
        const B items = fullBox("infe", 2, be16(1) + be16(0) + "grid" + B(1, '\0'))
                      + fullBox("infe", 2, be16(2) + be16(0) + "hvc1" + B(1, '\0'));
        const B refs = box("dimg", be16(1) + be16(1) + be16(2)) + (thumbnail ? box("thmb", be16(1) + be16(1) + be16(2)) : B());
        const B properties = box("ipco", fullBox("ispe", 0, be32(quint32(declared.width())) + be32(quint32(declared.height())))
                                              + box("hvcC", boxBody(tile, "hvcC")) + fullBox("ispe", 0, boxBody(tile, "ispe").mid(4)));
        const B associations = be32(2) + be16(1) + char(1) + char(1) + be16(2) + char(2) + char(0x82) + char(3);
        const B locations = be16(2) + be16(1) + be16(1) + be16(0) + be16(1) + be32(0) + be32(quint32(grid.size()))
                          + be16(2) + be16(0) + be16(0) + be16(1) + be32(dataAt) + be32(quint32(data.size()));
        return fullBox("meta", 0, fullBox("hdlr", 0, be32(0) + "pict" + B(13, '\0')) + fullBox("pitm", 0, be16(thumbnail ? 2 : 1))
                                      + fullBox("iinf", 0, be16(2) + items) + fullBox("iref", 0, refs)
                                      + box("iprp", properties + fullBox("ipma", 0, associations))
                                      + fullBox("iloc", 1, B(1, 0x44) + B(1, '\0') + locations) + box("idat", grid));
    };
    const quint32 dataAt = quint32(ftyp.size() + meta(0).size() + 8);
    return ftyp + meta(dataAt) + box("mdat", data);
}

// gzip, what an .svgz holds: Qt's zlib stream without its length, header and checksum.
inline B gzipped(const B &data)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return B("\x1F\x8B\x08\0\0\0\0\0\x02\xFF", 10) + qCompress(data, 9).mid(6).chopped(4) + u32(~crc, true)
         + u32(quint32(data.size()), true);
}

} // namespace ImageFiles
