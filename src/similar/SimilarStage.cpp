#include "similar/SimilarStage.h"

#include "cache/LibraryCache.h"
#include "duplicates/DuplicateTexts.h"
#include "platform/FileSystem.h"
#include "platform/Queues.h"
#include "similar/PhotoSignature.h"
#include "similar/SimilarGrouping.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>

using namespace Qt::StringLiterals;

namespace SimilarTexts {

QString progress(int position, int total)
{
    return u"Finding similar photos: %1/%2"_s.arg(position).arg(total);
}

QString finished(qsizetype duplicateGroups, qsizetype similarGroups, qsizetype photoCount)
{
    if (similarGroups == 0)
        return DuplicateTexts::finished(duplicateGroups, photoCount);
    if (duplicateGroups == 0)
        return u"Found %1 similar groups"_s.arg(similarGroups);
    return u"Found %1 duplicate groups and %2 similar groups"_s.arg(duplicateGroups).arg(similarGroups);
}

} // namespace SimilarTexts

namespace {

// Photos looked up, signed and stored at a time: bounds what a million photos hold at once.
constexpr int slice = 1024;

} // namespace

SimilarStage::SimilarStage(const FileSystem &fs, const LibraryCache *cache, Signer signer)
    : m_fs(fs), m_cache(cache), m_signer(signer ? std::move(signer) : Signer(&signatureOfFile))
{
}

QString SimilarStage::startedText() const
{
    return u"Finding similar photos in background..."_s;
}

