#pragma once

#include "model/LibraryState.h"

#include <QString>

// What the bottom bar's summary reads of the library: shares its lists, so it can be taken
// on the GUI thread at no cost and read on a worker.
struct StatisticsInput
{
    QList<PhotoItem> allPhotos, filteredPhotos;
    PhotoIdSet selectedPhotoIds;
    ViewMode viewMode = ViewMode::all;
    qsizetype groupCount = 0; // the view's groups: similar ones in the similar view, else duplicate ones
    qsizetype displayedCount = 0;

    static StatisticsInput of(const LibraryState &state);
};

// The bottom bar's summary: the selection's count and size while anything is selected,
// otherwise the filtered list's (as duplicates or similar photos with their group count in
// those views).
QString statisticsLine(const StatisticsInput &input);
inline QString statisticsLine(const LibraryState &state) { return statisticsLine(StatisticsInput::of(state)); }
