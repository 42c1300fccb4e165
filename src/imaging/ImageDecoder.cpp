#include "imaging/ImageDecoder.h"

#include "imaging/DecodeBudget.h"
#include "imaging/HeifDecoder.h"
#include "imaging/ImageProbe.h"

#include <QBuffer>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <libheif/heif.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <mutex>

namespace {

using Transformations = QImageIOHandler::Transformations;

// Qt's own check of each image it allocates, behind the budget.
constexpr int allocationLimitMB = 256;

void setUpDecodersOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(allocationLimitMB);
        // Never matched by heif_deinit: decoding may go on until the process ends.
        heif_init(nullptr);
    });
}

// The bytes are counted in the budget while they are read; the decode then counts them
// again with its own needs (a reservation is never held while waiting for another).
QByteArray readFile(const FilePath &path, DecodeBudget &budget)
{
    // Non-blocking, so that a FIFO with an image's name cannot stall the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray data;
    struct stat st;
    // A file larger than the whole budget is refused here.
    const bool readable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    const std::optional<DecodeBudget::Reservation> reading =
        readable ? budget.reserve(st.st_size) : std::optional<DecodeBudget::Reservation>();
    if (reading) {
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

const char *qtFormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Png: return "png";
    case ImageFormat::Gif: return "gif";
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Tiff: return "tiff";
    case ImageFormat::WebP: return "webp";
    default: return nullptr;
    }
}

qint64 area(QSize size) { return qint64(size.width()) * size.height(); }

// The size Qt's JPEG reader has libjpeg decode to for `scaled`: the smallest eighth-step
// reduction that is not smaller, which it then scales down smoothly.
QSize jpegDecodeSize(QSize stored, QSize scaled)
{
    if (scaled == stored)
        return stored;
    const double f = std::min(double(stored.width()) / scaled.width(), double(stored.height()) / scaled.height());
    const int eighths = std::clamp(int(std::ceil(8 / f)), 1, 8);
    return {int((qint64(stored.width()) * eighths + 7) / 8), int((qint64(stored.height()) * eighths + 7) / 8)};
}

// 8 bits a channel, alpha premultiplied: what every caller scales and paints. Qt's smooth
// scaling of a 16-bit image with alpha squares the alpha; a 32-bit copy made by each
// caller would cost as much again. In place where the depth allows.
QImage displayable(QImage image)
{
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (!image.isNull() && image.format() != format)
        image.convertTo(format);
    return image;
}

QImage decodeWithQt(const QByteArray &data, QSize cover, DecodeBudget &budget, QSize *fullSize)
{
    const ImageProbe probe = probeImage(data);
    const char *format = qtFormatName(probe.format);
    if (!format || !probe.complete || probe.size.isEmpty())
        return {};
    QBuffer buffer;
    // A GIF ends with its first frame, however long its codes run on after it.
    buffer.setData(probe.format == ImageFormat::Gif ? gifFirstFrame(data) : data);
    buffer.open(QIODevice::ReadOnly);
    // Exactly the format the content showed: Qt must not pick another plugin by content.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false); // turned below, once reduced
    // The reader's idea of the size counts too, should it differ from the header's.
    const QSize stored = reader.size().isValid() ? probe.size.expandedTo(reader.size()) : probe.size;
    const Transformations own = probe.format == ImageFormat::WebP && !reader.supportsOption(QImageIOHandler::ImageTransformation)
                                  ? transformationsOf(probe.orientation)
                                  : QImageIOHandler::TransformationNone;
    // The scaled size is that of the stored image, before it is turned upright.
    const Transformations turn = reader.transformation() | own;
    const bool quarter = turn & QImageIOHandler::TransformationRotate90;
    const QSize upright = quarter ? stored.transposed() : stored;
    if (fullSize)
        *fullSize = upright;
    const QSize wanted = coveringSize(upright, cover);
    const QSize scaled = quarter ? wanted.transposed() : wanted;
    // libjpeg reduces while it decodes; the other formats are read whole and reduced after.
    const bool reducing = probe.scalesWhileDecoding && scaled != stored;
    if (reducing)
        reader.setScaledSize(scaled);

    // The decoder's full image (reduced by libjpeg for a JPEG) and its own buffers, the
    // scaled copy and the turned copy.
    const QSize decoded = reducing ? jpegDecodeSize(stored, scaled) : stored;
    qint64 need = saturatingAdd(decodeOverheadBytes + probe.workingBytes + qint64(data.size()),
                                saturatingMul(area(decoded), probe.bytesPerPixel));
    const int copies = (scaled != decoded) + (turn != QImageIOHandler::TransformationNone);
    need = saturatingAdd(need, saturatingMul(area(scaled), 4 * copies));
    const std::optional<DecodeBudget::Reservation> reservation = budget.reserve(need);
    // Inflating a PNG's data stops where its header says the image ends.
    if (!reservation || (probe.format == ImageFormat::Png && !pngInflatesTo(data, probe.inflatedBytes)))
        return {};
    QImage image = displayable(reader.read());
    if (!image.isNull() && image.size() != scaled)
        image = image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.isNull() || turn == QImageIOHandler::TransformationNone ? image : transformed(image, turn);
}

} // namespace

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

QImage decodeImage(const FilePath &path, QSize cover, DecodeBudget &budget, QSize *fullSize)
{
    setUpDecodersOnce();
    return decodeImageData(readFile(path, budget), cover, budget, fullSize);
}

QImage decodeImageData(const QByteArray &data, QSize cover, DecodeBudget &budget, QSize *fullSize)
{
    setUpDecodersOnce();
    if (data.isEmpty())
        return {};
    if (sniffFormat(data) == ImageFormat::Heif)
        return decodeHeif(data, cover, budget, fullSize);
    return decodeWithQt(data, cover, budget, fullSize);
}

QImage decodeImage(const FilePath &path, QSize cover, QSize *fullSize)
{
    return decodeImage(path, cover, DecodeBudget::shared(), fullSize);
}
