// Similar photos: grouping a folder's photos, grouping a million signatures, and what the
// signatures add to the thumbnails' decodes.
#include "Bench.h"
#include "browse/Thumbnails.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ThumbnailPicture.h"
#include "platform/PosixFileSystem.h"
#include "platform/Queues.h"
#include "scan/FolderScanner.h"
#include "similar/PhotoSignature.h"
#include "similar/SimilarGrouping.h"

#include <QList>

#include <algorithm>
#include <array>
#include <numeric>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int workerThreads = 2; // the pool the window decodes on

QList<PhotoItem> scanPaths(const QList<FilePath> &paths)
{
    PosixFileSystem fs;
    const std::atomic<bool> pause = false, stop = false;
    ScanProgressSink progress;
    return scanFolders(fs, paths, {pause, stop}, progress).photos;
}

// A band of 64 bits, half of them set, as every signature's is.
quint64 randomBand(std::mt19937_64 &random)
{
    std::array<int, 64> positions{};
    std::iota(positions.begin(), positions.end(), 0);
    std::shuffle(positions.begin(), positions.end(), random);
    quint64 band = 0;
    for (int i = 0; i < 32; ++i)
        band |= quint64(1) << positions[size_t(i)];
    return band;
}

// Moves `swaps` set bits to unset places: 2 * swaps bits differ, half still set.
quint64 nudged(quint64 band, int swaps, std::mt19937_64 &random)
{
    for (int s = 0; s < swaps; ++s) {
        int set, unset;
        do set = int(random() % 64); while (!(band >> set & 1));
        do unset = int(random() % 64); while (band >> unset & 1);
        band ^= (quint64(1) << set) | (quint64(1) << unset);
    }
    return band;
}

} // namespace

int similarCommand(int argc, char **argv)
{
    QList<FilePath> paths;
    const char *dump = nullptr; // --signatures FILE: each photo's path and signature, for tuning
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--signatures") == 0 && i + 1 < argc)
            dump = argv[++i];
        else
            paths.append(FilePath(argv[i]));
    }
    if (paths.isEmpty())
        return usage();
    const auto start = Clock::now();
    const QList<PhotoItem> photos = scanPaths(paths);
    std::vector<std::optional<PhotoSignature>> results(size_t(photos.size()));
    forEachOnThreads(int(results.size()), workerThreads, [&](int i) { results[size_t(i)] = signatureOfFile(photos[i].path()); });
    std::vector<PhotoSignature> signatures;
    std::vector<qsizetype> photoOf;
    for (size_t i = 0; i < results.size(); ++i)
        if (results[i]) {
            signatures.push_back(*results[i]);
            photoOf.push_back(qsizetype(i));
        }
    const std::atomic<bool> stop = false;
    const auto groups = groupSimilar(signatures, stop);
    const double seconds = secondsSince(start);
    if (FILE *file = dump ? std::fopen(dump, "w") : nullptr) {
        for (size_t i = 0; i < signatures.size(); ++i)
            std::fprintf(file, "%s\t%016llx\t%016llx\n", photos[photoOf[i]].path().constData(),
                         static_cast<unsigned long long>(signatures[i].coarse),
                         static_cast<unsigned long long>(signatures[i].fine));
        std::fclose(file);
    }

    std::vector<QByteArrayList> pathGroups;
    for (const auto &group : groups) {
        QByteArrayList &members = pathGroups.emplace_back();
        for (quint32 index : group)
            members.append(photos[photoOf[index]].path());
    }
    printGroups(std::move(pathGroups));
    std::fprintf(stderr, "photos=%lld signed=%zu groups=%zu seconds=%.3f\n", static_cast<long long>(photos.size()),
                 signatures.size(), groups.size(), seconds);
    return 0;
}

int similarGroupCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 1000000);
    if (count < 2)
        return usage();
    const long before = peakRssMB();
    // Every tenth photo is a near copy of an earlier one, as edits and re-encodes are.
    std::mt19937_64 random(21);
    std::vector<PhotoSignature> signatures;
    signatures.reserve(size_t(count));
    int planted = 0;
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 9) {
            const PhotoSignature &original = signatures[random() % size_t(i)];
            signatures.push_back({nudged(original.coarse, 2, random), nudged(original.fine, 2, random)});
            ++planted;
        } else {
            signatures.push_back({randomBand(random), randomBand(random)});
        }
    }
    const std::atomic<bool> stop = false;
    const auto start = Clock::now();
    const auto groups = groupSimilar(signatures, stop);
    const double seconds = secondsSince(start);
    size_t grouped = 0;
    for (const auto &group : groups)
        grouped += group.size();
    std::printf("count=%d seconds=%.3f groups=%zu grouped=%zu planted=%d bytes_per_photo=%.1f\n", count, seconds,
                groups.size(), grouped, planted, double(peakRssMB() - before) * 1024 * 1024 / count);
    return 0;
}

int similarCostCommand(int argc, char **argv)
{
    if (argc < 1 || argc > 2)
        return usage();
    const int limit = intArgument(argc, argv, 1, 1000);
    QList<PhotoItem> photos = scanPaths({FilePath(argv[0])});
    photos = photos.mid(0, std::min<qsizetype>(limit, photos.size()));
    const size_t count = size_t(photos.size());
    const QSize cover{int(thumbnailSide), int(thumbnailSide)};

    // The thumbnails alone, then each one with its signature from the same decode, then the
    // thumbnails alone again: the better of those two, so that a cold file cache does not
    // weigh on one side only.
    std::atomic<int> made = 0, signedCount = 0;
    const auto thumbnailsAlone = [&] {
        const auto start = Clock::now();
        forEachOnThreads(int(count), workerThreads, [&](int i) {
            made += !drawThumbnail(decodeImage(photos[i].path(), cover)).isNull();
        });
        return secondsSince(start);
    };
    double thumbnails = thumbnailsAlone();
    const auto start = Clock::now();
    forEachOnThreads(int(count), workerThreads, [&](int i) {
        const QImage picture = decodeImage(photos[i].path(), cover);
        signedCount += signatureOf(picture).has_value();
        made += !drawThumbnail(picture).isNull();
    });
    const double both = secondsSince(start);
    // The signatures alone, as a scan's similar pass takes them (its own reduced decode).
    const auto signStart = Clock::now();
    forEachOnThreads(int(count), workerThreads, [&](int i) {
        QSize pixels;
        signedCount += signatureOfFile(photos[i].path(), &pixels).has_value();
    });
    const double alone = secondsSince(signStart);
    thumbnails = std::min(thumbnails, thumbnailsAlone());
    std::printf("count=%zu thumbnails_seconds=%.3f with_signatures_seconds=%.3f ratio=%.3f signatures_alone_seconds=%.3f "
                "alone_ratio=%.3f\n", count, thumbnails, both, both / thumbnails, alone, alone / thumbnails);
    std::fprintf(stderr, "made=%d signed=%d\n", made.load(), signedCount.load());
    return 0;
}
