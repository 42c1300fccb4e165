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
#include <functional>

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

inline B encoded(const QImage &image, const char *format, int quality = 90, bool progressive = false, int compression = -1)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.setCompression(compression);
    writer.write(image);
    return buffer.data();
}

inline B u16(int v, bool little) { return little ? B(1, char(v)) + char(v >> 8) : B(1, char(v >> 8)) + char(v); }
inline B u32(quint32 v, bool little) { return little ? u16(int(v), true) + u16(int(v >> 16), true) : u16(int(v >> 16), false) + u16(int(v), false); }

// TIFF values from here on are offsets into the tail.
inline constexpr quint32 inTail = 0x80000000;

// A TIFF structure whose one directory holds {tag, type (3 short, 4 long), values}, sorted
// by tag, followed by the longer value lists, then `tail`.
inline B tiff(const QList<std::tuple<quint32, quint32, QList<quint32>>> &entries, bool little, const B &tail = {})
{
    const qsizetype listsAt = 8 + 2 + 12 * entries.size() + 4;
    qsizetype tailAt = listsAt;
    for (const auto &[tag, type, values] : entries)
        tailAt += values.size() * (type == 3 ? 2 : 4) > 4 ? values.size() * (type == 3 ? 2 : 4) : 0;
    B out = B(little ? "II" : "MM") + u16(42, little) + u32(8, little) + u16(int(entries.size()), little), lists;
    for (const auto &[tag, type, values] : entries) {
        B packed;
        for (const quint32 v : values)
            packed += type == 3 ? u16(int(v), little) : u32(v >= inTail ? quint32(tailAt) + v - inTail : v, little);
        out += u16(int(tag), little) + u16(int(type), little) + u32(quint32(values.size()), little)
             + (packed.size() <= 4 ? packed.leftJustified(4, '\0') : u32(quint32(listsAt + lists.size()), little));
        lists += packed.size() > 4 ? packed : B();
    }
    return out + u32(0, little) + lists + tail;
}

// `image` as "jpg", "webp" or "tiff" (uncompressed RGB, one strip) with EXIF `orientation`.
inline B withOrientation(const QImage &image, const B &format, int orientation, bool little = false)
{
    const quint32 w = quint32(image.width()), h = quint32(image.height()), o = quint32(orientation);
    if (format == "tiff") { // uncompressed RGB in strips of 16 rows
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        B pixels;
        QList<quint32> offsets, counts;
        for (quint32 y = 0; y < h; ++y) {
            pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(int(y))), rgb.width() * 3);
            if (y % 16 == 0)
                offsets.append(inTail + y * w * 3), counts.append(std::min(16U, h - y) * w * 3);
        }
        return tiff({{256, 4, {w}}, {257, 4, {h}}, {258, 3, {8, 8, 8}}, {259, 3, {1}}, {262, 3, {2}}, {273, 4, offsets}, {274, 3, {o}},
                     {277, 3, {3}}, {278, 4, {16}}, {279, 4, counts}}, little, pixels);
    }
    const B exif = tiff({{274, 3, {o}}}, little);
    if (format == "jpg")
        return encoded(image, "jpg").insert(2, "\xFF\xE1" + u16(int(exif.size()) + 8, false) + "Exif" + B(2, '\0') + exif);
    // Qt writes a simple WebP; an EXIF chunk needs the extended layout (VP8X first).
    const B body = "WEBP" + B("VP8X") + u32(10, true) + u32(8, true) + u32(w - 1, true).left(3) + u32(h - 1, true).left(3)
                 + encoded(image, "webp", 100).mid(12) + "EXIF" + u32(quint32(exif.size()), true) + exif;
    return "RIFF" + u32(quint32(body.size()), true) + body;
}

// A GIF whose one frame, of `frame` at the top left, is the LZW data `lzw` of minimum code
// size `codeSize` over `palette` (2^n RGB triples); the rest shows colour 1.
inline B gifFile(QSize screen, QSize frame, const B &palette, int codeSize, const B &lzw)
{
    B out = "GIF89a" + u16(screen.width(), true) + u16(screen.height(), true)
          + char(0x80 | (qCountTrailingZeroBits(quint32(palette.size() / 3)) - 1)) + B("\1\0", 2) + palette + ','
          + B(4, '\0') + u16(frame.width(), true) + u16(frame.height(), true) + char(0) + char(codeSize);
    for (qsizetype at = 0; at < lzw.size(); at += 255)
        out += char(std::min<qsizetype>(255, lzw.size() - at)) + lzw.mid(at, 255);
    return out + '\0' + ';';
}

