#include "duplicates/DuplicateStage.h"

#include "duplicates/DuplicatePass.h"
#include "duplicates/DuplicatePublish.h"
#include "duplicates/DuplicateTexts.h"

QString DuplicateStage::startedText() const
{
    return DuplicateTexts::started();
}

StageWork DuplicateStage::prepare(const LibraryState &library) const
{
    return [fs = &m_fs, snapshot = duplicateSnapshot(library.allPhotos)](const StageContext &context) -> StageApply {
        const auto progress = [&context](int position, int total) {
            context.progress(DuplicateTexts::progress(position, total),
                             DuplicateTexts::progressPercent(position, total));
        };
        DuplicatePassResult result = runDuplicatePass(snapshot, *fs, context.stop, progress);
        if (!result.stopped)
            result.preparedGroups = duplicateGroupsOf(result);
        return [result = std::move(result)](LibraryState &state) {
            StageOutcome outcome;
            const std::optional<DuplicateSummary> summary = publishDuplicatePass(state, result);
            if (summary && summary->groupCount > 0)
                outcome.logLines.append(DuplicateTexts::summary(*summary));
            outcome.status = DuplicateTexts::finished(state.duplicateGroups.size(), state.allPhotos.size());
            if (summary)
                outcome.changed = LibraryChange::duplicates;
            return outcome;
        };
    };
}
