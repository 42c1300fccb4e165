#include "imaging/ImageProbe.h"

#include "imaging/DecodeBudget.h"

#include <QList>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Bounds-checked readers: a read past the end gives 0, which every caller treats as invalid.
struct Bytes
{
    QByteArrayView data;
    bool little = false;

    bool has(qint64 at, qint64 length) const { return at >= 0 && length >= 0 && at <= data.size() && length <= data.size() - at; }
    quint32 u8(qint64 at) const { return has(at, 1) ? quint8(data[at]) : 0; }
    quint32 u16(qint64 at) const
    {
        if (!has(at, 2))
            return 0;
        return little ? qFromLittleEndian<quint16>(data.data() + at) : qFromBigEndian<quint16>(data.data() + at);
    }
    quint32 u24(qint64 at) const { return has(at, 3) ? u16(at) | u8(at + 2) << 16 : 0; } // little-endian only
    quint32 u32(qint64 at) const
    {
        if (!has(at, 4))
            return 0;
        return little ? qFromLittleEndian<quint32>(data.data() + at) : qFromBigEndian<quint32>(data.data() + at);
    }
    QByteArrayView tag(qint64 at) const { return has(at, 4) ? data.sliced(at, 4) : QByteArrayView(); }
};

qint64 roundUp(qint64 value, qint64 step) { return (value + step - 1) / step * step; }

ImageProbe probeJpeg(Bytes b)
{
    ImageProbe probe;
    std::array<std::pair<int, int>, 4> sampling{}; // (h, v) of each component
    int components = 0, scans = 0, firstScanComponents = 0;
    bool progressive = false, arithmetic = false;
    qint64 entropyBytes = 0;
    for (qint64 pos = 2; pos + 1 < b.data.size();) {
        if (b.u8(pos) != 0xFF)
            return {};
        const quint32 marker = b.u8(pos + 1);
        if (marker == 0xD9) {
            probe.complete = scans > 0;
            break;
        }
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += marker == 0xFF ? 1 : 2;
            continue;
        }
        const qint64 length = b.u16(pos + 2), body = pos + 4;
        if (length < 2 || !b.has(pos + 2, length))
            break;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && components == 0) {
            // Lossless and hierarchical frames are not decoded by libjpeg.
            if (marker == 0xC3 || (marker >= 0xC5 && marker <= 0xC7) || marker >= 0xCB)
                return {};
            progressive = marker == 0xC2 || marker == 0xCA;
            arithmetic = marker >= 0xC9;
            probe.size = QSize(int(b.u16(body + 3)), int(b.u16(body + 1)));
            components = int(b.u8(body + 5));
            if (components < 1 || components > 4 || probe.size.isEmpty() || length < 8 + 3 * components)
                return {};
            for (int c = 0; c < components; ++c) {
                const quint32 factors = b.u8(body + 7 + 3 * c);
                sampling[size_t(c)] = {int(factors >> 4), int(factors & 15)};
                if (sampling[size_t(c)].first < 1 || sampling[size_t(c)].first > 4 || sampling[size_t(c)].second < 1
                    || sampling[size_t(c)].second > 4)
                    return {};
            }
        } else if (marker == 0xE1 && probe.orientation == 1 && b.data.sliced(body).startsWith("Exif")) {
            probe.orientation = exifOrientation(b.data.sliced(body, length - 2));
        }
        pos += 2 + length;
        if (marker != 0xDA)
            continue;
        if (components == 0 || ++scans > maxJpegScans)
            return {};
        if (scans == 1)
            firstScanComponents = int(b.u8(body));
        const qint64 entropyStart = pos;
        // Entropy-coded data: 0xFF is followed by a stuffed 0x00 or a restart marker.
        for (;;) {
            const auto *ff = pos < b.data.size() ? static_cast<const char *>(std::memchr(
                                 b.data.data() + pos, 0xFF, size_t(b.data.size() - pos)))
                                                 : nullptr;
            if (!ff || ff + 1 >= b.data.data() + b.data.size()) {
                pos = b.data.size();
                break;
            }
            pos = ff - b.data.data();
            const quint32 next = b.u8(pos + 1);
            if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
                break;
            pos += 2;
        }
        entropyBytes += pos - entropyStart;
    }
    if (components == 0)
        return {};
    probe.format = ImageFormat::Jpeg;
    probe.scalesWhileDecoding = true;
    probe.bytesPerPixel = components == 1 ? 1 + 4 : 4; // grey, or 32-bit colour
    int hMax = 1, vMax = 1;
    for (int c = 0; c < components; ++c) {
        hMax = std::max(hMax, sampling[size_t(c)].first);
        vMax = std::max(vMax, sampling[size_t(c)].second);
    }
    const qint64 width = probe.size.width(), height = probe.size.height();
    qint64 blocks = 0, paddedBlocks = 0;
    for (int c = 0; c < components; ++c) {
        const auto [h, v] = sampling[size_t(c)];
        const qint64 columns = roundUp((width * h + hMax - 1) / hMax, 8) / 8;
        const qint64 rows = roundUp((height * v + vMax - 1) / vMax, 8) / 8;
        blocks += columns * rows;
        paddedBlocks += roundUp(columns, h) * roundUp(rows, v);
    }
    // Huffman coding spends at least a bit on each block; a header claiming more blocks than
    // the data has bits belongs to a file cut short (libjpeg would pad it with grey).
    if (!arithmetic && entropyBytes * 8 < blocks)
        probe.complete = false;
    // A scan-by-scan file keeps every DCT coefficient of the whole image (2 bytes each)
    // until the last scan, whatever the output scale.
    if (progressive || scans > 1 || firstScanComponents < components)
        probe.workingBytes += paddedBlocks * 64 * 2;
    // One band of MCU rows, for coefficients, upsampling and colour conversion.
    probe.workingBytes = saturatingAdd(probe.workingBytes, width * components * vMax * 8 * 4);
    return probe;
}

