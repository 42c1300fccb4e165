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
#include <zlib.h>

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

inline B encoded(const QImage &image, const char *format, int quality = 90, bool progressive = false, int compression = -1)
{
    QBuffer buffer; // opened by the writer
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality), writer.setProgressiveScanWrite(progressive), writer.setCompression(compression);
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

// `image` as "jpg", "webp" or "tiff" (uncompressed RGB in strips of 16 rows) with EXIF `orientation`.
inline B withOrientation(const QImage &image, const B &format, int orientation, bool little = false)
{
    const quint32 w = quint32(image.width()), h = quint32(image.height()), o = quint32(orientation);
    if (format == "tiff") {
        B pixels(qsizetype(w) * h * 3, '\0');
        QImage rows(reinterpret_cast<uchar *>(pixels.data()), int(w), int(h), int(w) * 3, QImage::Format_RGB888);
        QPainter(&rows).drawImage(0, 0, image);
        QList<quint32> offsets, counts;
        for (quint32 y = 0; y < h; y += 16)
            offsets.append(inTail + y * w * 3), counts.append(std::min(16U, h - y) * w * 3);
        return tiff({{256, 4, {w}}, {257, 4, {h}}, {258, 3, {8, 8, 8}}, {259, 3, {1}}, {262, 3, {2}}, {273, 4, offsets}, {274, 3, {o}},
                     {277, 3, {3}}, {278, 4, {16}}, {279, 4, counts}}, little, pixels);
    }
    const B exif = tiff({{274, 3, {o}}}, little);
    if (format == "jpg")
        return encoded(image, "jpg").insert(2, "\xFF\xE1" + u16(int(exif.size()) + 8, false) + "Exif" + B(2, '\0') + exif);
    // Qt writes a simple WebP; an EXIF chunk needs the extended layout (VP8X first). Some
    // writers start the chunk as a JPEG's: in II order, so do we.
    const B chunk = (little ? B("Exif\0\0", 6) : B()) + exif;
    const B body = "WEBP" + B("VP8X") + u32(10, true) + u32(8, true) + u32(w - 1, true).left(3) + u32(h - 1, true).left(3)
                 + encoded(image, "webp", 100).mid(12) + "EXIF" + u32(quint32(chunk.size()), true) + chunk;
    return "RIFF" + u32(quint32(body.size()), true) + body;
}

// A GIF whose one frame, of `frame` at the top left and behind a graphic control extension, is
// the LZW data `lzw` of minimum code size `codeSize` over `palette` (2^n RGB triples), the
// screen's or, if `local`, the frame's own; the rest of the screen shows colour 1.
inline B gifFile(QSize screen, QSize frame, const B &palette, int codeSize, const B &lzw, bool local = false)
{
    const char flags = char(0x80 | (qCountTrailingZeroBits(quint32(palette.size() / 3)) - 1));
    B out = "GIF89a" + u16(screen.width(), true) + u16(screen.height(), true) + (local ? '\0' : flags) + B("\1\0", 2) + (local ? B() : palette)
          + B("!\xF9\4\0\0\0\0\0,\0\0\0\0", 13) + u16(frame.width(), true) + u16(frame.height(), true) + (local ? B(1, flags) + palette : B(1, '\0')) + char(codeSize);
    for (qsizetype at = 0; at < lzw.size(); at += 255)
        out += char(std::min<qsizetype>(255, lzw.size() - at)) + lzw.mid(at, 255);
    return out + '\0' + ';';
}

// A GIF of up to 128 colours in a palette of its frame, its LZW data written as plain 8-bit
// codes with a clear code (128) before the table would grow.
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
    return gifFile(image.size(), image.size(), palette, 7, codes + char(129), true);
}

