#include "browse/Statistics.h"

#include "platform/Formatters.h"

using namespace Qt::StringLiterals;

StatisticsInput StatisticsInput::of(const LibraryState &state)
{
    const qsizetype groups =
        state.viewMode == ViewMode::similar ? state.similarGroups.size() : state.duplicateGroups.size();
    return {state.allPhotos, state.filteredPhotos, state.selectedPhotoIds, state.viewMode, groups,
            state.displayedPhotos.size()};
}

QString statisticsLine(const StatisticsInput &state)
{
    const qsizetype total = state.filteredPhotos.size();

    if (!state.selectedPhotoIds.isEmpty()) {
        // Selected photos that the filter hides still count; ids of photos that are gone
        // count nothing.
        qint64 selectedSize = 0;
        for (const PhotoItem &photo : state.allPhotos) {
            if (state.selectedPhotoIds.contains(photo.id()))
                selectedSize += photo.size();
        }
        return u"%1 selected (%2) | %3 total"_s.arg(state.selectedPhotoIds.size())
            .arg(formatByteCount(selectedSize))
            .arg(total);
    }

    qint64 filteredSize = 0;
    for (const PhotoItem &photo : state.filteredPhotos)
        filteredSize += photo.size();
    const QString size = formatByteCount(filteredSize);

    if (state.viewMode == ViewMode::duplicates)
        return u"%1 duplicates in %2 groups | %3"_s.arg(total).arg(state.groupCount).arg(size);
    if (state.viewMode == ViewMode::similar)
        return u"%1 similar photos in %2 groups | %3"_s.arg(total).arg(state.groupCount).arg(size);
    if (total <= 100)
        return u"%1 photos | %2"_s.arg(total).arg(size);
    return u"Showing %1 of %2 photos | %3"_s.arg(state.displayedCount).arg(total).arg(size);
}
