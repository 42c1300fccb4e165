#include "imaging/HeifProbe.h"

#include "imaging/DecodeBudget.h"

#include <QtEndian>

#include <algorithm>
#include <functional>

namespace {

struct Reader
{
    QByteArrayView data;

    bool has(qint64 at, qint64 length) const { return at >= 0 && length >= 0 && at <= data.size() && length <= data.size() - at; }
    quint64 uint(qint64 at, int size) const // big-endian, 0 to 8 bytes; 0 past the end
    {
        quint64 value = 0;
        if (!has(at, size))
            return 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | quint8(data[at + i]);
        return value;
    }
    quint32 u8(qint64 at) const { return quint32(uint(at, 1)); }
    quint32 u16(qint64 at) const { return quint32(uint(at, 2)); }
    quint32 u32(qint64 at) const { return quint32(uint(at, 4)); }
    QByteArrayView tag(qint64 at) const { return has(at, 4) ? data.sliced(at, 4) : QByteArrayView(); }
};

// Calls visit(type, body, end) for each box in [from, to); stops at one that overruns.
void forEachBox(const Reader &r, qint64 from, qint64 to,
                const std::function<void(QByteArrayView, qint64, qint64)> &visit)
{
    to = std::min<qint64>(to, r.data.size());
    for (qint64 pos = from; pos + 8 <= to;) {
        qint64 size = r.u32(pos), header = 8;
        if (size == 1)
            size = qint64(std::min<quint64>(r.uint(pos + 8, 8), quint64(to))), header = 16;
        else if (size == 0)
            size = to - pos;
        if (size < header || pos + size > to)
            return;
        visit(r.tag(pos + 4), pos + header, pos + size);
        pos += size;
    }
}

constexpr qsizetype maxExtents = 32;

struct Location
{
    int method = 0; // 0: file offset, 1: inside idat
    QList<std::pair<qint64, qint64>> extents; // offset, length
};

struct CodedPicture
{
    QSize size;
    qint64 bytesPerPixel = 12; // when the parameter set does not tell: 10-bit 4:4:4, twice
};

// The picture size and sample layout a sequence parameter set (a NAL unit) states.
CodedPicture spsPicture(QByteArrayView nal)
{
    // Drop emulation-prevention bytes (00 00 03); the fields needed lie well within the
    // first few hundred bytes.
    QByteArray rbsp;
    for (qsizetype i = 0, zeros = 0; i < std::min<qsizetype>(nal.size(), 512); ++i) {
        const char c = nal[i];
        if (zeros >= 2 && c == 3) {
            zeros = 0;
            continue;
        }
        zeros = c == 0 ? zeros + 1 : 0;
        rbsp.append(c);
    }
    qint64 bit = 0;
    const auto bits = [&](int n) {
        quint64 v = 0;
        for (int k = 0; k < n; ++k, ++bit)
            v = v << 1 | (bit / 8 < rbsp.size() ? (quint8(rbsp[bit / 8]) >> (7 - bit % 8)) & 1 : 0);
        return v;
    };
    const auto golomb = [&]() -> quint64 {
        int leading = 0;
        while (bits(1) == 0 && leading < 32)
            ++leading;
        return (quint64(1) << leading) - 1 + bits(leading);
    };
    bits(16 + 4); // NAL header, video parameter set id
    const int subLayers = int(bits(3));
    bits(1 + 96); // temporal nesting, general profile, tier and level
    int profiles = 0, levels = 0;
    for (int i = 0; i < subLayers; ++i) {
        profiles += int(bits(1));
        levels += int(bits(1));
    }
    if (subLayers > 0)
        bits(2 * (8 - subLayers));
    bits(88 * profiles + 8 * levels);
    golomb(); // parameter set id
    const quint64 chroma = golomb();
    if (chroma == 3)
        bits(1); // separate colour planes
    const quint64 width = golomb(), height = golomb();
    if (bit / 8 >= rbsp.size() || width == 0 || height == 0 || width > INT_MAX || height > INT_MAX)
        return {};
    CodedPicture picture{QSize(int(width), int(height))};
    if (bits(1)) { // conformance window
        for (int i = 0; i < 4; ++i)
            golomb();
    }
    const quint64 lumaDepth = golomb() + 8, chromaDepth = golomb() + 8;
    if (bit / 8 < rbsp.size() && chroma <= 3 && lumaDepth <= 16 && chromaDepth <= 16) {
        // Two copies (the decoder's picture and libheif's) of a luma plane and two chroma
        // planes of a quarter, half or whole its size.
        const qint64 chromaHalves[] = {0, 1, 2, 4};
        picture.bytesPerPixel = 2 * qint64(lumaDepth > 8 ? 2 : 1) + qint64(chromaDepth > 8 ? 2 : 1) * chromaHalves[chroma];
    }
    return picture;
}

// The picture of the one sequence parameter set in an hvcC box.
CodedPicture configuredPicture(const Reader &r, qint64 body, qint64 end)
{
    // More than one parameter set: the decoder may use one that was not read here.
    QList<QByteArrayView> sets;
    for (qint64 pos = body + 23, a = 0, arrays = r.u8(body + 22); a < arrays && pos + 3 <= end; ++a) {
        const bool sps = (r.u8(pos) & 0x3F) == 33;
        const quint32 units = r.u16(pos + 1);
        pos += 3;
        for (quint32 u = 0; u < units && pos + 2 <= end; ++u) {
            const qint64 length = r.u16(pos);
            if (pos + 2 + length > end)
                return {};
            if (sps)
                sets.append(r.data.sliced(pos + 2, length));
            pos += 2 + length;
        }
    }
    return sets.size() == 1 ? spsPicture(sets.first()) : CodedPicture();
}

// Whether an HEVC item's own data, which the decoder reads after its configuration, keeps to
// it: one picture, and no parameter set that would make it larger or deeper.
bool keepsToConfiguration(QByteArrayView data, const HeifItem &item)
{
    int pictures = 0;
    for (qint64 pos = 0; pos < data.size();) {
        const qint64 length = pos + 4 <= data.size() ? qFromBigEndian<quint32>(data.data() + pos) : -1;
        if (length < 2 || length > data.size() - pos - 4)
            return false;
        const QByteArrayView nal = data.sliced(pos + 4, length);
        const int type = (quint8(nal[0]) >> 1) & 0x3F;
        if (type == 33) {
            const CodedPicture picture = spsPicture(nal);
            if (picture.size != item.coded || picture.bytesPerPixel > item.codedBytesPerPixel)
                return false;
        }
        // A slice that begins a picture.
        pictures += type <= 21 && length > 2 && (quint8(nal[2]) & 0x80);
        pos += 4 + length;
    }
    return pictures <= 1;
}

} // namespace