StageWork SimilarStage::prepare(const LibraryState &library) const
{
    return [fs = &m_fs, cache = m_cache, signer = m_signer, snapshot = library.allPhotos](const StageContext &context) -> StageApply {
        const int total = int(snapshot.size());
        const auto stopped = [&] { return context.stop.load(std::memory_order_relaxed); };
        std::optional<CacheSession> session;
        if (cache)
            session.emplace(*cache);
        // Side by side, so that grouping reads the signatures where they are.
        std::vector<PhotoSignature> signatures;
        std::vector<int> positionOf;
        std::vector<quint32> pixelsOf;
        qsizetype reused = 0;
        qsizetype needed = 0;
        for (int from = 0; from < total && !stopped(); from += slice) {
            const int count = std::min(slice, total - from);
            const size_t n = size_t(count);
            std::vector<FilePath> paths(n);
            std::vector<FileStamp> stamps(n);
            std::vector<char> regular(n, 0);
            forEachOnThreads(count, 0, [&](int k) {
                paths[size_t(k)] = snapshot[from + k].path();
                struct stat st;
                if (fs->statPath(paths[size_t(k)], st) && S_ISREG(st.st_mode)) {
                    stamps[size_t(k)] = FileStamp::of(st);
                    regular[size_t(k)] = 1;
                }
            }, &context.stop);
            std::vector<std::optional<KnownSignature>> known;
            if (session)
                known = session->lookupSignatures(paths, stamps);
            known.resize(n);
            std::vector<std::optional<PhotoSignature>> found(n);
            std::vector<QSize> pixels(n);
            std::vector<char> learned(n, 0);
            forEachOnThreads(count, 0, [&](int k) {
                if (!regular[size_t(k)])
                    return;
                if (const std::optional<KnownSignature> &row = known[size_t(k)]) {
                    found[size_t(k)] = signatureFromBytes(row->signature);
                    pixels[size_t(k)] = row->pixels;
                    return;
                }
                found[size_t(k)] = signer(paths[size_t(k)], &pixels[size_t(k)]);
                // Kept only if the file did not change while it was read.
                struct stat st;
                learned[size_t(k)] = fs->statPath(paths[size_t(k)], st) && FileStamp::of(st) == stamps[size_t(k)];
            }, &context.stop);
            if (stopped())
                break;
            std::vector<CachedSignature> rows;
            for (int k = 0; k < count; ++k) {
                if (!regular[size_t(k)])
                    continue;
                ++needed;
                if (known[size_t(k)])
                    ++reused;
                else if (learned[size_t(k)])
                    rows.push_back({std::move(paths[size_t(k)]), stamps[size_t(k)],
                                    found[size_t(k)] ? signatureBytes(*found[size_t(k)]) : QByteArray(),
                                    found[size_t(k)] ? pixels[size_t(k)] : QSize(0, 0)});
                if (found[size_t(k)]) {
                    const QSize size = pixels[size_t(k)];
                    signatures.push_back(*found[size_t(k)]);
                    positionOf.push_back(from + k);
                    pixelsOf.push_back(quint32(std::min<qint64>(UINT32_MAX, qint64(std::max(0, size.width())) * std::max(0, size.height()))));
                }
            }
            // Also marks the rows found as seen.
            if (session)
                session->storeSignatures(rows);
            // The text only: the bar stays full from the duplicate pass rather than run again.
            context.progress(SimilarTexts::progress(from + count, total), -1);
        }

        QList<SimilarGroup> groups;
        if (!stopped()) {
            for (std::vector<quint32> &members : groupSimilar(signatures, context.stop)) {
                // The best copy first: most pixels, then the largest file, then the oldest.
                std::ranges::sort(members, [&](quint32 a, quint32 b) {
                    const PhotoItem &p = snapshot[positionOf[a]], &q = snapshot[positionOf[b]];
                    return std::tuple(-qint64(pixelsOf[a]), -p.size(), p.dateCreated(), positionOf[a])
                         < std::tuple(-qint64(pixelsOf[b]), -q.size(), q.dateCreated(), positionOf[b]);
                });
                SimilarGroup group;
                for (quint32 member : members)
                    group.photos.append(snapshot[positionOf[member]]);
                // Copies that are all byte-identical are the duplicates view's.
                const QString digest = group.photos.first().hash();
                if (!digest.isEmpty() && std::ranges::all_of(group.photos, [&](const PhotoItem &p) { return p.hash() == digest; }))
                    continue;
                groups.append(std::move(group));
            }
        }
        QStringList logLines;
        if (session && !stopped() && session->usable() && needed > 0)
            logLines << DuplicateTexts::reused(reused, needed, u"signatures");
        if (session && !session->message().isEmpty())
            logLines << session->message();
        return [groups = std::move(groups), logLines, stop = stopped(), snapshot](LibraryState &state) mutable {
            StageOutcome outcome;
            outcome.status = SimilarTexts::finished(state.duplicateGroups.size(), stop ? state.similarGroups.size() : groups.size(),
                                                    state.allPhotos.size());
            if (stop)
                return outcome;
            // Photos that left the library since the snapshot leave their groups.
            if (!state.allPhotos.isSharedWith(snapshot)) {
                PhotoIdSet members;
                for (const SimilarGroup &group : std::as_const(groups)) {
                    for (const PhotoItem &photo : group.photos)
                        members.insert(photo.id());
                }
                PhotoIdSet present;
                for (const PhotoItem &photo : std::as_const(state.allPhotos)) {
                    if (members.contains(photo.id()))
                        present.insert(photo.id());
                }
                for (SimilarGroup &group : groups)
                    group.photos.removeIf([&](const PhotoItem &photo) { return !present.contains(photo.id()); });
                groups.removeIf([](const SimilarGroup &group) { return group.photos.size() < 2; });
                outcome.status = SimilarTexts::finished(state.duplicateGroups.size(), groups.size(), state.allPhotos.size());
            }
            qsizetype photos = 0;
            state.similarPhotoIds.clear();
            state.bestPhotoIds.clear();
            for (const SimilarGroup &group : std::as_const(groups)) {
                state.bestPhotoIds.insert(group.photos.first().id());
                for (const PhotoItem &photo : group.photos)
                    state.similarPhotoIds.insert(photo.id());
                photos += group.photos.size();
            }
            state.similarGroups = std::move(groups);
            if (!state.similarGroups.isEmpty())
                outcome.logLines.prepend(u"Found %1 similar groups (%2 photos)"_s.arg(state.similarGroups.size()).arg(photos));
            outcome.logLines.append(logLines);
            outcome.changed = LibraryChange::similar;
            return outcome;
        };
    };
}
