#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include <libheif/heif.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

using Transformations = QImageIOHandler::Transformations;

// One budget for every decoder: Qt's allocation limit, and the pixels of a HEIF image.
constexpr int allocationLimitMB = 256;
constexpr qint64 maxPixels = qint64(allocationLimitMB) * 1024 * 1024 / 4;
constexpr int maxHeifSide = 32768;
// Files are read whole before decoding; a larger one could not fit the budget anyway.
constexpr qint64 maxFileSize = qint64(512) * 1024 * 1024;

void setUpDecodersOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(allocationLimitMB);
        // Never matched by heif_deinit: decoding may go on until the process ends.
        heif_init(nullptr);
    });
}

QByteArray readFile(const FilePath &path)
{
    // Non-blocking, so that a FIFO with an image's name cannot stall the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray data;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= maxFileSize) {
        data.resize(qsizetype(st.st_size));
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        data.truncate(done); // shrank while read
    }
    ::close(fd);
    return data;
}

enum class Kind { Jpeg, Heif, WebP, Other };

// Up to `length` bytes from `from`; empty past the end.
QByteArrayView part(QByteArrayView data, qsizetype from, qsizetype length)
{
    if (from < 0 || from >= data.size())
        return {};
    return data.sliced(from, std::min(length, data.size() - from));
}

Kind sniff(QByteArrayView data, const FilePath &path)
{
    if (data.startsWith("\xFF\xD8\xFF"))
        return Kind::Jpeg;
    if (data.size() >= 12 && data.startsWith("RIFF") && part(data, 8, 4) == "WEBP")
        return Kind::WebP;
    if (data.size() >= 12 && part(data, 4, 4) == "ftyp") {
        static constexpr const char *brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                                 "mif1", "msf1", "heif", "avif", "avis"};
        for (const char *brand : brands) {
            if (part(data, 8, 4) == brand)
                return Kind::Heif;
        }
    }
    const qsizetype dot = path.lastIndexOf('.');
    const QByteArray extension = dot < 0 ? QByteArray() : path.mid(dot + 1).toLower();
    if (extension == "heic" || extension == "heif" || extension == "hif")
        return Kind::Heif;
    return Kind::Other;
}

// Whether the markers of a JPEG lead to its end-of-image marker. libjpeg pads a truncated
// file with grey and only warns, so it cannot tell us.
bool jpegIsComplete(QByteArrayView data)
{
    const auto byte = [&](qsizetype at) { return quint8(data[at]); };
    qsizetype pos = 2;
    while (pos + 1 < data.size()) {
        if (byte(pos) != 0xFF)
            return false;
        const quint8 marker = byte(pos + 1);
        if (marker == 0xD9)
            return true;
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (pos + 3 >= data.size())
            return false;
        const qsizetype length = (qsizetype(byte(pos + 2)) << 8) | byte(pos + 3);
        if (length < 2)
            return false;
        pos += 2 + length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data: 0xFF is followed by a stuffed 0x00 or a restart marker.
        for (;;) {
            if (pos >= data.size())
                return false;
            const auto *ff = static_cast<const char *>(
                std::memchr(data.data() + pos, 0xFF, size_t(data.size() - pos)));
            if (!ff || ff + 1 >= data.data() + data.size())
                return false;
            pos = ff - data.data();
            const quint8 next = byte(pos + 1);
            if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
                break;
            pos += 2;
        }
    }
    return false;
}