// A GIF of up to 128 colours, its LZW data written as plain 8-bit codes with a clear code
// (128) before the table would grow.
inline B gif(const QImage &image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QList<QRgb> table = indexed.colorTable();
    table.resize(128);
    B palette, codes(1, char(128));
    for (const QRgb c : table)
        palette += char(qRed(c)) + B(1, char(qGreen(c))) + char(qBlue(c));
    for (int i = 0, w = indexed.width(); i < w * indexed.height(); ++i)
        codes += (i % 126 == 125 ? B(1, char(128)) : B()) + char(indexed.pixelIndex(i % w, i / w) & 127);
    return gifFile(image.size(), image.size(), palette, 7, codes + char(129));
}

// Bits packed from the lowest bit of each byte up, as GIF and deflate store them.
struct LsbBits
{
    B bytes;
    qint64 count = 0;
    void put(quint32 value, int n)
    {
        for (int i = 0; i < n; ++i, ++count)
            (count % 8 ? bytes : bytes.append('\0')).back() |= char((value >> i & 1) << count % 8);
    }
};

// A GIF whose frame, the top half of the picture, is white, then its LZW codes run on for
// `bytes` bytes: each is the one just being defined, so the strings grow to 4,000 pixels.
// Decoded past its frame, the white would run on below it.
inline B lzwBombGif(QSize size, qsizetype bytes)
{
    LsbBits bits;
    bits.put(4, 3), bits.put(0, 3); // clear, then a literal
    for (int width = 3, next = 6; bits.bytes.size() < bytes;) {
        bits.put(quint32(std::min(next, 4095)), width);
        if (next < 4096 && ++next == 1 << width && width < 12)
            ++width;
    }
    return gifFile(size, {size.width(), size.height() / 2}, B(3, '\xFF') + B(3, '\0'), 2, bits.bytes);
}

