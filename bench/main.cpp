// Headless benchmarks of the core: lumisort-bench COMMAND [ARGS...]
#include "OffscreenWindow.h"
#include "browse/PhotoIndex.h"
#include "browse/Thumbnails.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "model/LibraryState.h"
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"
#include "ui/MainViewController.h"
#include "ui/PhotoGridView.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QList>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QApplication>
#include <QList>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

int usage()
{
    std::fputs("usage: lumisort-bench scan [--list] DIR...\n"
               "       lumisort-bench duplicates DIR...\n"
               "       lumisort-bench publish [PHOTOS [PERCENT]]\n"
               "       lumisort-bench thumbnails [--each] DIR [N]\n"
               "       lumisort-bench make-photos DIR [COUNT]\n"
               "       lumisort-bench make-hostile DIR\n"
               "       lumisort-bench decode-memory FILE [COVER_WIDTH COVER_HEIGHT]\n"
               "       lumisort-bench filter [PHOTOS]\n"
               "       lumisort-bench search [PHOTOS]\n"
               "       lumisort-bench grid [CARDS]\n"
               "       lumisort-bench delete-stall [PHOTOS [DELETED]]\n"
               "       lumisort-bench fileops DIR N\n"
               "       lumisort-bench stalls DIR\n"
               "  scan        walk the folders as the application does and print\n"
               "              photos=N dirs=M seconds=S (--list: each photo's path first)\n"
               "  duplicates  scan, then one duplicate pass: each group's paths, sorted and\n"
               "              tab-separated, one line per group, lines sorted; on standard\n"
               "              error photos=N groups=G ids=I seconds=S\n"
               "  publish     time publishing a pass on the GUI thread, and pruning its groups\n"
               "              after a delete, for PHOTOS synthetic photos (100000) of which\n"
               "              PERCENT (100) are in pairs\n"
               "  thumbnails  scan DIR, then time making the thumbnails of its first N (100)\n"
               "              photos on every core: count=N seconds=S peak_rss_mb=R (made=M on\n"
               "              standard error); --each: first each alone, file=F seconds=S made=0|1\n"
               "  make-photos write COUNT (100) 4000 x 3000 JPEGs (quality 90) of gradients,\n"
               "              shapes and sensor-like noise into DIR\n"
               "  make-hostile write 28 small files named like photos that claim or inflate to\n"
               "              gigabytes, keep a decoder busy for minutes, or are cut short, into DIR\n"
               "  decode-memory  decode FILE as a thumbnail or preview would: made=0|1 grew=B\n"
               "              (peak resident bytes over those before) charged=C (its budget)\n"
               "  filter      time the window's applyFilters() over PHOTOS (200000) synthetic\n"
               "              photos for a search, a type and the duplicates mode: one line\n"
               "              case=NAME ms=M (best of 5) each\n"
               "  search      over PHOTOS (1000000) synthetic photos, time building the search\n"
               "              index, then typing \"img_1\" key by key: each key's filter\n"
               "              narrowed from the previous key, from scratch, and by\n"
               "              filterPhotos (best of 5, filterPhotos of 2; ms)\n"
               "  grid        time painting one screenful of a page of CARDS (5000) cards at\n"
               "              scroll positions through the page (offscreen)\n"
               "  delete-stall  the window deletes DELETED (1000) real files of a library of\n"
               "              PHOTOS (100000) to a trash in a temporary folder; prints the\n"
               "              longest the event loop went unserved (worst_ms) and the total\n"
               "  fileops     copy, move and trash N generated 1 MB photos in DIR through\n"
               "              the window's own code: op=copy|move|trash ms=M\n"
               "  stalls      the window scans DIR, then is browsed and deletes 10000 photos\n"
               "              (put back afterwards); per phase the longest the event loop\n"
               "              went unserved: phase=NAME worst_ms=W ...\n",
               stderr);
    return 2;
}

// One headless scan, never paused or stopped.
ScanResult scanOnce(const QList<FilePath> &paths)
{
    PosixFileSystem fs;
    const std::atomic<bool> pause = false;
    const std::atomic<bool> stop = false;
    ScanProgressSink progress;
    return scanFolders(fs, paths, {pause, stop}, progress);
}