// A GIF whose frame, the top half of the picture, is white, then its LZW codes run on for
// `bytes` bytes: each is the one just being defined, so the strings grow to 4,000 pixels.
// Decoded past its frame, the white would run on below it.
inline B lzwBombGif(QSize size, qsizetype bytes)
{
    B lzw;
    qint64 count = 0;
    const auto put = [&](quint32 value, int n) { // from the lowest bit of each byte up
        for (int i = 0; i < n; ++i, ++count)
            (count % 8 ? lzw : lzw.append('\0')).back() |= char((value >> i & 1) << count % 8);
    };
    put(4, 3), put(0, 3); // clear, then a literal
    for (int width = 3, next = 6; lzw.size() < bytes;) {
        put(quint32(std::min(next, 4095)), width);
        if (next < 4096 && ++next == 1 << width && width < 12)
            ++width;
    }
    return gifFile(size, {size.width(), size.height() / 2}, B(3, '\xFF') + B(3, '\0'), 2, lzw);
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

// A HEIC file, with an alpha plane if `image` is RGBA8888 and a thumbnail to fit each of
// `thumbnailBoxes`, or none when no HEVC encoder is there to make one.
inline B heic(const QImage &image, heif_orientation orientation = heif_orientation_normal, const QList<int> &thumbnailBoxes = {})
{
    if (!heif_have_encoder_for_format(heif_compression_HEVC))
        return qWarning("cannot make HEIC files: no HEVC encoder"), B();
    const bool alpha = image.format() == QImage::Format_RGBA8888;
    const QImage rgb = alpha ? image : image.convertToFormat(QImage::Format_RGB888);
    heif::Image raw;
    raw.create(rgb.width(), rgb.height(), heif_colorspace_RGB, alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    raw.add_plane(heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t *plane = raw.get_plane(heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width() * (alpha ? 4 : 3)));
    heif::Context context;
    heif::Encoder encoder(heif_compression_HEVC);
    encoder.set_string_parameter("preset", "ultrafast");
    heif::Context::EncodingOptions options;
    options.image_orientation = orientation;
    const heif::ImageHandle handle = context.encode_image(raw, encoder, options);
    for (const int box : thumbnailBoxes)
        context.encode_thumbnail(raw, handle, encoder, options, box);
    QTemporaryFile file;
    file.open();
    context.write_to_file(file.fileName().toStdString());
    return file.readAll();
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

inline B ispe(QSize size) { return fullBox("ispe", 0, be32(quint32(size.width())) + be32(quint32(size.height()))); }

// An item of a HEIF file: its type, its property boxes, and its data, in the mdat box or the
// meta box's idat, read as the {offset, length} extents given or whole.
struct HeifPart
{
    const char *type;
    QList<B> properties;
    B data;
    QList<std::pair<int, int>> extents = {};
    bool inIdat = false;
};

// A HEIF file whose items 1, 2, ... are `parts`, with the iref boxes `refs`; its mdat box
// comes before its meta box.
inline B heifFile(const QList<HeifPart> &parts, const B &refs = {}, int primary = 1)
{
    const B ftyp = box("ftyp", B("heic") + be32(0) + "mif1heic");
    B items, properties, associations = be32(quint32(parts.size())), locations = be16(int(parts.size())), idat, mdat;
    for (int id = 1, index = 0; const HeifPart &part : parts) {
        B &data = part.inIdat ? idat : mdat;
        const quint32 at = quint32(data.size()) + (part.inIdat ? 0 : quint32(ftyp.size()) + 8);
        data += part.data;
        const auto extents = part.extents.isEmpty() ? QList<std::pair<int, int>>{{0, int(part.data.size())}} : part.extents;
        items += fullBox("infe", 2, be16(id) + be16(0) + part.type + B(1, '\0')), associations += be16(id) + char(part.properties.size());
        locations += be16(id++) + be16(part.inIdat) + be16(0) + be16(int(extents.size()));
        for (const auto &[offset, length] : extents)
            locations += be32(at + quint32(offset)) + be32(quint32(length));
        for (const B &property : part.properties)
            properties += property, associations += char(0x80 | ++index);
    }
    return ftyp + box("mdat", mdat)
         + fullBox("meta", 0, fullBox("hdlr", 0, be32(0) + "pict" + B(13, '\0')) + fullBox("pitm", 0, be16(primary))
                                  + fullBox("iinf", 0, be16(int(parts.size())) + items) + (refs.isEmpty() ? B() : fullBox("iref", 0, refs))
                                  + box("iprp", box("ipco", properties) + fullBox("ipma", 0, associations))
                                  + fullBox("iloc", 1, B(1, 0x44) + B(1, '\0') + locations) + (idat.isEmpty() ? B() : box("idat", idat)));
}

// A HEIF file whose item 1 is a grid of `tiles` tiles side by side declaring `declared` but
// stating `canvas` as its output, each the HEVC picture of `tile` (a HEIC file). As
// `thumbnail`, the one-tile grid is the thumbnail of the tile, which is the primary image.
inline B heifGrid(const B &tile, QSize declared, QSize canvas, bool thumbnail = false, int tiles = 1)
{
    const B grid = B(1, '\0') + char(1) + '\0' + char(tiles - 1) + be32(quint32(canvas.width())) + be32(quint32(canvas.height()));
    QList<HeifPart> parts{{"grid", {ispe(declared)}, grid, {}, true}};
    B refs = be16(1) + be16(tiles);
    for (int id = 2; id < tiles + 2; ++id)
        parts.append({"hvc1", {box("hvcC", boxBody(tile, "hvcC")), fullBox("ispe", 0, boxBody(tile, "ispe").mid(4))}, boxBody(tile, "mdat")}), refs += be16(id);
    return heifFile(parts, box("dimg", refs) + (thumbnail ? box("thmb", refs) : B()), thumbnail ? 2 : 1);
}

// A HEIF file of one HEVC item declaring `declared`, with the decoder configuration `hvcC`
// (a box body) and the coded `data`, or those {offset, length} pieces of it in turn.
inline B heifItem(const B &hvcC, QSize declared, const B &data, const QList<std::pair<int, int>> &extents = {}) { return heifFile({{"hvc1", {ispe(declared), box("hvcC", hvcC)}, data, extents}}); }

// The parameter sets of a HEIC file's configuration, as its coded data carries pictures:
// each behind its length.
inline B parameterSets(const B &heicFile)
{
    const B config = boxBody(heicFile, "hvcC");
    B out;
    for (qsizetype pos = 23, a = 0; a < quint8(config[22]); ++a) {
        pos += 3; // the array's unit type and count
        for (int u = 0, units = qFromBigEndian<quint16>(config.constData() + pos - 2); u < units; ++u) {
            const int length = 2 + qFromBigEndian<quint16>(config.constData() + pos);
            out += B(2, '\0') + config.mid(pos, length), pos += length; // a 32-bit length instead of a 16-bit one
        }
    }
    return out;
}

inline quint32 crc(const B &data) { return quint32(::crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()))); }

// A grey PNG of `depth` bits, interlaced or not, whose image data is the zlib stream `zlib`.
inline B greyPng(QSize size, const B &zlib, int depth = 8, bool interlaced = false)
{
    const auto chunk = [](const char *type, const B &body) -> B { return be32(quint32(body.size())) + type + body + be32(crc(type + body)); };
    return "\x89PNG\r\n\x1A\n" + chunk("IHDR", be32(quint32(size.width())) + be32(quint32(size.height())) + char(depth) + B(3, '\0') + char(interlaced))
         + chunk("IDAT", zlib) + chunk("IEND", {});
}

// A grey PNG whose image data inflates to `inflated` bytes whatever its size.
inline B inflatingPng(QSize size, qint64 inflated) { return greyPng(size, qCompress(B(inflated, '\0'), 9).mid(4)); }

// An 8-bit run-length BMP whose data ends the bitmap at once, leaving it black.
inline B rleBmp(QSize size)
{
    B out = "BM", palette;
    for (int i = 0; i < 256; ++i)
        palette += B(3, char(i)) + '\0';
    const quint32 at = 14 + 40 + 1024;
    for (const quint32 v : {at + 2, 0U, at, 40U, quint32(size.width()), quint32(size.height()), 1U | 8U << 16, 1U, 2U, 2835U, 2835U, 256U, 0U})
        out += u32(v, true);
    return out + palette + B("\0\1", 2);
}

} // namespace ImageFiles