// A grey progressive JPEG made of a DC scan and `scans` AC scans that each end every block
// at once, in 16,384-block runs: the side is a multiple of 1,024.
inline B manyScansJpeg(int side, int scans)
{
    const int runs = side / 1024 * side / 1024;
    const auto seg = [](int marker, const B &body) -> B { return B(1, '\xFF') + char(marker) + u16(int(body.size()) + 2, false) + body; };
    B out = B("\xFF\xD8") + seg(0xDB, B(1, '\0') + B(64, '\1')) + seg(0xC2, B(1, 8) + u16(side, false) + u16(side, false) + B("\1\1\x11\0", 4))
          + seg(0xC4, B("\0\1", 2) + B(15, '\0') + B(1, '\0')) + seg(0xC4, B("\x10\1", 2) + B(15, '\0') + B(1, '\xE0'));
    out += seg(0xDA, B("\1\1\0\0\0\0", 6)) + B(runs * 16384 / 8, '\0'); // every DC difference 0
    for (int s = 0; s < scans; ++s)
        out += seg(0xDA, B("\1\1\0\1\x3F\0", 6)) + B((runs * 15 + 7) / 8, '\0'); // EOB14 runs of 16,384
    return out + "\xFF\xD9";
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

// A HEIF file of the item infe boxes `items`, primary `primary`, of the iref boxes `refs`,
// properties and associations, and `locations(offset of data)` (iloc, version 1) of its
// `data`, which follows the meta box; `idat`, if any, closes the meta box.
inline B heifFile(int primary, const B &items, const B &refs, const B &properties, const B &associations,
                  const std::function<B(quint32)> &locations, const B &idat, const B &data)
{
    const B ftyp = box("ftyp", B("heic") + be32(0) + "mif1heic");
    const auto meta = [&](quint32 dataAt) -> B {
        return fullBox("meta", 0, fullBox("hdlr", 0, be32(0) + "pict" + B(13, '\0')) + fullBox("pitm", 0, be16(primary))
                                      + fullBox("iinf", 0, be16(int(items.count("infe"))) + items) + (refs.isEmpty() ? B() : fullBox("iref", 0, refs))
                                      + box("iprp", box("ipco", properties) + fullBox("ipma", 0, associations))
                                      + fullBox("iloc", 1, B(1, 0x44) + B(1, '\0') + locations(dataAt)) + (idat.isEmpty() ? B() : box("idat", idat)));
    };
    return ftyp + meta(quint32(ftyp.size() + meta(0).size() + 8)) + box("mdat", data);
}
inline B infe(int id, const char *type) { return fullBox("infe", 2, be16(id) + be16(0) + type + B(1, '\0')); }
inline B ispe(QSize size) { return fullBox("ispe", 0, be32(quint32(size.width())) + be32(quint32(size.height()))); }

// A HEIF file whose item 1 is a one-tile grid declaring `declared` but stating `canvas` as
// its output (in idat), over the HEVC tile of `tile` (a HEIC file). As `thumbnail`, the grid
// is the thumbnail of the tile, which is the primary image.
inline B heifGrid(const B &tile, QSize declared, QSize canvas, bool thumbnail = false)
{
    const B grid = B(1, '\0') + char(1) + B(2, '\0') + be32(quint32(canvas.width())) + be32(quint32(canvas.height()));
    const B data = boxBody(tile, "mdat"), dimg = be16(1) + be16(1) + be16(2);
    return heifFile(thumbnail ? 2 : 1, infe(1, "grid") + infe(2, "hvc1"), box("dimg", dimg) + (thumbnail ? box("thmb", dimg) : B()),
                    ispe(declared) + box("hvcC", boxBody(tile, "hvcC")) + fullBox("ispe", 0, boxBody(tile, "ispe").mid(4)),
                    be32(2) + be16(1) + char(1) + char(1) + be16(2) + char(2) + char(0x82) + char(3), [&](quint32 dataAt) -> B {
                        return be16(2) + be16(1) + be16(1) + be16(0) + be16(1) + be32(0) + be32(quint32(grid.size())) + be16(2)
                             + be16(0) + be16(0) + be16(1) + be32(dataAt) + be32(quint32(data.size()));
                    }, grid, data);
}

// A HEIF file of one HEVC item declaring `declared`, with the decoder configuration `hvcC`
// (a box body) and the coded `data`, or those {offset, length} pieces of it in turn.
inline B heifItem(const B &hvcC, QSize declared, const B &data, QList<std::pair<int, int>> extents = {})
{
    if (extents.isEmpty())
        extents = {{0, int(data.size())}};
    return heifFile(1, infe(1, "hvc1"), {}, ispe(declared) + box("hvcC", hvcC), be32(1) + be16(1) + char(2) + char(0x81) + char(0x82),
                    [&](quint32 dataAt) -> B {
                        B location = be16(1) + be16(1) + be16(0) + be16(0) + be16(int(extents.size()));
                        for (const auto &[offset, length] : extents)
                            location += be32(dataAt + quint32(offset)) + be32(quint32(length));
                        return location;
                    }, {}, data);
}

// The parameter sets of a HEIC file's configuration, as its coded data carries pictures:
// each behind its length.
inline B parameterSets(const B &heicFile)
{
    const B config = boxBody(heicFile, "hvcC");
    B out;
    for (qsizetype pos = 23, a = 0; a < quint8(config[22]); ++a) {
        const int units = qFromBigEndian<quint16>(config.constData() + pos + 1);
        pos += 3;
        for (int u = 0; u < units; ++u) {
            const int length = qFromBigEndian<quint16>(config.constData() + pos);
            out += be32(quint32(length)) + config.mid(pos + 2, length);
            pos += 2 + length;
        }
    }
    return out;
}

inline quint32 crc32(const B &data)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// gzip, what an .svgz holds: Qt's zlib stream without its length, header and checksum.
inline B gzipped(const B &data)
{
    return B("\x1F\x8B\x08\0\0\0\0\0\x02\xFF", 10) + qCompress(data, 9).mid(6).chopped(4) + u32(crc32(data), true)
         + u32(quint32(data.size()), true);
}

// A grey PNG whose image data inflates to at least `inflated` bytes whatever its size: a
// literal 0, then copies of it 258 bytes at a time (one fixed-code deflate block).
inline B inflatingPng(QSize size, qint64 inflated)
{
    // Deflate sends Huffman codes highest bit first: 0x0C is literal 0's 0x30, 0xA3 the
    // length 258's 0xC5; distance 1 and the block's end are all zeros.
    LsbBits bits;
    bits.put(0x178, 16); // the zlib header
    bits.put(1, 1), bits.put(1, 2), bits.put(0x0C, 8);
    qint64 n = 1;
    for (; n < inflated; n += 258)
        bits.put(0xA3, 8), bits.put(0, 5);
    bits.put(0, 7);
    const auto chunk = [](const char *type, const B &body) -> B { return be32(quint32(body.size())) + type + body + be32(crc32(type + body)); };
    return "\x89PNG\r\n\x1A\n" + chunk("IHDR", be32(quint32(size.width())) + be32(quint32(size.height())) + B("\x08\0\0\0\0", 5))
         + chunk("IDAT", bits.bytes + be32(quint32(n % 65521) << 16 | 1)) + chunk("IEND", {});
}

// An 8-bit run-length BMP whose rows are each of one grey.
inline B rleBmp(QSize size)
{
    B rows, palette;
    for (int y = 0; y < size.height(); ++y) {
        for (int run = size.width(); run > 0; run -= 255)
            rows += char(std::min(run, 255)) + B(1, char(y));
        rows += B(2, '\0');
    }
    for (int i = 0; i < 256; ++i)
        palette += B(3, char(i)) + '\0';
    const quint32 at = 14 + 40 + 1024;
    return "BM" + u32(at + quint32(rows.size()) + 2, true) + u32(0, true) + u32(at, true) + u32(40, true)
         + u32(quint32(size.width()), true) + u32(quint32(size.height()), true) + u16(1, true) + u16(8, true) + u32(1, true)
         + u32(quint32(rows.size()) + 2, true) + u32(2835, true) + u32(2835, true) + u32(256, true) + u32(0, true) + palette + rows
         + B("\0\1", 2);
}

} // namespace ImageFiles
