#pragma once

#include "model/PhotoItem.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

// The grid shows a prefix of the filtered list, lengthened a page at a time.
namespace Paging {

inline constexpr qsizetype pageSize = 100;

// How many photos are shown after a filter change, a Load More, and a removal.
qsizetype afterFilter(qsizetype filteredCount);
qsizetype afterLoadMore(qsizetype currentlyShowing, qsizetype filteredCount);
qsizetype afterRemoval(qsizetype currentlyShowing, qsizetype filteredCount);

// The first min(currentlyShowing, filtered) photos.
QList<PhotoItem> displayedPage(const QList<PhotoItem> &filtered, qsizetype currentlyShowing);

struct LoadMoreControls
{
    QString showingText; // "Showing {shown} of {total} photos"
    QString buttonTitle; // "Load {count} More" or "All Loaded"
    bool buttonEnabled = false;
};
LoadMoreControls loadMoreControls(qsizetype shown, qsizetype total);

} // namespace Paging
