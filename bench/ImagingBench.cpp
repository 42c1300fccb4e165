// lumisort-bench thumbnails, make-hostile, decode-memory and make-photos: the thumbnail
// decoder's speed and memory, on photos and on files made to exhaust it.
#include "Bench.h"
#include "browse/Thumbnails.h"
#include "imaging/DecodeBudget.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageFiles.h"
#include "imaging/SharedThumbnails.h"
#include "imaging/ThumbnailPicture.h"
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

// The process's peak resident memory, from /proc (VmHWM, which clear_refs can reset).
qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? -1 : text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').first().toLongLong() * 1024;
}

using namespace ImageFiles;

// A 32-bit float RGBA TIFF of zeros whose deflated strips of 16 rows all share one copy.
B floatTiff(QSize size)
{
    const quint32 w = quint32(size.width()), h = quint32(size.height()), strips = (h + 15) / 16;
    const B strip = qCompress(B(qsizetype(w) * 16 * 16, '\0')).mid(4);
    return tiff({{256, 4, {w}}, {257, 4, {h}}, {258, 3, {32, 32, 32, 32}}, {259, 3, {8}}, {262, 3, {2}},
                 {273, 4, QList<quint32>(strips, inTail)}, {277, 3, {4}}, {278, 4, {16}},
                 {279, 4, QList<quint32>(strips, quint32(strip.size()))}, {284, 3, {1}}, {338, 3, {2}}, {339, 3, {3, 3, 3, 3}}},
                true, strip);
}

// gzip, what an .svgz holds: Qt's zlib stream without its length, header and checksum.
B gzipped(const B &data)
{
    return B("\x1F\x8B\x08\0\0\0\0\0\x02\xFF", 10) + qCompress(data, 9).mid(6).chopped(4) + u32(crc(data), true)
         + u32(quint32(data.size()), true);
}

// A photo-like picture: a sky-to-ground gradient, soft blobs and hard shapes, and noise
// everywhere, so that it compresses about as a camera's JPEG does.
QImage syntheticPhoto(quint32 seed)
{
    QRandomGenerator random(seed);
    const auto colour = [&] { return QColor::fromHsv(random.bounded(360), 40 + random.bounded(200), 60 + random.bounded(190)); };
    QImage image(4000, 3000, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, random.bounded(4000), 3000);
        sky.setColorAt(0, colour());
        sky.setColorAt(0.5, colour());
        sky.setColorAt(1, colour());
        painter.fillRect(image.rect(), sky);
        for (int i = 0; i < 40; ++i) {
            const QPointF centre(random.bounded(4000), random.bounded(3000));
            const double radius = 100 + random.bounded(900);
            QRadialGradient blob(centre, radius);
            blob.setColorAt(0, colour());
            blob.setColorAt(1, Qt::transparent);
            painter.setPen(Qt::NoPen);
            painter.setBrush(blob);
            painter.drawEllipse(centre, radius, radius);
        }
        for (int i = 0; i < 60; ++i) {
            painter.setPen(QPen(colour(), 1 + random.bounded(12)));
            painter.setBrush(random.bounded(2) ? QBrush(colour()) : QBrush(Qt::NoBrush));
            const QRect box(random.bounded(4000), random.bounded(3000), 20 + random.bounded(600), 20 + random.bounded(600));
            random.bounded(2) ? painter.drawRect(box) : painter.drawEllipse(box);
        }
    }
    quint32 state = seed * 2654435761U + 1;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            // Luminance grain, and a little colour grain.
            const int grain = int(state & 31) - 16;
            const auto channel = [&](int value, int shift) {
                return std::clamp(value + grain + int((state >> shift) & 7) - 4, 0, 255);
            };
            line[x] = qRgb(channel(qRed(line[x]), 8), channel(qGreen(line[x]), 12), channel(qBlue(line[x]), 16));
        }
    }
    return image;
}

} // namespace

// What one decode of FILE really takes against what it was charged: decoded once to load its
// reader, then again from a reset peak, with the memory freed meanwhile handed back.
int decodeMemoryCommand(int argc, char **argv)
{
    if (argc != 1 && argc != 3) {
        std::fputs("usage: lumisort-bench decode-memory FILE [COVER_WIDTH COVER_HEIGHT]\n", stderr);
        return 2;
    }
    const FilePath path(argv[0]);
    const QSize cover = argc == 3 ? QSize(std::atoi(argv[1]), std::atoi(argv[2])) : QSize();
    decodeImage(path, cover);
    ::malloc_trim(0);
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1 || !reset.flush())
        return 1;
    const qint64 before = peakResidentBytes();
    DecodeBudget budget(DecodeBudget::shared().capacity());
    const bool made = !decodeImage(path, cover, budget).isNull();
    std::printf("made=%d grew=%lld charged=%lld\n", made, static_cast<long long>(peakResidentBytes() - before),
                static_cast<long long>(budget.peak()));
    return 0;
}

