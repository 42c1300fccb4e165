#include "browse/Paging.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Paging {

qsizetype afterFilter(qsizetype filteredCount)
{
    return std::min(filteredCount, pageSize);
}

qsizetype afterLoadMore(qsizetype currentlyShowing, qsizetype filteredCount)
{
    return std::min(filteredCount, currentlyShowing + pageSize);
}

qsizetype afterRemoval(qsizetype currentlyShowing, qsizetype filteredCount)
{
    return std::min(filteredCount, currentlyShowing);
}

QList<PhotoItem> displayedPage(const QList<PhotoItem> &filtered, qsizetype currentlyShowing)
{
    return filtered.first(std::clamp<qsizetype>(currentlyShowing, 0, filtered.size()));
}

LoadMoreControls loadMoreControls(qsizetype shown, qsizetype total)
{
    LoadMoreControls controls;
    controls.showingText = u"Showing %1 of %2 photos"_s.arg(shown).arg(total);
    const qsizetype remaining = total - shown;
    if (remaining < 1) {
        controls.buttonTitle = u"All Loaded"_s;
        controls.buttonEnabled = false;
    } else {
        controls.buttonTitle = u"Load %1 More"_s.arg(std::min(remaining, pageSize));
        controls.buttonEnabled = true;
    }
    return controls;
}

} // namespace Paging
