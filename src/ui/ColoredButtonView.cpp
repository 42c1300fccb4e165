#include "ui/ColoredButtonView.h"

#include "ui/Geometry.h"
#include "ui/Palette.h"

#include <QPainter>

ColoredButtonView::ColoredButtonView(QWidget *parent)
    : QAbstractButton(parent), m_color(Palette::systemBlue())
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFont(systemFont(14, QFont::Bold));
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onClick)
            onClick();
    });
}

void ColoredButtonView::setColor(const QColor &color)
{
    m_color = color;
    update();
}

double ColoredButtonView::fillAlpha() const
{
    if (!isEnabled())
        return 0.5;
    return isDown() ? 0.8 : 1.0;
}

void ColoredButtonView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::withAlpha(m_color, fillAlpha()));
    p.drawRoundedRect(QRectF(rect()), 8, 8);
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 200), 2));
        p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 6, 6);
    }
    p.setPen(Qt::white);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}
