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
            known = [&](std::span<const StampedFile> files) {
                std::vector<FilePath> paths;
                std::vector<FileStamp> stamps;
                paths.reserve(files.size());
                stamps.reserve(files.size());
                for (const StampedFile &file : files) {
                    paths.push_back(snapshot[file.position].path());
                    stamps.push_back(file.stamp);
                }
                return session->lookup(paths, stamps);
            };
        }
        DuplicatePassResult result = runDuplicatePass(snapshot, *fs, context.stop, progress, known);
        QStringList cacheLines;
        if (session && !result.stopped) {
            if (session->usable() && result.needed > 0)
                cacheLines << DuplicateTexts::reused(result.reused, result.needed);
            std::vector<CachedDigest> rows;
            rows.reserve(result.learned.size());
            for (const LearnedDigest &learned : result.learned)
                rows.push_back({snapshot[learned.file.position].path(), learned.file.stamp, learned.digest});
            result.learned = {};
            session->store(rows);
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
