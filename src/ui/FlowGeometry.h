#pragma once

#include <QRect>
#include <QSize>

#include <utility>

// Where the grid puts its cards: rows of equal cards inside a margin, as many per row as
// fit with at least `itemSpacing` between them. Full rows are spread to the full width,
// and the last row keeps the same columns, so the cards line up.
struct FlowGeometry
{
    QSize itemSize{180, 230};
    int itemSpacing = 15;
    int lineSpacing = 20;
    int inset = 20;

    int columns(int width) const;
    QRect itemRect(int index, int width) const;
    // The height needed to show `count` cards in a view `width` wide.
    int contentHeight(int count, int width) const;
    // The index of the card at `point`, or -1 in the gaps.
    int indexAt(QPoint point, int count, int width) const;
    // The cards [first, end) on the rows that `area` (content coordinates) meets.
    std::pair<int, int> indexesIn(QRect area, int count, int width) const;
};