ImageProbe probePng(Bytes b)
{
    ImageProbe probe;
    if (b.tag(12) != "IHDR" || b.u32(8) != 13)
        return {};
    const qint64 width = b.u32(16), height = b.u32(20), depth = b.u8(24), colour = b.u8(25);
    static constexpr int channelsOf[] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = colour <= 6 ? channelsOf[colour] : 0;
    if (channels == 0 || width > INT_MAX || height > INT_MAX)
        return {};
    probe.format = ImageFormat::Png;
    probe.size = QSize(int(width), int(height));
    // Qt keeps 8-bit colour as 32-bit pixels and 16-bit colour as 64-bit ones; grey and
    // palette images are 8 or 16 bits a pixel, and their 32-bit copy is a new image.
    probe.bytesPerPixel = channels == 1 ? (depth == 16 ? 2 : 1) + 4 : depth == 16 ? 8 : 4;
    // Each row is a filter byte and its samples; an interlaced image is seven smaller ones.
    const qint64 bits = depth * channels;
    const auto rows = [&](qint64 columns, qint64 count) {
        return columns > 0 && count > 0 ? saturatingMul(count, 1 + (columns * bits + 7) / 8) : 0;
    };
    if (b.u8(28) == 0) {
        probe.inflatedBytes = rows(width, height);
    } else {
        static constexpr int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto &[x, y, dx, dy] : passes)
            probe.inflatedBytes = saturatingAdd(probe.inflatedBytes, rows((width - x + dx - 1) / dx, (height - y + dy - 1) / dy));
    }
    // Two rows of the decoder's own.
    probe.workingBytes = 2 * rows(width, 1);
    bool pixels = false;
    for (qint64 pos = 8; b.has(pos, 12);) {
        const qint64 length = b.u32(pos);
        if (length > INT_MAX || !b.has(pos, 12 + length))
            break;
        const QByteArrayView type = b.tag(pos + 4);
        pixels = pixels || type == "IDAT";
        if (type == "IEND") {
            probe.complete = pixels;
            break;
        }
        pos += 12 + length;
    }
    return probe;
}

// Sub-blocks from `pos`; the position after their terminator, or -1 if the data ends first.
qint64 skipSubBlocks(Bytes b, qint64 pos)
{
    while (b.has(pos, 1)) {
        const quint32 length = b.u8(pos);
        pos += 1 + length;
        if (length == 0)
            return pos;
    }
    return -1;
}

// Where the LZW codes of a GIF frame, in the sub-blocks from `pos`, have made `pixels`
// pixels, counted as Qt's reader makes them: the sub-block (its length byte), the byte the
// last code ends in and how many of its bits it takes, and the code size then. Reads each
// code once, however long the string it stands for. No block when the codes end, run out or
// go wrong first.
struct FrameEnd
{
    qint64 block = -1, last = -1;
    int usedBits = 0, codeSize = 0, endCode = 0;
};

