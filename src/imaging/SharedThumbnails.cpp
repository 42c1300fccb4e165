#include "imaging/SharedThumbnails.h"

#include "imaging/DecodeBudget.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageProbe.h"
#include "imaging/ThumbnailPicture.h"

#include <QCryptographicHash>
#include <QHash>

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

struct Flavour
{
    const char *folder;
    int side;
};
constexpr Flavour flavours[] = {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};

// Thumbnails are at most 1024 pixels a side; a bigger file is not one.
constexpr qint64 maxThumbnailBytes = 6 << 20;

// The decode's square: big enough that the largest size the picture fills has, for
// photos up to 16:9, the pixels this ratio's card needs, so the next run finds it. For a
// 12-MP JPEG at ratio 1 that is still libjpeg's cheapest (1/8) reduction.
int decodeSide(int needed)
{
    for (const Flavour &f : flavours) {
        if (f.side * 9 / 16 >= needed)
            return f.side * 9 / 16;
    }
    return needed;
}

// At most maxThumbnailBytes of a regular file; empty for anything else.
QByteArray readThumbnail(const FilePath &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return {};
    QByteArray data;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= maxThumbnailBytes) {
        data.resize(qsizetype(st.st_size));
        qsizetype done = 0;
        for (ssize_t n; done < data.size(); done += n) {
            n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                n = 0;
            else if (n <= 0)
                break;
        }
        data.truncate(done);
    }
    ::close(fd);
    return data;
}

quint32 be32(const QByteArray &data, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// The tEXt keys of a PNG, the first of each.
QHash<QByteArray, QByteArray> pngTexts(const QByteArray &png)
{
    QHash<QByteArray, QByteArray> texts;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = be32(png, at);
        if (length > quint32(png.size() - at - 12))
            break;
        const QByteArrayView type(png.constData() + at + 4, 4);
        if (type == "IEND")
            break;
        if (type == "tEXt") {
            const QByteArray chunk = png.mid(at + 8, length);
            const qsizetype nul = chunk.indexOf('\0');
            if (nul > 0 && !texts.contains(chunk.left(nul)))
                texts.insert(chunk.left(nul), chunk.mid(nul + 1));
        }
        at += 12 + qsizetype(length);
    }
    return texts;
}