std::optional<HeifLayout> parseHeif(QByteArrayView data)
{
    const Reader r{data};
    HeifLayout layout;
    QHash<quint32, Location> locations;
    struct Property { QByteArrayView type; qint64 body, end; };
    QList<Property> properties;
    QHash<qsizetype, CodedPicture> pictures;
    qint64 idat = -1, idatEnd = -1;
    bool meta = false;
    const auto readMeta = [&](QByteArrayView type, qint64 body, qint64 end) {
        const quint32 version = r.u8(body);
        if (type == "pitm") {
            layout.primary = version == 0 ? r.u16(body + 4) : r.u32(body + 4);
        } else if (type == "iinf") {
            forEachBox(r, body + 4 + (version == 0 ? 2 : 4), end, [&](QByteArrayView t, qint64 b, qint64) {
                const quint32 v = r.u8(b);
                if (t != "infe" || v < 2)
                    return;
                const quint32 id = v == 2 ? r.u16(b + 4) : r.u32(b + 4);
                layout.items[id].type = r.tag(b + (v == 2 ? 8 : 10)).toByteArray();
            });
        } else if (type == "iloc") {
            const int offsetSize = int(r.u8(body + 4) >> 4), lengthSize = int(r.u8(body + 4) & 15);
            const int baseSize = int(r.u8(body + 5) >> 4);
            const int indexSize = version == 1 || version == 2 ? int(r.u8(body + 5) & 15) : 0;
            const int idSize = version < 2 ? 2 : 4;
            qint64 pos = body + 6 + idSize;
            for (quint64 i = 0, count = r.uint(body + 6, idSize); i < count && pos < end; ++i) {
                Location location;
                const quint32 id = quint32(r.uint(pos, idSize));
                pos += idSize;
                if (version == 1 || version == 2)
                    location.method = int(r.u16(pos) & 15), pos += 2;
                const quint64 base = r.uint(pos + 2, baseSize);
                pos += 2 + baseSize;
                const quint32 extents = r.u16(pos);
                pos += 2;
                // Past `maxExtents`, only whether there are more counts (see dataOf).
                for (quint32 e = 0; e < extents && pos < end; ++e) {
                    if (e <= maxExtents)
                        location.extents.append({qint64(std::min<quint64>(base + r.uint(pos + indexSize, offsetSize), INT64_MAX / 2)),
                                                 qint64(std::min<quint64>(r.uint(pos + indexSize + offsetSize, lengthSize), INT64_MAX / 2))});
                    pos += indexSize + offsetSize + lengthSize;
                }
                locations.insert(id, location);
            }
        } else if (type == "idat") {
            idat = body, idatEnd = end;
        } else if (type == "iref") {
            const int idSize = version == 0 ? 2 : 4;
            forEachBox(r, body + 4, end, [&](QByteArrayView t, qint64 b, qint64 e) {
                if (t != "dimg")
                    return;
                HeifItem &item = layout.items[quint32(r.uint(b, idSize))];
                for (quint32 k = 0, n = r.u16(b + idSize); k < n && b + idSize + 2 + (k + 1) * idSize <= e; ++k)
                    item.sources.append(quint32(r.uint(b + idSize + 2 + k * idSize, idSize)));
            });
        } else if (type == "iprp") {
            forEachBox(r, body, end, [&](QByteArrayView t, qint64 b, qint64 e) {
                if (t == "ipco")
                    forEachBox(r, b, e, [&](QByteArrayView pt, qint64 pb, qint64 pe) { properties.append({pt, pb, pe}); });
                if (t != "ipma")
                    return;
                const quint32 v = r.u8(b), wide = r.u8(b + 3) & 1;
                qint64 pos = b + 8;
                for (quint32 i = 0, count = r.u32(b + 4); i < count && pos < e; ++i) {
                    const quint32 id = v < 1 ? r.u16(pos) : r.u32(pos);
                    pos += v < 1 ? 2 : 4;
                    const quint32 n = r.u8(pos++);
                    HeifItem &item = layout.items[id];
                    for (quint32 k = 0; k < n && pos < e; ++k, pos += wide ? 2 : 1) {
                        const qsizetype index = qsizetype(wide ? r.u16(pos) & 0x7FFF : r.u8(pos) & 0x7F) - 1;
                        if (index < 0 || index >= properties.size())
                            continue;
                        const Property &p = properties[index];
                        if (p.type == "ispe")
                            item.declared = QSize(int(std::min<quint32>(r.u32(p.body + 4), INT_MAX)),
                                                  int(std::min<quint32>(r.u32(p.body + 8), INT_MAX)));
                        else if (p.type == "hvcC") {
                            // Many items may share one property: it is read once.
                            auto cached = pictures.constFind(index);
                            if (cached == pictures.cend())
                                cached = pictures.insert(index, configuredPicture(r, p.body, p.end));
                            item.coded = cached->size;
                            item.codedBytesPerPixel = cached->bytesPerPixel;
                        }
                    }
                }
            });
        }
    };
    forEachBox(r, 0, data.size(), [&](QByteArrayView type, qint64 body, qint64 end) {
        if (type != "meta" || meta)
            return;
        meta = true;
        forEachBox(r, body + 4, end, readMeta);
    });
    if (!meta || layout.primary == 0)
        return std::nullopt;
    // An item's data, its extents one after another; none when they lie outside the file, add
    // up to more than it (the decoder would copy them all) or are more than any writer uses.
    const auto dataOf = [&](const Location &location) -> std::optional<QByteArray> {
        if (location.extents.size() > maxExtents)
            return std::nullopt;
        QByteArray bytes;
        for (const auto &[offset, length] : location.extents) {
            const qint64 at = location.method == 1 ? (idat >= 0 ? idat + offset : -1) : offset;
            const qint64 end = location.method == 1 ? idatEnd : data.size();
            if (location.method > 1 || at < 0 || at > end || length > end - at || length > data.size() - bytes.size())
                return std::nullopt;
            if (location.extents.size() == 1)
                return QByteArray::fromRawData(data.data() + at, length);
            bytes += data.sliced(at, length);
        }
        return bytes;
    };
    for (auto it = layout.items.begin(); it != layout.items.end(); ++it) {
        const std::optional<QByteArray> bytes = dataOf(locations.value(it.key()));
        if (it->type == "hvc1" && (!bytes || !keepsToConfiguration(*bytes, *it)))
            it->coded = {}; // its real size cannot be told
        // Grids and overlays state their output size in their own data.
        const bool grid = it->type == "grid";
        if ((!grid && it->type != "iovl") || !bytes)
            continue;
        const Reader item{*bytes};
        const qint64 sizes = grid ? 4 : 10; // overlay: four fill values first
        const bool wide = item.u8(1) & 1;
        if (item.has(sizes, wide ? 8 : 4))
            it->canvas = wide ? QSize(int(std::min<quint32>(item.u32(sizes), INT_MAX)), int(std::min<quint32>(item.u32(sizes + 4), INT_MAX)))
                              : QSize(int(item.u16(sizes)), int(item.u16(sizes + 2)));
    }
    return layout;
}

