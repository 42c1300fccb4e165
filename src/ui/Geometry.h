#pragma once

#include <QFont>
#include <QRect>

// Frames in the layout are written as (x, y, width, height) with y measured up from the
// parent's bottom edge. This is the one place they become Qt's top-left rectangles.
constexpr QRect fromBottomLeft(int x, int y, int width, int height, int parentHeight)
{
    return QRect(x, parentHeight - y - height, width, height);
}

constexpr QRect fromBottomLeft(QRect frame, int parentHeight)
{
    return fromBottomLeft(frame.x(), frame.y(), frame.width(), frame.height(), parentHeight);
}

// The application font at a size in device-independent pixels, as the layout gives sizes.
inline QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}
