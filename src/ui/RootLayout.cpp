#include "ui/RootLayout.h"

#include "ui/Geometry.h"

#include <QWidget>

RootLayout::RootLayout(QSize designSize, QWidget *parent) : QLayout(parent), m_design(designSize)
{
    setContentsMargins(0, 0, 0, 0);
}

RootLayout::~RootLayout()
{
    for (const Entry &e : std::as_const(m_entries))
        delete e.item;
}

void RootLayout::place(QWidget *widget, int x, int y, int width, int height, int resize)
{
    addChildWidget(widget);
    m_entries.append({new QWidgetItem(widget), QRect(x, y, width, height), resize});
    invalidate();
}

QRect RootLayout::frameFor(QRect frame, int resize, QSize design, QSize actual)
{
    QRect r = fromBottomLeft(frame, design.height());
    const int dw = actual.width() - design.width();
    const int dh = actual.height() - design.height();
    if (resize & growWidth)
        r.setWidth(std::max(0, r.width() + dw));
    if (resize & growHeight)
        r.setHeight(std::max(0, r.height() + dh)); // the top edge stays, the bottom follows
    else if (resize & stickToBottom)
        r.translate(0, dh);
    return r;
}

void RootLayout::addItem(QLayoutItem *item)
{
    m_entries.append({item, item->geometry(), stickToTop});
}

int RootLayout::count() const
{
    return int(m_entries.size());
}

QLayoutItem *RootLayout::itemAt(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries[index].item : nullptr;
}

QLayoutItem *RootLayout::takeAt(int index)
{
    if (index < 0 || index >= m_entries.size())
        return nullptr;
    return m_entries.takeAt(index).item;
}

QSize RootLayout::sizeHint() const
{
    return m_design;
}

QSize RootLayout::minimumSize() const
{
    return {0, 0};
}

void RootLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    for (const Entry &e : std::as_const(m_entries)) {
        const QRect r = frameFor(e.frame, e.resize, m_design, rect.size()).translated(rect.topLeft());
        // Set widgets directly: going through the item would shrink them by the style's
        // layout margins, and the frames are exact.
        if (QWidget *w = e.item->widget())
            w->setGeometry(r);
        else
            e.item->setGeometry(r);
    }
}
