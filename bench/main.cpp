// Headless benchmarks of the core: lumisort-bench COMMAND [ARGS...]
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "model/LibraryState.h"
#include "platform/PosixFileSystem.h"
#include "platform/Uuid.h"
#include "scan/FolderScanner.h"

#include <QList>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

int usage()
{
    std::fputs("usage: lumisort-bench scan [--list] DIR...\n"
               "       lumisort-bench duplicates DIR...\n"
               "       lumisort-bench publish [PHOTOS [PERCENT]]\n"
               "  scan        walk the folders as the application does and print\n"
               "              photos=N dirs=M seconds=S (--list: each photo's path first)\n"
               "  duplicates  scan, then one duplicate pass: each group's paths, sorted and\n"
               "              tab-separated, one line per group, lines sorted; on standard\n"
               "              error photos=N groups=G ids=I seconds=S\n"
               "  publish     time publishing a pass on the GUI thread, and pruning its groups\n"
               "              after a delete, for PHOTOS synthetic photos (100000) of which\n"
               "              PERCENT (100) are in pairs\n",
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
    const DuplicatePassResult result = runDuplicatePass(duplicateSnapshot(state.allPhotos), stop);
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
        state.allPhotos.append(PhotoItem(makeUuidString(), "/photos/" + name, name, 1'000'000,
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
    const qsizetype inPairs = qsizetype(count) * paired / 100 / 2 * 2;
    for (qsizetype i = 0; i < count; ++i) {
        result.ids.append(snapshot[i].id);
        result.digests.append(i < inPairs ? QString::number(i / 2).rightJustified(32, u'0') : QString());
        if (i < inPairs && i % 2 == 1) {
            result.groups.append({i - 1, i});
            result.memberIds << snapshot[i - 1].id << snapshot[i].id;
        }
    }

    start = Clock::now();
    const DuplicateSummary published = *publishDuplicatePass(state, result);
    const double publishSeconds = secondsSince(start);
    // A delete of one photo of every group.
    QSet<QString> removed;
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

} // namespace

int main(int argc, char **argv)
{
    const std::map<std::string, std::function<int(int, char **)>> commands = {
        {"scan", scanCommand},
        {"duplicates", duplicatesCommand},
        {"publish", publishCommand},
    };
    if (argc < 2)
        return usage();
    const auto command = commands.find(argv[1]);
    if (command == commands.end())
        return usage();
    return command->second(argc - 2, argv + 2);
}