int scanCommand(int argc, char **argv)
{
    bool list = false;
    QList<FilePath> paths;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else
            paths.append(FilePath(argv[i]));
    }
    if (paths.isEmpty())
        return usage();

    const auto start = std::chrono::steady_clock::now();
    const ScanResult result = scanOnce(paths);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    if (list) {
        for (const PhotoItem &photo : result.photos) {
            std::fwrite(photo.path().constData(), 1, size_t(photo.path().size()), stdout);
            std::fputc('\n', stdout);
        }
    }
    std::printf("photos=%lld dirs=%lld seconds=%.3f\n", static_cast<long long>(result.photos.size()),
                static_cast<long long>(result.directoryCount), elapsed.count());
    return 0;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int duplicatesCommand(int argc, char **argv)
{
    QList<FilePath> paths;
    for (int i = 0; i < argc; ++i)
        paths.append(FilePath(argv[i]));
    if (paths.isEmpty())
        return usage();

    const std::atomic<bool> stop = false;
    LibraryState state;
    const auto start = Clock::now();
    state.allPhotos = scanOnce(paths).photos;
    const DuplicatePassResult result = runDuplicatePass(duplicateSnapshot(state.allPhotos), PosixFileSystem(), stop);
    const DuplicateSummary summary = *publishDuplicatePass(state, result);
    const double seconds = secondsSince(start);

    std::vector<QByteArray> lines;
    for (const DuplicateGroup &group : std::as_const(state.duplicateGroups)) {
        QByteArrayList members;
        for (const PhotoItem &photo : group.photos)
            members.append(photo.path());
        std::sort(members.begin(), members.end());
        lines.push_back(members.join('\t'));
    }
    std::sort(lines.begin(), lines.end());
    for (const QByteArray &line : lines) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    std::fprintf(stderr, "photos=%lld groups=%lld ids=%lld seconds=%.3f\n",
                 static_cast<long long>(state.allPhotos.size()),
                 static_cast<long long>(summary.groupCount),
                 static_cast<long long>(summary.duplicateCount), seconds);
    return 0;
}

int publishCommand(int argc, char **argv)
{
    const int count = argc > 0 ? std::atoi(argv[0]) : 100'000;
    const int paired = argc > 1 ? std::atoi(argv[1]) : 100;
    if (count < 2 || paired < 0 || paired > 100)
        return usage();
    LibraryState state;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "IMG_" + QByteArray::number(i) + ".jpg";
        state.allPhotos.append(PhotoItem(makePhotoId(), "/photos/" + name, name, 1'000'000,
                                         {}, {}, QStringLiteral("JPG")));
    }
    // As with the type filter at "All Types", the filtered list shares the photos, so
    // writing the digests copies the list.
    state.filteredPhotos = state.allPhotos;

    auto start = Clock::now();
    const DuplicateSnapshot snapshot = duplicateSnapshot(state.allPhotos);
    const double snapshotSeconds = secondsSince(start);

    // What a pass over photos the first `paired` percent of which are pairs gives.
    DuplicatePassResult result;
    result.photos = snapshot;
    result.digests.resize(size_t(count));
    const qsizetype inPairs = qsizetype(count) * paired / 100 / 2 * 2;
    for (qsizetype i = 0; i < count; ++i) {
        if (i < inPairs) {
            Md5::Digest digest{};
            std::memcpy(digest.data(), &i, sizeof i);
            result.digests[size_t(i)] = digest;
        }
        if (i < inPairs && i % 2 == 1) {
            result.groups.append({i - 1, i});
            result.memberIds << snapshot[i - 1].id() << snapshot[i].id();
        }
    }
    result.preparedGroups = duplicateGroupsOf(result);

    start = Clock::now();
    const DuplicateSummary published = *publishDuplicatePass(state, result);
    const double publishSeconds = secondsSince(start);
    // A delete of one photo of every group.
    PhotoIdSet removed;
    for (const DuplicateGroup &group : std::as_const(state.duplicateGroups))
        removed.insert(group.photos.first().id());
    state.allPhotos.removeIf([&](const PhotoItem &photo) { return removed.contains(photo.id()); });
    start = Clock::now();
    const DuplicateSummary pruned = pruneDuplicateGroups(state, removed);
    const double pruneSeconds = secondsSince(start);
    std::printf("photos=%d groups=%lld (%lld after deleting %lld) snapshot_ms=%.1f publish_ms=%.1f "
                "prune_ms=%.1f\n",
                count, static_cast<long long>(published.groupCount),
                static_cast<long long>(pruned.groupCount), static_cast<long long>(removed.size()),
                snapshotSeconds * 1e3, publishSeconds * 1e3, pruneSeconds * 1e3);
    return 0;
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

