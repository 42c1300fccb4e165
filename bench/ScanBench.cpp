// lumisort-bench scan, duplicates and publish: the folder walk and the duplicate pass as the
// application runs them, and the GUI thread's share of publishing a pass.
#include "Bench.h"
#include "cache/LibraryCache.h"
#include "duplicates/DuplicateStage.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "model/LibraryState.h"
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// One headless scan, never paused or stopped.
ScanResult scanOnce(const QList<FilePath> &paths)
{
    PosixFileSystem fs;
    const std::atomic<bool> pause = false;
    const std::atomic<bool> stop = false;
    ScanProgressSink progress;
    return scanFolders(fs, paths, {pause, stop}, progress);
}

} // namespace

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

    const auto start = Clock::now();
    const ScanResult result = scanOnce(paths);
    const double seconds = secondsSince(start);

    if (list) {
        for (const PhotoItem &photo : result.photos) {
            std::fwrite(photo.path().constData(), 1, size_t(photo.path().size()), stdout);
            std::fputc('\n', stdout);
        }
    }
    std::printf("photos=%lld dirs=%lld seconds=%.3f\n", static_cast<long long>(result.photos.size()),
                static_cast<long long>(result.directoryCount), seconds);
    return 0;
}

int duplicatesCommand(int argc, char **argv)
{
    QList<FilePath> paths;
    FilePath cacheFolder;
    bool keep = false; // --warm: the cache as an earlier run left it, one run
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc)
            cacheFolder = argv[++i];
        else if (std::strcmp(argv[i], "--warm") == 0)
            keep = true;
        else
            paths.append(FilePath(argv[i]));
    }
    if (paths.isEmpty())
        return usage();

    const std::atomic<bool> stop = false;
    LibraryState state;
    DuplicateSummary summary;
    double seconds = 0;
    if (cacheFolder.isEmpty()) {
        const auto start = Clock::now();
        state.allPhotos = scanOnce(paths).photos;
        const DuplicatePassResult result = runDuplicatePass(duplicateSnapshot(state.allPhotos), PosixFileSystem(), stop);
        summary = *publishDuplicatePass(state, result);
        seconds = secondsSince(start);
    } else {
        // The scan and the duplicate stage as the window runs them, from an empty cache, then again.
        for (const char *suffix : {"", "-wal", "-shm"}) {
            if (!keep)
                ::unlink(QByteArray(cacheFolder + "/library.sqlite" + suffix).constData());
        }
        const LibraryCache cache(cacheFolder);
        const PosixFileSystem fs;
        double cold = 0;
        QStringList log;
        for (int run = keep ? 1 : 0; run < 2; ++run) {
            const auto start = Clock::now();
            state.duplicateGroups.clear();
            state.duplicatePhotoIds.clear();
            state.allPhotos = scanOnce(paths).photos;
            log = DuplicateStage(fs, &cache).prepare(state)({stop, [](const QString &, double) {}})(state).logLines;
            (run == 0 ? cold : seconds) = secondsSince(start);
        }
        summary = {state.duplicateGroups.size(), state.duplicatePhotoIds.size()};
        struct stat st{};
        ::stat(cache.file().constData(), &st);
        const qint64 rows = CacheSession(cache).rowCount();
        std::fprintf(stderr, "cold_seconds=%.3f warm_seconds=%.3f cache_bytes=%lld bytes_per_row=%.0f %s\n", cold, seconds,
                     static_cast<long long>(st.st_size), double(st.st_size) / double(std::max<qint64>(1, rows)),
                     qPrintable(log.filter(u"Reused"_s).value(0).replace(u"Reused "_s, u"reused="_s).replace(u" of "_s, u"/"_s).remove(u" fingerprints"_s)));
    }

    std::vector<QByteArrayList> groups;
    for (const DuplicateGroup &group : std::as_const(state.duplicateGroups)) {
        QByteArrayList &members = groups.emplace_back();
        for (const PhotoItem &photo : group.photos)
            members.append(photo.path());
    }
    printGroups(std::move(groups));
    std::fprintf(stderr, "photos=%lld groups=%lld ids=%lld seconds=%.3f\n",
                 static_cast<long long>(state.allPhotos.size()),
                 static_cast<long long>(summary.groupCount),
                 static_cast<long long>(summary.duplicateCount), seconds);
    return 0;
}

int publishCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 100'000);
    const int paired = intArgument(argc, argv, 1, 100);
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
    const qsizetype inPairs = qsizetype(count) * paired / 100 / 2 * 2;
    for (qsizetype i = 0; i < count; ++i) {
        if (i < inPairs) {
            ContentHash::Digest digest{};
            std::memcpy(digest.data(), &i, sizeof i);
            result.examined.push_back(int(i));
            result.digests.push_back(digest);
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
