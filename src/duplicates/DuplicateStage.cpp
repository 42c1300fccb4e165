#include "duplicates/DuplicateStage.h"

#include "cache/LibraryCache.h"
#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"

#include <optional>

QString DuplicateStage::startedText() const
{
    return DuplicateTexts::started();
}

namespace {
constexpr size_t slice = 4096; // rows looked up or stored at a time
} // namespace

StageWork DuplicateStage::prepare(const LibraryState &library) const
{
    return [fs = &m_fs, cache = m_cache, snapshot = duplicateSnapshot(library.allPhotos)](const StageContext &context) -> StageApply {
        const auto progress = [&context](int position, int total) {
            context.progress(DuplicateTexts::progress(position, total),
                             DuplicateTexts::progressPercent(position, total));
        };
        std::optional<CacheSession> session;
        KnownDigests known;
        if (cache) {
            session.emplace(*cache);
            // In slices, so that a million paths are never made at once.
            known = [&](std::span<const int> positions, const RecordFound &found) {
                // A stopped pass is not kept waiting for the rest: what is not found is unknown.
                for (size_t from = 0; from < positions.size() && !context.stop.load(std::memory_order_relaxed); from += slice) {
                    std::vector<FilePath> paths;
                    for (int position : positions.subspan(from, std::min(slice, positions.size() - from)))
                        paths.push_back(snapshot[position].path());
                    // A failed lookup gives nothing, which leaves the files unknown.
                    const std::vector<std::optional<ContentRecord>> rows = session->lookup(paths);
                    for (size_t k = 0; k < rows.size(); ++k) {
                        if (rows[k])
                            found(int(from + k), *rows[k]);
                    }
                }
            };
        }
        DuplicatePassResult result = runDuplicatePass(snapshot, *fs, context.stop, progress, known);
        QStringList cacheLines;
        if (session && !result.stopped) {
            if (session->usable() && result.needed > 0)
                cacheLines << DuplicateTexts::reused(result.reused, result.needed);
            // At least once: a store also marks the rows found as seen.
            const std::vector<FileStamp> &stamps = result.learnedStamps;
            const auto sample = [&](size_t i) { return i < result.learnedSamples.size() ? result.learnedSamples[i] : 0; };
            for (size_t from = 0; from == 0 || from < stamps.size(); from += slice) {
                std::vector<CachedDigest> rows;
                for (size_t i = from; i < std::min(from + slice, stamps.size()); ++i) {
                    if (stamps[i].inode != 0 && (result.digests[i] || sample(i) != 0))
                        rows.push_back({snapshot[result.examined[i]].path(), stamps[i], result.digests[i], sample(i)});
                }
                session->store(rows);
            }
            result.learnedStamps = decltype(result.learnedStamps)();
            result.learnedSamples = decltype(result.learnedSamples)();
            session->dropUnseen();
        }
        if (session && !session->message().isEmpty())
            cacheLines << session->message();
        if (!result.stopped)
            result.preparedGroups = duplicateGroupsOf(result);
        return [result = std::move(result), cacheLines](LibraryState &state) {
            StageOutcome outcome;
            const std::optional<DuplicateSummary> summary = publishDuplicatePass(state, result);
            if (summary && summary->groupCount > 0)
                outcome.logLines.append(DuplicateTexts::summary(*summary));
            outcome.logLines.append(cacheLines);
            outcome.status = DuplicateTexts::finished(state.duplicateGroups.size(), state.allPhotos.size());
            if (summary)
                outcome.changed = LibraryChange::duplicates;
            return outcome;
        };
    };
}