// Names, types and duplicate marks of a plausible library: mostly camera names, some
// with words and non-ASCII letters, one in ten photos in a duplicate pair. As in a scan,
// the records share their type texts.
void fillLibrary(LibraryState &state, int count)
{
    static const char *const types[] = {"JPG", "JPG", "JPG", "HEIC", "PNG", "JPEG", "GIF", "TIFF", "WEBP", "BMP"};
    QString typeTexts[10];
    for (int t = 0; t < 10; ++t)
        typeTexts[t] = QString::fromLatin1(types[t]);
    static const char *const words[] = {"IMG_", "DSC", "Screenshot ", "Urlaub \xc3\x9c", "holiday_", "scan-"};
    for (int i = 0; i < count; ++i) {
        const char *type = types[i % 10];
        const QByteArray name = QByteArray(words[(i / 7) % 6]) + QByteArray::number(i) + '.'
                                + QByteArray(type).toLower();
        state.allPhotos.append(PhotoItem(makePhotoId(), "/photos/" + name, name, 2'000'000 + i, {}, {},
                                         typeTexts[i % 10]));
        if (i % 10 < 2 && i % 20 < 10)
            state.duplicatePhotoIds.insert(state.allPhotos.last().id());
    }
}

int filterCommand(int argc, char **argv)
{
    const int count = argc > 0 ? std::atoi(argv[0]) : 200'000;
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    fillLibrary(vc.library(), count);

    struct Case
    {
        const char *name;
        ViewMode mode;
        FileTypeFilter type;
        QString search;
    };
    const Case cases[] = {
        {"search", ViewMode::all, FileTypeFilter::all, QStringLiteral("img_12")},
        {"search-unicode", ViewMode::all, FileTypeFilter::all, QStringLiteral("\u00fc")},
        {"type", ViewMode::all, FileTypeFilter::png, QString()},
        {"duplicates", ViewMode::duplicates, FileTypeFilter::all, QString()},
        {"all", ViewMode::all, FileTypeFilter::all, QString()},
    };
    for (const Case &c : cases) {
        double best = 1e9;
        for (int run = 0; run < 5; ++run) {
            vc.library().viewMode = c.mode;
            vc.library().currentFilter = c.type;
            vc.library().searchText = c.search;
            const auto start = Clock::now();
            vc.applyFilters();
            best = std::min(best, secondsSince(start));
        }
        std::printf("case=%s ms=%.1f photos=%d filtered=%lld\n", c.name, best * 1e3, count,
                    static_cast<long long>(vc.library().filteredPhotos.size()));
    }
    return 0;
}

int searchCommand(int argc, char **argv)
{
    const int count = argc > 0 ? std::atoi(argv[0]) : 1'000'000;
    LibraryState state;
    fillLibrary(state, count);
    QList<qint32> duplicates;
    for (qint32 i = 0; i < count; ++i) {
        if (state.duplicatePhotoIds.contains(state.allPhotos[i].id()))
            duplicates.append(i);
    }
    PhotoIndex index;
    double build = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        index = PhotoIndex::build(state.allPhotos);
        build = std::min(build, secondsSince(start));
    }
    std::printf("build ms=%.1f photos=%d bytes_per_photo=%.1f\n", build * 1e3, count,
                double(index.byteSize()) / std::max(count, 1));

    const QString keys[] = {QStringLiteral("i"), QStringLiteral("im"), QStringLiteral("img"), QStringLiteral("img_"), QStringLiteral("img_1")};
    double narrowed[5], fresh[5], old[5];
    std::fill_n(narrowed, 5, 1e9), std::fill_n(fresh, 5, 1e9), std::fill_n(old, 5, 1e9);
    qsizetype matches[5] = {};
    const auto best = [](double &slot, auto &&work) {
        const auto start = Clock::now();
        work();
        slot = std::min(slot, secondsSince(start));
    };
    for (int run = 0; run < 5; ++run) {
        FilterResult previous;
        for (int k = 0; k < 5; ++k) {
            const FilterChoice choice{ViewMode::all, FileTypeFilter::all, searchKey(keys[k])};
            best(narrowed[k], [&] { previous = filterPositions(index, duplicates, choice, previous); });
            best(fresh[k], [&] { matches[k] = filterPositions(index, duplicates, choice).positions.size(); });
            if (run < 2)
                best(old[k], [&] { (void)filterPhotos(state.allPhotos, state.duplicatePhotoIds, choice); });
        }
    }
    for (int k = 0; k < 5; ++k)
        std::printf("key=%s narrowed_ms=%.2f fresh_ms=%.2f filterPhotos_ms=%.1f matches=%lld\n",
                    qPrintable(keys[k]), narrowed[k] * 1e3, fresh[k] * 1e3, old[k] * 1e3,
                    static_cast<long long>(matches[k]));
    return 0;
}

