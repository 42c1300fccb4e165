#include "ui/Decorations.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTimerEvent>

PanelView::PanelView(QColor background, int cornerRadius, QColor border, QWidget *parent)
    : QWidget(parent), m_background(background), m_radius(cornerRadius), m_border(border)
{
}

void PanelView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(m_border.isValid() ? QPen(m_border, 1) : QPen(Qt::NoPen));
    p.setBrush(m_background);
    if (m_radius > 0)
        p.drawRoundedRect(r, m_radius, m_radius);
    else
        p.fillRect(rect(), m_background);
}

GradientView::GradientView(QColor start, QColor end, QWidget *parent)
    : QWidget(parent), m_start(start), m_end(end)
{
}

void GradientView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient g(0, 0, width(), 0);
    g.setColorAt(0, m_start);
    g.setColorAt(1, m_end);
    p.fillRect(rect(), g);
}

void MiddleElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width());
    p.setPen(palette().color(foregroundRole()));
    p.drawText(r, int(alignment()), shown);
}

SpinnerView::SpinnerView(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Working"));
    hide();
}

void SpinnerView::startAnimation()
{
    if (!m_timerId)
        m_timerId = startTimer(80);
    show();
}

void SpinnerView::stopAnimation()
{
    if (m_timerId)
        killTimer(m_timerId);
    m_timerId = 0;
    hide();
}

void SpinnerView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId)
        return QWidget::timerEvent(event);
    m_step = (m_step + 1) % 12;
    update();
}

void SpinnerView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const double outer = std::min(width(), height()) / 2.0;
    for (int i = 0; i < 12; ++i) {
        // The spoke at the current step is brightest; the trail behind it fades.
        const int age = (m_step - i + 12) % 12;
        p.setPen(QPen(QColor(255, 255, 255, 255 - age * 18), 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer * 0.9));
        p.rotate(30);
    }
}
