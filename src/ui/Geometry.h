#pragma once

#include <QRect>

// Frames in the layout are written as (x, y, width, height) with y measured up from the
// parent's bottom edge. This is the one place they become Qt's top-left rectangles.
constexpr QRect fromBottomLeft(int x, int y, int width, int height, int parentHeight)
{
    return QRect(x, parentHeight - y - height, width, height);
}