FrameEnd lzwFrameEnd(Bytes b, qint64 pos, int minimumCodeSize, qint64 pixels)
{
    if (minimumCodeSize < 1 || minimumCodeSize > 8 || pixels <= 0)
        return {};
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    int codeSize = minimumCodeSize + 1, next = clear + 2, previous = 0;
    bool first = true;
    std::array<qint64, 4096> lengths; // of the strings from clear + 2 on
    const auto lengthOf = [&](int code) { return code < clear ? 1 : lengths[size_t(code)]; };
    quint32 accumulator = 0;
    int bits = 0;
    qint64 made = 0;
    while (b.has(pos, 1) && b.u8(pos) > 0) {
        const qint64 block = pos, blockEnd = pos + 1 + b.u8(pos);
        if (!b.has(pos, blockEnd - pos))
            return {};
        for (++pos; pos < blockEnd; ++pos) {
            accumulator |= b.u8(pos) << bits;
            for (bits += 8; bits >= codeSize;) {
                const int code = int(accumulator & ((1U << codeSize) - 1));
                accumulator >>= codeSize;
                bits -= codeSize;
                if (code == clear) {
                    codeSize = minimumCodeSize + 1, next = clear + 2, first = true;
                    continue;
                }
                if (code == end || (first ? code > clear : code > next))
                    return {};
                // A code one past the table is the previous string and its own first pixel.
                const qint64 length = first ? 1 : code == next ? lengthOf(previous) + 1 : lengthOf(code);
                if (!first && next < 4096) {
                    lengths[size_t(next)] = lengthOf(previous) + 1;
                    if (++next == 1 << codeSize && codeSize < 12)
                        ++codeSize;
                }
                first = false;
                previous = code;
                // The bits left unread are the top ones of this byte.
                if ((made += length) >= pixels)
                    return {block, pos, 8 - bits, codeSize, end};
            }
        }
    }
    return {};
}

// The first frame's end, and the size of the picture it is drawn on.
FrameEnd firstFrame(Bytes b, QSize &size)
{
    size = QSize(int(b.u16(6)), int(b.u16(8)));
    for (qint64 pos = 13 + ((b.u8(10) & 0x80) ? 3 << ((b.u8(10) & 7) + 1) : 0); pos >= 0 && b.has(pos, 1);) {
        if (b.u8(pos) == 0x21) {
            pos = skipSubBlocks(b, pos + 2);
        } else if (b.u8(pos) == 0x2C) {
            const quint32 width = b.u16(pos + 5), height = b.u16(pos + 7);
            size = size.expandedTo(QSize(int(b.u16(pos + 1) + width), int(b.u16(pos + 3) + height)));
            const quint32 flags = b.u8(pos + 9);
            pos += 10 + ((flags & 0x80) ? 3 << ((flags & 7) + 1) : 0);
            return lzwFrameEnd(b, pos + 1, int(b.u8(pos)), qint64(width) * height);
        } else {
            break;
        }
    }
    return {};
}

ImageProbe probeGif(Bytes b)
{
    ImageProbe probe;
    probe.format = ImageFormat::Gif;
    probe.workingBytes = b.data.size(); // the copy that ends with the first frame
    // Only the first frame is shown, and only once it is complete.
    probe.complete = firstFrame(b, probe.size).block >= 0;
    return probe;
}

ImageProbe probeBmp(Bytes b)
{
    b.little = true;
    ImageProbe probe;
    const qint64 header = b.u32(14), pixels = b.u32(10);
    qint64 width, height, bitsPerPixel, compression = 0, stored = 0;
    if (header == 12) {
        width = b.u16(18), height = b.u16(20), bitsPerPixel = b.u16(24);
    } else if (header >= 40 && header <= 124) {
        width = qint32(b.u32(18)), height = qint32(b.u32(22)), bitsPerPixel = b.u16(28);
        compression = b.u32(30), stored = b.u32(34);
    } else {
        return {};
    }
    probe.bytesPerPixel = bitsPerPixel <= 8 ? 1 + 4 : 4; // palette indices, or 32-bit colour
    height = std::abs(height); // negative: stored top-down
    if (width <= 0 || width > INT_MAX || height == 0 || height > INT_MAX)
        return {};
    probe.format = ImageFormat::Bmp;
    probe.size = QSize(int(width), int(height));
    if (bitsPerPixel < 1 || bitsPerPixel > 32)
        return {};
    if (compression == 0 || compression == 3 || compression == 6)
        probe.complete = b.has(pixels, saturatingMul((width * bitsPerPixel + 31) / 32 * 4, height));
    else if (compression == 1 || compression == 2) // run-length: the stored size is all we know
        probe.complete = stored > 0 && b.has(pixels, stored);
    return probe;
}

// The first directory of a TIFF structure.
struct TiffDirectory
{
    Bytes b;
    qint64 at = -1;