int gridCommand(int argc, char **argv)
{
    const int count = argc > 0 ? std::atoi(argv[0]) : 5000;
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    LibraryState &state = vc.library();
    fillLibrary(state, count);
    // Distinct pictures, as a real page has.
    for (int i = 0; i < count; ++i) {
        QImage picture(150, 150, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor::fromHsv(i % 360, 160, 220));
        state.thumbnailCache.insert(state.allPhotos[i].id(), picture);
    }
    state.filteredPhotos = state.allPhotos;
    state.currentlyShowing = count;
    vc.updateDisplayedPhotos();
    QApplication::processEvents();

    PhotoGridView *grid = vc.collectionView;
    QScrollBar *bar = grid->verticalScrollBar();
    // The first paint also makes the shared shadows and placeholder; it is reported apart.
    auto start = Clock::now();
    grid->viewport()->repaint();
    const double first = secondsSince(start);
    const int steps = 200;
    double total = 0, worst = 0;
    for (int step = 0; step <= steps; ++step) {
        bar->setValue(bar->maximum() * step / steps);
        start = Clock::now();
        grid->viewport()->repaint();
        const double seconds = secondsSince(start);
        total += seconds;
        worst = std::max(worst, seconds);
    }
    std::printf("cards=%d viewport=%dx%d first_ms=%.2f screenfuls=%d mean_ms=%.2f worst_ms=%.2f\n", count,
                grid->viewport()->width(), grid->viewport()->height(), first * 1e3, steps + 1,
                total / (steps + 1) * 1e3, worst * 1e3);
    return 0;
}

int deleteStallCommand(int argc, char **argv)
{
    const int count = argc > 0 ? std::atoi(argv[0]) : 100'000;
    const int deleted = std::min(count, argc > 1 ? std::atoi(argv[1]) : 1000);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    qputenv("XDG_DATA_HOME", root + "/xdg");
    QDir().mkpath(dir.path() + QStringLiteral("/photos"));
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    LibraryState &state = vc.library();
    fillLibrary(state, count);
    // The photos to delete are real files; every tenth photo pairs with the next.
    for (int i = 0; i < deleted; ++i) {
        const PhotoItem &p = state.allPhotos[i];
        const FilePath path = root + "/photos/" + p.name();
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::WriteOnly) || file.write("photo") != 5)
            return 1;
        state.allPhotos[i] = PhotoItem(p.id(), path, p.name(), p.size(), {}, {}, p.fileType());
        state.selectedPhotoIds.insert(p.id());
    }
    state.duplicatePhotoIds.clear();
    for (int i = 0; i + 1 < count; i += 10) {
        state.duplicateGroups.append({QString::number(i), {state.allPhotos[i], state.allPhotos[i + 1]}});
        state.duplicatePhotoIds.insert(state.allPhotos[i].id());
        state.duplicatePhotoIds.insert(state.allPhotos[i + 1].id());
    }
    vc.applyFilters();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, worst = 0;
    QTimer watchdog;
    watchdog.setInterval(5);
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        worst = std::max(worst, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    watchdog.start();
    const auto start = Clock::now();
    lastTick = clock.elapsed();
    vc.performDelete();
    while (state.scanState != ScanState::idle)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worst = std::max(worst, clock.elapsed() - lastTick);
    std::printf("photos=%d deleted=%lld worst_ms=%lld total_ms=%.0f\n", count,
                static_cast<long long>(count - state.allPhotos.size()), static_cast<long long>(worst),
                secondsSince(start) * 1e3);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::map<std::string, std::function<int(int, char **)>> commands = {
        {"scan", scanCommand},
        {"duplicates", duplicatesCommand},
        {"publish", publishCommand},
        {"thumbnails", [](int c, char **v) { int thumbnailsCommand(int, char **); return thumbnailsCommand(c, v); }},
        {"make-photos", makePhotosCommand},
        {"make-hostile", [](int c, char **v) { int makeHostileCommand(int, char **); return makeHostileCommand(c, v); }},
        {"decode-memory", [](int c, char **v) { int decodeMemoryCommand(int, char **); return decodeMemoryCommand(c, v); }},
        {"filter", filterCommand},
        {"search", searchCommand},
        {"grid", gridCommand},
        {"delete-stall", deleteStallCommand},
        {"fileops", [](int c, char **v) { int fileOpsCommand(int, char **); return fileOpsCommand(c, v); }},
        {"stalls", [](int c, char **v) { int stallsCommand(int, char **); return stallsCommand(c, v); }},
    };
    if (argc < 2)
        return usage();
    const auto command = commands.find(argv[1]);
    if (command == commands.end())
        return usage();
    return command->second(argc - 2, argv + 2);
}
