#include "ui/PreviewImageView.h"

#include "ui/Geometry.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

void installAccessibleGraphic()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &key, QObject *object) -> QAccessibleInterface * {
            if (key == "PreviewImageView"_L1 && object && object->isWidgetType())
                return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
            return nullptr;
        });
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

PreviewImageView::PreviewImageView(QWidget *parent) : QWidget(parent)
{
    installAccessibleGraphic();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewImageView::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    m_text.clear();
    update();
}

void PreviewImageView::setText(const QString &text)
{
    m_pixmap = QPixmap();
    m_text = text;
    update();
}

QRectF PreviewImageView::pictureRect() const
{
    if (m_pixmap.isNull())
        return {};
    const QSizeF picture = m_pixmap.deviceIndependentSize().scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return {QPointF((width() - picture.width()) / 2, (height() - picture.height()) / 2), picture};
}

void PreviewImageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_pixmap.isNull()) {
        painter.setPen(QColor(255, 255, 255, 140));
        painter.setFont(systemFont(13));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_text);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(pictureRect(), m_pixmap, QRectF(m_pixmap.rect()));
}