    explicit TiffDirectory(QByteArrayView tiff) : b{tiff, tiff.startsWith("II")}
    {
        if ((tiff.startsWith("II") || tiff.startsWith("MM")) && b.u16(2) == 42 && b.has(b.u32(4), 2))
            at = b.u32(4);
    }
    // The values of `tag` (SHORT or LONG); empty when absent or outside the data.
    QList<quint32> values(quint32 tag) const
    {
        const qint64 count = at < 0 ? 0 : b.u16(at);
        for (qint64 i = 0; i < count && b.has(at + 2 + 12 * i, 12); ++i) {
            const qint64 entry = at + 2 + 12 * i;
            if (b.u16(entry) != tag)
                continue;
            const quint32 type = b.u16(entry + 2);
            const qint64 n = b.u32(entry + 4), size = type == 3 ? 2 : type == 4 ? 4 : 0;
            const qint64 from = n * size <= 4 ? entry + 8 : b.u32(entry + 8);
            if (size == 0 || !b.has(from, n * size))
                return {};
            QList<quint32> result;
            result.reserve(n);
            for (qint64 k = 0; k < n; ++k)
                result.append(size == 2 ? b.u16(from + 2 * k) : b.u32(from + 4 * k));
            return result;
        }
        return {};
    }
    quint32 value(quint32 tag, quint32 absent) const
    {
        const QList<quint32> all = values(tag);
        return all.isEmpty() ? absent : all.first();
    }
};

ImageProbe probeTiff(QByteArrayView data)
{
    const TiffDirectory ifd(data);
    ImageProbe probe;
    const qint64 width = ifd.value(256, 0), height = ifd.value(257, 0);
    if (width <= 0 || width > INT_MAX || height <= 0 || height > INT_MAX)
        return {};
    probe.format = ImageFormat::Tiff;
    probe.size = QSize(int(width), int(height));
    probe.orientation = int(ifd.value(0x0112, 1));
    if (probe.orientation < 1 || probe.orientation > 8)
        probe.orientation = 1;
    const qint64 bits = ifd.value(258, 1), samples = std::max<quint32>(ifd.value(277, 1), 1);
    // Qt reads 8-bit colour as 32-bit pixels, 16-bit and float colour as 64- or 128-bit
    // ones; grey and palette images are 8 or 16 bits a pixel, and their 32-bit copy is new.
    probe.bytesPerPixel = bits > 16 ? 16 : samples == 1 ? (bits > 8 ? 2 : 1) + 4 : bits > 8 ? 8 : 4;
    const bool tiled = ifd.value(322, 0) > 0;
    const QList<quint32> offsets = ifd.values(tiled ? 324 : 273), counts = ifd.values(tiled ? 325 : 279);
    probe.complete = !offsets.isEmpty() && offsets.size() == counts.size();
    for (qsizetype i = 0; probe.complete && i < offsets.size(); ++i)
        probe.complete = ifd.b.has(offsets[i], counts[i]);
    // libtiff decompresses a strip or tile at a time, into a buffer of its own and one of Qt's
    // or libtiff's.
    const qint64 block = tiled ? saturatingMul(qint64(ifd.value(322, 0)), qint64(ifd.value(323, 0)))
                               : width * std::min<qint64>(ifd.value(278, quint32(height)), height);
    probe.workingBytes = saturatingMul(saturatingMul(2 * block, samples), (bits + 7) / 8);
    return probe;
}

ImageProbe probeWebp(Bytes b)
{
    b.little = true;
    ImageProbe probe;
    probe.format = ImageFormat::WebP;
    // The picture and its alpha plane; a lossless one is decoded into a buffer of libwebp's
    // first, an animated one composed on a canvas. Qt's reader keeps a copy of the file.
    probe.bytesPerPixel = 4;
    probe.workingBytes = b.data.size();
    probe.complete = b.has(0, 8 + qint64(b.u32(4)));
    for (qint64 pos = 12; b.has(pos, 8);) {
        const QByteArrayView type = b.tag(pos);
        const qint64 size = b.u32(pos + 4), body = pos + 8;
        probe.bytesPerPixel += type == "ALPH" ? 1 : (type == "VP8L" || (type == "VP8X" && (b.u8(body) & 2))) ? 4 : 0;
        if (type == "VP8X" && probe.size.isEmpty())
            probe.size = QSize(int(b.u24(body + 4) + 1), int(b.u24(body + 7) + 1));
        else if (type == "VP8 " && probe.size.isEmpty())
            probe.size = QSize(int(b.u16(body + 6) & 0x3FFF), int(b.u16(body + 8) & 0x3FFF));
        else if (type == "VP8L" && probe.size.isEmpty())
            probe.size = QSize(int((b.u32(body + 1) & 0x3FFF) + 1), int(((b.u32(body + 1) >> 14) & 0x3FFF) + 1));
        else if (type == "EXIF" && b.has(body, size))
            probe.orientation = exifOrientation(b.data.sliced(body, size));
        pos = body + size + (size & 1);
    }
    if (probe.size.isEmpty())
        return {};
    return probe;
}

} // namespace