int thumbnailsCommand(int argc, char **argv)
{
    const bool each = argc > 0 && std::strcmp(argv[0], "--each") == 0;
    argc -= each, argv += each;
    const bool cached = argc > 1 && std::strcmp(argv[0], "--cache") == 0;
    const FilePath cacheRoot = cached ? FilePath(argv[1]) : FilePath();
    argc -= 2 * cached, argv += 2 * cached;
    const int limit = argc == 2 ? std::atoi(argv[1]) : 100;
    if (argc < 1 || argc > 2 || limit < 1) {
        std::fputs("usage: lumisort-bench thumbnails [--each] [--cache DIR] DIR [N]\n", stderr);
        return 2;
    }
    PosixFileSystem fs;
    const std::atomic<bool> pause = false, stop = false;
    ScanProgressSink sink;
    const QList<PhotoItem> photos = scanFolders(fs, {FilePath(argv[0])}, {pause, stop}, sink).photos;
    QList<ThumbnailJob> jobs;
    for (qsizetype i = 0; i < std::min<qsizetype>(limit, photos.size()); ++i)
        jobs.append({photos[i].id(), photos[i].path(), i});

    if (each) { // one at a time, on one thread
        for (const ThumbnailJob &job : jobs) {
            const auto start = Clock::now();
            const bool made = !createThumbnail(job.path).isNull();
            std::printf("file=%s seconds=%.3f made=%d\n", job.path.constData(), secondsSince(start), made);
        }
    }
    if (!cached) {
        const auto start = Clock::now();
        const QHash<PhotoId, QImage> made = makeThumbnails(jobs, 1.0, [] { return false; });
        std::printf("count=%lld seconds=%.3f peak_rss_mb=%ld\n", static_cast<long long>(jobs.size()), secondsSince(start),
                    peakRssMB());
        std::fprintf(stderr, "made=%lld\n", static_cast<long long>(made.size()));
        return 0;
    }
    // Cold: only the size folders are emptied, never anything else under DIR.
    for (const char *folder : {"normal", "large", "x-large", "xx-large"})
        QDir(QString::fromLocal8Bit(cacheRoot + '/' + folder)).removeRecursively();
    const SharedThumbnails shared(cacheRoot);
    double seconds[2] = {}, cpu[2] = {};
    int made[2] = {}, decoded[2] = {};
    for (int run = 0; run < 2; ++run) {
        ThumbnailRequest request(jobs);
        ThumbnailOptions options;
        options.sharedThumbnails = &shared;
        options.deliver = [&](const QHash<PhotoId, QImage> &batch) {
            made[run] += int(std::count_if(batch.cbegin(), batch.cend(), [](const QImage &i) { return !i.isNull(); }));
        };
        options.log = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
        const int before = shared.decodes();
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        makeThumbnails(request, options);
        seconds[run] = secondsSince(start);
        cpu[run] = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        decoded[run] = shared.decodes() - before;
    }
    std::printf("count=%lld cold_seconds=%.3f warm_seconds=%.3f warm_ratio=%.3f peak_rss_mb=%ld\n",
                static_cast<long long>(jobs.size()), seconds[0], seconds[1], seconds[1] / seconds[0], peakRssMB());
    std::fprintf(stderr, "made=%d,%d decoded=%d,%d cpu_seconds=%.3f,%.3f\n", made[0], made[1], decoded[0], decoded[1], cpu[0],
                 cpu[1]);
    return 0;
}