namespace {

// libheif's interleaved RGB(A), then the 32-bit copy handed out (the coded picture is gone
// by then).
constexpr qint64 rgbBytesPerPixel = 4, outputBytesPerPixel = rgbBytesPerPixel + 4;
constexpr int maxDepth = 4;

qint64 pixels(QSize size) { return qint64(size.width()) * size.height(); }

QSize outputSize(const HeifLayout &layout, quint32 id, int depth)
{
    const auto it = layout.items.constFind(id);
    if (it == layout.items.cend() || depth > maxDepth)
        return {};
    if (it->type == "hvc1")
        return it->coded;
    if (it->type == "grid" || it->type == "iovl")
        return it->canvas;
    if (it->type == "iden" && it->sources.size() == 1)
        return outputSize(layout, it->sources.first(), depth + 1);
    return {};
}

// `visits` bounds the walk: derived images of derived images could fan out without end.
qint64 decodeBytes(const HeifLayout &layout, quint32 id, int threads, int depth, int &visits)
{
    const QSize output = outputSize(layout, id, depth);
    if (output.isEmpty() || --visits < 0)
        return -1;
    const HeifItem &item = layout.items[id];
    if (item.type == "hvc1")
        return saturatingMul(pixels(output), std::max(item.codedBytesPerPixel + rgbBytesPerPixel, outputBytesPerPixel));
    // A derived image: its canvas, plus its inputs decoded side by side (one for iden).
    qint64 input = 0;
    for (quint32 source : item.sources) {
        const qint64 bytes = decodeBytes(layout, source, 1, depth + 1, visits);
        if (bytes < 0)
            return -1;
        input = std::max(input, bytes);
    }
    if (item.sources.isEmpty())
        return -1;
    const qint64 parallel = item.type == "grid" ? std::clamp<qint64>(threads, 1, item.sources.size()) : 1;
    return saturatingAdd(saturatingMul(pixels(output), outputBytesPerPixel), saturatingMul(parallel, input));
}

} // namespace

QSize heifOutputSize(const HeifLayout &layout, quint32 id)
{
    return outputSize(layout, id, 0);
}

qint64 heifDecodeBytes(const HeifLayout &layout, quint32 id, int threads)
{
    int visits = 100000;
    return decodeBytes(layout, id, threads, 0, visits);
}