ImageFormat sniffFormat(QByteArrayView data)
{
    if (data.startsWith("\xFF\xD8\xFF"))
        return ImageFormat::Jpeg;
    if (data.startsWith("\x89PNG\r\n\x1A\n"))
        return ImageFormat::Png;
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return ImageFormat::Gif;
    if (data.startsWith("BM") && data.size() >= 18)
        return ImageFormat::Bmp;
    if (data.startsWith(QByteArrayView("II*\0", 4)) || data.startsWith(QByteArrayView("MM\0*", 4)))
        return ImageFormat::Tiff;
    const Bytes b{data};
    if (data.startsWith("RIFF") && b.tag(8) == "WEBP")
        return ImageFormat::WebP;
    if (b.tag(4) != "ftyp")
        return ImageFormat::Unknown;
    // The major brand, then the compatible ones (the minor version between is skipped).
    static constexpr std::array<const char *, 6> hevc{"heic", "heix", "heim", "heis", "hevc", "hevx"};
    bool hevcBrand = false, av1Brand = false;
    const qint64 end = std::min<qint64>(b.u32(0), data.size());
    for (qint64 at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const QByteArrayView brand = b.tag(at);
        hevcBrand = hevcBrand || std::any_of(hevc.begin(), hevc.end(), [&](const char *h) { return brand == h; });
        av1Brand = av1Brand || brand == "avif" || brand == "avis";
    }
    return hevcBrand && !av1Brand ? ImageFormat::Heif : ImageFormat::Unknown;
}

ImageProbe probeImage(QByteArrayView data)
{
    switch (sniffFormat(data)) {
    case ImageFormat::Jpeg: return probeJpeg({data});
    case ImageFormat::Png: return probePng({data});
    case ImageFormat::Gif: return probeGif({data, true});
    case ImageFormat::Bmp: return probeBmp({data});
    case ImageFormat::Tiff: return probeTiff(data);
    case ImageFormat::WebP: return probeWebp({data});
    default: return {};
    }
}

int exifOrientation(QByteArrayView tiff)
{
    if (tiff.startsWith(QByteArrayView("Exif\0\0", 6)))
        tiff = tiff.sliced(6);
    const quint32 value = TiffDirectory(tiff).value(0x0112, 1);
    return value >= 1 && value <= 8 ? int(value) : 1;
}

bool pngInflatesTo(QByteArrayView png, qint64 bytes)
{
    const Bytes b{png};
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    std::array<Bytef, 1 << 16> scratch;
    qint64 made = 0;
    int result = Z_OK;
    for (qint64 pos = 8; result == Z_OK && made <= bytes && b.has(pos, 12);) {
        const qint64 length = b.u32(pos);
        if (!b.has(pos + 8, length))
            break;
        if (b.tag(pos + 4) == "IDAT") {
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(png.data() + pos + 8));
            stream.avail_in = uInt(length);
            // One byte past the declared size is enough to tell that the data goes on.
            while (result == Z_OK && made <= bytes && stream.avail_in > 0) {
                stream.next_out = scratch.data();
                stream.avail_out = uInt(std::min<qint64>(qint64(scratch.size()), bytes + 1 - made));
                result = inflate(&stream, Z_NO_FLUSH);
                made += stream.next_out - scratch.data();
            }
        }
        pos += 12 + length;
    }
    inflateEnd(&stream);
    return made == bytes;
}

QByteArray gifFirstFrame(QByteArrayView gif)
{
    QSize size;
    const FrameEnd end = firstFrame({gif, true}, size);
    if (end.block < 0)
        return {};
    // The last sub-block ends with the byte that completes the frame, the rest of its bits
    // an end code where it fits.
    const quint8 last = quint8(gif[end.last]) & ((1 << end.usedBits) - 1);
    const int left = 8 - end.usedBits;
    QByteArray out = gif.first(end.last).toByteArray();
    out[end.block] = char(end.last - end.block);
    return out.append(char(left >= end.codeSize ? last | end.endCode << end.usedBits : last)).append('\0').append(';');
}