// The Orientation tag (1-8) of a TIFF-structured Exif block; 1 when absent.
int exifOrientation(QByteArrayView exif)
{
    if (exif.startsWith("Exif\0\0"))
        exif = exif.sliced(6);
    if (exif.size() < 8)
        return 1;
    const bool little = exif.startsWith("II");
    if (!little && !exif.startsWith("MM"))
        return 1;
    const auto u16 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint16>(exif.data() + at) : qFromBigEndian<quint16>(exif.data() + at);
    };
    const auto u32 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint32>(exif.data() + at) : qFromBigEndian<quint32>(exif.data() + at);
    };
    const qint64 ifd = u32(4);
    if (ifd + 2 > exif.size())
        return 1;
    const int entries = u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + 12 * qint64(i);
        if (entry + 12 > exif.size())
            break;
        if (u16(entry) == 0x0112) {
            const int value = u16(entry + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

// The orientation in a WebP file's EXIF chunk; Qt's WebP plugin does not read it.
int webpOrientation(QByteArrayView data)
{
    for (qsizetype pos = 12; pos + 8 <= data.size();) {
        const quint32 size = qFromLittleEndian<quint32>(data.data() + pos + 4);
        if (part(data, pos, 4) == "EXIF")
            return exifOrientation(part(data, pos + 8, size));
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return 1;
}

Transformations transformationsOf(int orientation)
{
    switch (orientation) {
    case 2: return QImageIOHandler::TransformationMirror;
    case 3: return QImageIOHandler::TransformationRotate180;
    case 4: return QImageIOHandler::TransformationFlip;
    case 5: return QImageIOHandler::TransformationFlipAndRotate90;
    case 6: return QImageIOHandler::TransformationRotate90;
    case 7: return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8: return QImageIOHandler::TransformationRotate270;
    default: return QImageIOHandler::TransformationNone;
    }
}

// As Qt applies them: mirror and flip first, then a quarter turn clockwise.
QImage transformed(const QImage &image, Transformations t)
{
    QImage result = image;
    if (t & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        result = result.mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        result = result.transformed(QTransform().rotate(90));
    return result;
}

// The smallest size of `size`'s aspect that fills `cover`; `size` itself if not larger.
QSize coveringSize(QSize size, QSize cover)
{
    if (cover.isEmpty() || size.isEmpty())
        return size;
    const double scale = std::max(double(cover.width()) / size.width(), double(cover.height()) / size.height());
    if (scale >= 1)
        return size;
    // The epsilon keeps an exact product such as 4000 x 0.05 from rounding up.
    const auto side = [&](int length) { return std::max(1, int(std::ceil(length * scale - 1e-6))); };
    return {std::min(size.width(), side(size.width())), std::min(size.height(), side(size.height()))};
}

QImage decodeWithQt(const QByteArray &data, Kind kind, QSize cover)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    // Qt checks the size it allocates; this refuses an oversized file before any pixel is
    // decoded. A JPEG decoded reduced allocates far less, so it may be larger.
    const qint64 budget = kind == Kind::Jpeg && !cover.isEmpty() ? 4 * maxPixels : maxPixels;
    if (stored.isValid() && qint64(stored.width()) * stored.height() > budget)
        return {};
    Transformations own = QImageIOHandler::TransformationNone;
    if (kind == Kind::WebP && !reader.supportsOption(QImageIOHandler::ImageTransformation))
        own = transformationsOf(webpOrientation(data));
    if (stored.isValid() && !cover.isEmpty()) {
        // The scaled size is that of the stored image, before it is turned upright.
        const bool turned = (reader.transformation() | own) & QImageIOHandler::TransformationRotate90;
        const QSize upright = turned ? stored.transposed() : stored;
        const QSize wanted = coveringSize(upright, cover);
        if (wanted != upright)
            reader.setScaledSize(turned ? wanted.transposed() : wanted);
    }
    const QImage image = reader.read();
    if (image.isNull() || own == QImageIOHandler::TransformationNone)
        return image;
    return transformed(image, own);
}

struct HeifDeleter
{
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};
using HeifContextPtr = std::unique_ptr<heif_context, HeifDeleter>;
using HeifHandlePtr = std::unique_ptr<const heif_image_handle, HeifDeleter>;

QSize sizeOf(const heif_image_handle *handle)
{
    return {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
}

// The smallest embedded thumbnail that covers `cover` as well as the image would. One of
// another aspect is skipped: it may lack the image's rotation.
HeifHandlePtr coveringThumbnail(const heif_image_handle *primary, QSize cover)
{
    const QSize full = sizeOf(primary);
    const QSize wanted = coveringSize(full, cover);
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (wanted == full || count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    HeifHandlePtr best;
    for (heif_item_id id : ids) {
        heif_image_handle *raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok)
            continue;
        HeifHandlePtr thumbnail(raw);
        const QSize size = sizeOf(raw);
        const double aspectError = std::abs(double(size.width()) * full.height() - double(size.height()) * full.width())
                                 / (double(full.width()) * full.height());
        if (size.width() < wanted.width() || size.height() < wanted.height() || aspectError > 0.02)
            continue;
        if (!best || qint64(size.width()) * size.height() < qint64(sizeOf(best.get()).width()) * sizeOf(best.get()).height())
            best = std::move(thumbnail);
    }
    return best;
}

QImage decodeHeif(const QByteArray &data, QSize cover)
{
    HeifContextPtr context(heif_context_alloc());
    if (!context)
        return {};
    heif_context_set_maximum_image_size_limit(context.get(), maxHeifSide);
    if (heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr).code
        != heif_error_Ok)
        return {};
    heif_image_handle *rawPrimary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawPrimary).code != heif_error_Ok)
        return {};
    const HeifHandlePtr primary(rawPrimary);
    const QSize full = sizeOf(rawPrimary);
    if (full.isEmpty() || qint64(full.width()) * full.height() > maxPixels)
        return {};
    const HeifHandlePtr thumbnail = cover.isEmpty() ? HeifHandlePtr() : coveringThumbnail(rawPrimary, cover);
    const heif_image_handle *chosen = thumbnail ? thumbnail.get() : rawPrimary;
    const bool alpha = heif_image_handle_has_alpha_channel(chosen);
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                : heif_image_handle_is_premultiplied_alpha(chosen) ? QImage::Format_RGBA8888_Premultiplied
                                                                                    : QImage::Format_RGBA8888;

    const std::unique_ptr<heif_decoding_options, HeifDeleter> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    if (heif_decode_image(chosen, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
            .code
        != heif_error_Ok) {
        heif_image_release(decoded);
        return {};
    }
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0) {
        heif_image_release(decoded);
        return {};
    }
    // The image keeps libheif's buffer, released with the last copy.
    return QImage(pixels, width, height, stride, format,
                  [](void *image) { heif_image_release(static_cast<heif_image *>(image)); }, decoded);
}

} // namespace

QImage decodeImage(const FilePath &path, QSize cover)
{
    setUpDecodersOnce();
    const QByteArray data = readFile(path);
    if (data.isEmpty())
        return {};
    const Kind kind = sniff(data, path);
    if (kind == Kind::Heif)
        return decodeHeif(data, cover);
    if (kind == Kind::Jpeg && !jpegIsComplete(data))
        return {};
    return decodeWithQt(data, kind, cover);
}
