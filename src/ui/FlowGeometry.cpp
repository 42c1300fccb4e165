#include "ui/FlowGeometry.h"

#include <algorithm>

int FlowGeometry::columns(int width) const
{
    const int usable = width - 2 * inset;
    return std::max(1, (usable + itemSpacing) / (itemSize.width() + itemSpacing));
}

QRect FlowGeometry::itemRect(int index, int width) const
{
    const int n = columns(width);
    const int usable = width - 2 * inset;
    const double gap = n > 1 ? std::max<double>(itemSpacing, double(usable - n * itemSize.width()) / (n - 1))
                             : 0.0;
    const int row = index / n;
    const int column = index % n;
    const int x = inset + int(column * (itemSize.width() + gap) + 0.5);
    const int y = inset + row * (itemSize.height() + lineSpacing);
    return {QPoint(x, y), itemSize};
}

int FlowGeometry::contentHeight(int count, int width) const
{
    if (count <= 0)
        return 2 * inset;
    const int rows = (count + columns(width) - 1) / columns(width);
    return 2 * inset + rows * itemSize.height() + (rows - 1) * lineSpacing;
}

int FlowGeometry::indexAt(QPoint point, int count, int width) const
{
    const int n = columns(width);
    const int row = (point.y() - inset) / (itemSize.height() + lineSpacing);
    if (point.y() < inset || row < 0)
        return -1;
    for (int column = 0; column < n; ++column) {
        const int index = row * n + column;
        if (index >= count)
            break;
        if (itemRect(index, width).contains(point))
            return index;
    }
    return -1;
}

std::pair<int, int> FlowGeometry::indexesIn(QRect area, int count, int width) const
{
    const int n = columns(width);
    const int rowHeight = itemSize.height() + lineSpacing;
    const int firstRow = std::max(0, (area.top() - inset) / rowHeight);
    const int lastRow = std::max(0, (area.bottom() - inset) / rowHeight);
    return {std::min(count, firstRow * n), std::min(count, (lastRow + 1) * n)};
}