// Small files named like photos that claim, or inflate to, gigabytes, that make the decoder
// work for minutes, or are cut short.
int makeHostileCommand(int argc, char **argv)
{
    if (argc != 1) {
        std::fputs("usage: lumisort-bench make-hostile DIR\n", stderr);
        return 2;
    }
    const QByteArray dir(argv[0]);
    QDir().mkpath(QString::fromLocal8Bit(dir));
    const QImage image = quadrants({64, 64});
    const B tile = heic(image);
    B progressive = encoded(image, "jpg", 90, true);
    progressive.replace(progressive.indexOf("\xFF\xC2") + 5, 4, B(be16(16383) + be16(16383)));
    const qsizetype scan = progressive.indexOf("\xFF\xDA");
    B baseline = encoded(image, "jpg");
    baseline.replace(baseline.indexOf("\xFF\xC0") + 5, 4, B(be16(60000) + be16(60000)));
    B png = encoded(image, "png");
    png.replace(16, 8, B(be32(100000) + be32(100000)));
    B webp = withOrientation(image, "webp", 1);
    webp.replace(24, 6, B(u32(16382, true).left(3) + u32(16382, true).left(3)));
    B tiff = withOrientation(image, "tiff", 1);
    tiff.replace(tiff.indexOf(B(u16(256, true) + u16(4, true))) + 8, 4, u32(60000, true));
    B avif = tile;
    avif.replace(8, 4, "avif");
    const B bmp = encoded(quadrants({2000, 1500}), "bmp"), animated = gif(quadrants({1000, 800}));
    const B svg = "<svg xmlns='http://www.w3.org/2000/svg' width='20000' height='20000'><!--" + B(400 << 20, ' ')
                + "--><rect width='20000' height='20000'/></svg>";
    // A HEVC item whose own data redefines its picture size, beyond what its configuration says.
    const auto inBand = [&](int side) {
        const B big = heic(bands({side, side}, {Qt::red, Qt::blue}));
        return tile.isEmpty() || big.isEmpty() ? B() : heifItem(boxBody(tile, "hvcC"), {64, 64}, parameterSets(big) + boxBody(big, "mdat"));
    };
    QImage deep(4000, 3000, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgbF(0.2f, 0.4f, 0.8f, 0.6f));
    const B deepPng = encoded(deep, "png", 0), rle = rleBmp({4000, 3000}), floats = floatTiff({2048, 2048});
    const QList<std::pair<const char *, B>> files{
        {"IMG_0001.jpg", B("\x8AMNG\r\n\x1A\n\0\0\0\x1CMHDR\0\0\x75\x30\0\0\x75\x30", 24) + B(20, '\0')
                             + B(4, 'x') + B("\0\0\0\0MEND", 8) + B(4, 'x')},
        {"IMG_0002.jpg", gzipped(svg)},
        {"IMG_0003.heic", tile.isEmpty() ? B() : heifGrid(tile, {64, 64}, {16000, 12000})},
        {"IMG_0004.heic", tile.isEmpty() ? B() : heifGrid(tile, {64, 64}, {16000, 12000}, true)},
        {"IMG_0005.jpg", progressive},
        {"IMG_0006.jpg", B(progressive).insert(scan + 2 + qFromBigEndian<quint16>(progressive.constData() + scan + 2),
                                               B(2 << 20, '\0'))},
        {"IMG_0007.jpg", baseline},
        {"IMG_0008.png", png},
        {"IMG_0009.bmp", bmp.left(bmp.size() / 2)},
        {"IMG_0010.gif", animated.left(animated.size() / 2)},
        {"IMG_0011.webp", webp},
        {"IMG_0012.tif", tiff},
        {"IMG_0013.heic", avif},
        {"IMG_0014.jpg", B("P6\n100000 100000\n255\n") + B(4096, '\x80')},
        {"IMG_0015.gif", lzwBombGif({100, 100}, 2 << 20)},
        {"IMG_0016.jpg", manyScansJpeg(2048, 20000)},
        {"IMG_0017.jpg", manyScansJpeg(2048, 2000)},
        {"IMG_0018.png", inflatingPng({100, 100}, qint64(330) << 20)},
        {"IMG_0019.tif", floats},
        {"IMG_0020.tif", floats},
        {"IMG_0021.tif", floats},
        {"IMG_0022.tif", floats},
        {"IMG_0023.png", deepPng},
        {"IMG_0024.png", deepPng},
        {"IMG_0025.bmp", rle},
        {"IMG_0026.bmp", rle},
        {"IMG_0027.heic", inBand(4096)},
        {"IMG_0028.heic", inBand(8192)},
    };
    for (const auto &[name, bytes] : files) {
        QFile file(QString::fromLocal8Bit(dir + '/' + name));
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", name);
            return 1;
        }
    }
    std::printf("made %lld files in %s\n", static_cast<long long>(files.size()), dir.constData());
    return 0;
}

int makePhotosCommand(int argc, char **argv)
{
    if (argc < 1 || argc > 2)
        return usage();
    const int count = argc > 1 ? std::atoi(argv[1]) : 100;
    const QString dir = QFile::decodeName(argv[0]);
    if (count < 1 || !QDir().mkpath(dir))
        return usage();
    std::atomic<int> next = 0;
    std::atomic<bool> failed = false;
    std::vector<std::jthread> workers;
    for (unsigned t = 0; t < std::max(1U, std::thread::hardware_concurrency()); ++t) {
        workers.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < count;) {
                QImageWriter writer(dir + QStringLiteral("/IMG_%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0')), "jpg");
                writer.setQuality(90);
                if (!writer.write(syntheticPhoto(quint32(i + 1))))
                    failed = true;
            }
        });
    }
    workers.clear();
    if (failed)
        std::fprintf(stderr, "some photos could not be written\n");
    return failed ? 1 : 0;
}