QByteArray pngChunk(QByteArrayView type, const QByteArray &data)
{
    QByteArray chunk;
    const quint32 length = quint32(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char(length >> shift);
    chunk += type.toByteArray() + data;
    const quint32 crc = quint32(::crc32(0, reinterpret_cast<const Bytef *>(chunk.constData() + 4), uInt(chunk.size() - 4)));
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += char(crc >> shift);
    return chunk;
}

// An 8-bit RGB or RGBA PNG holding `texts` in tEXt chunks ahead of its pixels. Each row
// is Up-filtered and the whole Huffman-coded only: for a photo that is about the size
// zlib's default level gives, at a fraction of its time and of libpng's.
QByteArray encodePng(const QImage &image, const QList<std::pair<QByteArray, QByteArray>> &texts)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int width = pixels.width(), height = pixels.height(), rowBytes = width * (alpha ? 4 : 3);
    QByteArray filtered(qsizetype(rowBytes + 1) * height, Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(filtered.data());
    for (int y = 0; y < height; ++y) {
        const uchar *row = pixels.constScanLine(y), *above = y > 0 ? pixels.constScanLine(y - 1) : nullptr;
        *out++ = 2; // Up
        for (int x = 0; x < rowBytes; ++x)
            *out++ = uchar(row[x] - (above ? above[x] : 0));
    }
    QByteArray deflated(qsizetype(::compressBound(uLong(filtered.size()))), Qt::Uninitialized);
    z_stream stream{};
    if (::deflateInit2(&stream, 1, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(filtered.data());
    stream.avail_in = uInt(filtered.size());
    stream.next_out = reinterpret_cast<Bytef *>(deflated.data());
    stream.avail_out = uInt(deflated.size());
    const bool done = ::deflate(&stream, Z_FINISH) == Z_STREAM_END;
    deflated.truncate(qsizetype(stream.total_out));
    ::deflateEnd(&stream);
    if (!done)
        return {};

    const char header[] = {char(width >> 24), char(width >> 16), char(width >> 8), char(width),
                           char(height >> 24), char(height >> 16), char(height >> 8), char(height),
                           8, char(alpha ? 6 : 2), 0, 0, 0}; // 8 bits, RGB(A), no interlace
    QByteArray png("\x89PNG\r\n\x1A\n");
    png += pngChunk("IHDR", QByteArray(header, sizeof header));
    for (const auto &[key, value] : texts)
        png += pngChunk("tEXt", key + '\0' + value);
    return png + pngChunk("IDAT", deflated) + pngChunk("IEND", {});
}

// 0 or the errno; folders made are the user's own.
int makeFolder(const FilePath &folder)
{
    if (::mkdir(folder.constData(), 0700) == 0)
        return 0;
    if (errno == ENOENT) {
        const qsizetype slash = folder.lastIndexOf('/');
        if (slash <= 0)
            return ENOENT;
        if (const int error = makeFolder(folder.left(slash)))
            return error;
        return ::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
    }
    // A file in its place fails the write that follows.
    return errno == EEXIST ? 0 : errno;
}

QString failure(const FilePath &where, int error)
{
    return u"%1: %2"_s.arg(QString::fromLocal8Bit(where), qt_error_string(error));
}

} // namespace

SharedThumbnails::SharedThumbnails(FilePath root) : m_root(std::move(root))
{
    while (m_root.size() > 1 && m_root.endsWith('/'))
        m_root.chop(1);
}

FilePath SharedThumbnails::defaultRoot(const QByteArray &xdgCacheHome, const FilePath &home)
{
    // A relative XDG_CACHE_HOME is to be ignored.
    return (xdgCacheHome.startsWith('/') ? xdgCacheHome : home + "/.cache") + "/thumbnails";
}

bool SharedThumbnails::covers(const FilePath &path) const
{
    return path.startsWith(QByteArray(m_root + '/'));
}

QImage SharedThumbnails::thumbnail(const FilePath &path, qreal ratio, QString *writeError) const
{
    ratio = ratio > 0 ? ratio : 1.0;
    const int side = std::max(1, int(std::lround(thumbnailSide * ratio)));
    FileStamp before, after;
    // The cache's own files are not thumbnailed into it.
    if (covers(path) || !fileStamp(path, before)) {
        ++m_decodes;
        return createThumbnail(path, ratio);
    }
    if (QImage cached = find(path, before, side); !cached.isNull())
        return drawThumbnail(std::move(cached), ratio);
    ++m_decodes;
    const int cover = decodeSide(side);
    QImage picture = decodeImage(path, QSize(cover, cover));
    // A file that changed while it was read would be stored under a stamp it no longer has.
    if (!picture.isNull() && fileStamp(path, after) && after == before) {
        const QString error = store(path, before, picture);
        if (!error.isEmpty() && writeError)
            *writeError = error;
    }
    return drawThumbnail(std::move(picture), ratio);
}

QImage SharedThumbnails::find(const FilePath &path, const FileStamp &stamp, int minSide) const
{
    const QByteArray uri = fileUri(path);
    if (uri.isEmpty())
        return {};
    const QByteArray name = thumbnailFileName(path);
    for (const Flavour &flavour : flavours) {
        if (flavour.side < minSide)
            continue;
        const QByteArray data = readThumbnail(m_root + '/' + flavour.folder + '/' + name);
        if (data.isEmpty() || sniffFormat(data) != ImageFormat::Png)
            continue;
        const QHash<QByteArray, QByteArray> texts = pngTexts(data);
        bool mtimeOk = false, sizeOk = true;
        if (texts.value("Thumb::MTime").toLongLong(&mtimeOk) != stamp.mtime)
            mtimeOk = false;
        if (texts.contains("Thumb::Size") && texts.value("Thumb::Size").toLongLong(&sizeOk) != stamp.size)
            sizeOk = false;
        if (!mtimeOk || !sizeOk || (texts.contains("Thumb::URI") && texts.value("Thumb::URI") != uri))
            continue;
        const QSize stored = probeImage(data).size;
        if (std::min(stored.width(), stored.height()) < minSide)
            continue;
        QImage picture = decodeImageData(data, QSize(minSide, minSide), DecodeBudget::shared());
        if (!picture.isNull())
            return picture;
    }
    return {};
}

QString SharedThumbnails::store(const FilePath &path, const FileStamp &stamp, const QImage &picture) const
{
    const QByteArray uri = fileUri(path);
    if (uri.isEmpty() || picture.isNull())
        return {};
    // The largest size the picture fills; a picture smaller than all is the photo itself.
    const int longer = std::max(picture.width(), picture.height());
    const Flavour *flavour = &flavours[0];
    for (const Flavour &f : flavours) {
        if (longer >= f.side)
            flavour = &f;
    }
    const QImage scaled = longer <= flavour->side
                            ? picture
                            : picture.scaled(picture.size().scaled(flavour->side, flavour->side, Qt::KeepAspectRatio),
                                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QByteArray png = encodePng(scaled, {{"Thumb::URI", uri},
                                              {"Thumb::MTime", QByteArray::number(stamp.mtime)},
                                              {"Thumb::Size", QByteArray::number(stamp.size)},
                                              {"Software", "Lumisort"}});
    if (png.isEmpty())
        return u"%1: the thumbnail cannot be encoded"_s.arg(QString::fromLocal8Bit(path));
    const FilePath folder = m_root + '/' + flavour->folder;
    if (const int error = makeFolder(folder))
        return failure(folder, error);
    const FilePath target = folder + '/' + thumbnailFileName(path);
    // Readers never see a half-written file: it is renamed over the old one once complete.
    FilePath temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failure(folder, errno);
    int error = writeAll(fd, png);
    if (!error && ::fchmod(fd, 0600) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return failure(target, error);
    }
    return {};
}

bool SharedThumbnails::fileStamp(const FilePath &path, FileStamp &stamp) const
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec,
             st.st_size,        qint64(st.st_ino),  qint64(st.st_dev)};
    return true;
}

int SharedThumbnails::writeAll(int fd, QByteArrayView bytes) const
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

QByteArray fileUri(const FilePath &path)
{
    if (!path.startsWith('/'))
        return {};
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray uri = "file://";
    uri.reserve(7 + path.size() * 3);
    for (const char c : path) {
        const auto u = uchar(c);
        // What GLib leaves as it is in a path: unreserved characters and these sub-delimiters.
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || (u != 0 && std::strchr("!$&'()*+,-./:=@_~", u)))
            uri += c;
        else
            uri += QByteArrayView(std::array{'%', hex[u >> 4], hex[u & 15]});
    }
    return uri;
}

QByteArray thumbnailFileName(const FilePath &path)
{
    return QCryptographicHash::hash(fileUri(path), QCryptographicHash::Md5).toHex() + ".png";
}
