#include "ui/PhotoCardDelegate.h"

#include "ui/Geometry.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/PhotoGridModel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <cmath>

using namespace Qt::StringLiterals;

namespace PhotoCard {
namespace {
constexpr int h = 230;
}
QRect tile() { return fromBottomLeft(8, 55, 164, 164, h); }
QRect picture() { return fromBottomLeft(2, 2, 160, 160, 164).translated(tile().topLeft()); }
QRect checkBox() { return fromBottomLeft(12, 195, 22, 22, h); }
QRect badge() { return fromBottomLeft(100, 195, 70, 18, h); }
QRect similarBadge(bool belowDuplicate) { return badge().translated(0, belowDuplicate ? 22 : 0); }
QRect typeTag() { return fromBottomLeft(130, 60, 38, 16, h); }
QRect name() { return fromBottomLeft(10, 28, 160, 18, h); }
QRect sizeText() { return fromBottomLeft(10, 10, 160, 16, h); }
QRect nameAbove() { return fromBottomLeft(10, 34, 160, 18, h); }
QRect folder() { return fromBottomLeft(10, 19, 160, 14, h); }
QRect sizeBelow() { return fromBottomLeft(10, 4, 160, 14, h); }
} // namespace PhotoCard

namespace {

// A soft drop shadow of a rounded rectangle, blurred once per look and screen density
// and then reused: blurring on every paint would cost more than the rest of the card.
struct ShadowSpec
{
    double opacity;
    int radius;
};

QImage blurred(QImage image, int radius)
{
    // Three box blurs approximate a Gaussian.
    const int w = image.width(), h = image.height();
    const int r = std::max(1, radius / 2);
    QList<int> line;
    for (int pass = 0; pass < 3; ++pass) {
        for (const bool horizontal : {true, false}) {
            const int lines = horizontal ? h : w, length = horizontal ? w : h;
            line.resize(length);
            for (int l = 0; l < lines; ++l) {
                const auto at = [&](int i) -> uchar & {
                    return horizontal ? image.scanLine(l)[i] : image.scanLine(i)[l];
                };
                for (int i = 0; i < length; ++i)
                    line[i] = at(i);
                int sum = 0;
                for (int i = -r; i <= r; ++i)
                    sum += line[std::clamp(i, 0, length - 1)];
                for (int i = 0; i < length; ++i) {
                    at(i) = uchar(sum / (2 * r + 1));
                    sum += line[std::min(i + r + 1, length - 1)] - line[std::max(i - r, 0)];
                }
            }
        }
    }
    return image;
}

const QPixmap &cardShadow(const ShadowSpec &spec, qreal dpr)
{
    // Each look has its own radius, so radius and density name a shadow.
    static QHash<std::pair<int, qreal>, QPixmap> cache;
    const std::pair<int, qreal> key{spec.radius, dpr};
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    const int margin = 2 * spec.radius;
    const QSize logical = PhotoCard::size + QSize(2 * margin, 2 * margin);
    QImage alpha(logical * dpr, QImage::Format_Alpha8);
    alpha.fill(0);
    {
        QPainter p(&alpha);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr, dpr);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, int(255 * spec.opacity)));
        p.drawRoundedRect(QRectF(margin, margin, PhotoCard::size.width(), PhotoCard::size.height()), 14, 14);
    }
    alpha = blurred(alpha, int(std::lround(spec.radius * dpr)));
    QImage shadow(alpha.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter p(&shadow);
        p.drawImage(0, 0, alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    QPixmap pixmap = QPixmap::fromImage(shadow);
    pixmap.setDevicePixelRatio(dpr);
    return *cache.insert(key, pixmap);
}

const QPixmap &placeholder(qreal dpr)
{
    static QHash<qreal, QPixmap> cache;
    auto it = cache.find(dpr);
    if (it == cache.end()) {
        const int side = PhotoCard::picture().width();
        const QIcon icon = symbolIcon(u"photo.fill"_s, Palette::tertiaryLabel(), side);
        it = cache.insert(dpr, icon.pixmap(QSize(side, side), dpr));
    }
    return *it;
}

// `image` fitted inside `frame` with its aspect kept, centred.
QRectF fitted(QSizeF image, const QRectF &frame)
{
    if (image.isEmpty())
        return frame;
    const QSizeF size = image.scaled(frame.size(), Qt::KeepAspectRatio);
    return QRectF(frame.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

void drawPicture(QPainter *p, const QImage &image, const QRectF &frame, qreal dpr)
{
    if (image.isNull()) {
        const QPixmap &glyph = placeholder(dpr);
        p->drawPixmap(fitted(glyph.deviceIndependentSize(), frame), glyph, glyph.rect());
        return;
    }
    // Filling a rounded rectangle with the picture as its brush clips the corners
    // without a clip path.
    const QRectF target = fitted(image.deviceIndependentSize(), frame);
    // The texture is the picture's pixels at a ratio of 1, scaled by the brush's transform
    // alone: the engine would shrink a high-density texture by its ratio a second time.
    const QImage pixels(image.constBits(), image.width(), image.height(), image.bytesPerLine(), image.format());
    QBrush brush(pixels);
    QTransform transform;
    transform.translate(target.x(), target.y());
    transform.scale(target.width() / image.width(), target.height() / image.height());
    brush.setTransform(transform);
    p->setPen(Qt::NoPen);
    p->setBrush(brush);
    p->drawRoundedRect(target, 8, 8);
}

void drawTag(QPainter *p, const QRect &rect, const QColor &fill, double radius, const QString &text,
             const QFont &font)
{
    p->setPen(Qt::NoPen);
    p->setBrush(fill);
    p->drawRoundedRect(rect, radius, radius);
    p->setPen(Qt::white);
    p->setFont(font);
    p->drawText(rect, Qt::AlignCenter, text);
}

} // namespace

QColor similarBadgeColor(const QString &badge)
{
    return badge == u"BEST"_s ? Palette::systemGreen() : Palette::systemTeal();
}

QSize PhotoCardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return PhotoCard::size;
}

void PhotoCardDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    const bool duplicate = index.data(PhotoGridModel::DuplicateRole).toBool();
    const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;

    p->save();
    p->translate(option.rect.topLeft());
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF card(QPointF(0, 0), QSizeF(PhotoCard::size));

    // Card: shadow, background, and the accent border when selected.
    const ShadowSpec shadow = selected ? ShadowSpec{0.2, 12} : ShadowSpec{0.1, 8};
    p->drawPixmap(QPointF(-2 * shadow.radius, -2 * shadow.radius + 2), cardShadow(shadow, dpr));
    p->setPen(Qt::NoPen);
    if (selected) {
        // The tinted background lets the grid show through, so cover the shadow under it.
        p->setBrush(Palette::gridBackground());
        p->drawRoundedRect(card, 14, 14);
        p->setBrush(Palette::withAlpha(Palette::controlAccent(), 0.08));
        p->drawRoundedRect(card, 14, 14);
        p->setPen(QPen(Palette::controlAccent(), 3));
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(card.adjusted(1.5, 1.5, -1.5, -1.5), 12.5, 12.5);
    } else {
        p->setBrush(Qt::white);
        p->drawRoundedRect(card, 14, 14);
    }

    // Picture on its tile.
    p->setPen(Qt::NoPen);
    p->setBrush(QColor::fromRgbF(0.95f, 0.95f, 0.95f));
    p->drawRoundedRect(PhotoCard::tile(), 10, 10);
    drawPicture(p, index.data(Qt::DecorationRole).value<QImage>(), PhotoCard::picture(), dpr);

    // Checkbox on its white plate.
    const QRect box = PhotoCard::checkBox();
    p->setBrush(QColor(0, 0, 0, int(255 * 0.15 / 2)));
    p->drawRoundedRect(QRectF(box).translated(0, 1).adjusted(-1, -1, 1, 1), 7, 7);
    p->setBrush(Palette::withAlpha(Qt::white, 0.95));
    p->drawRoundedRect(box, 6, 6);
    QStyleOptionButton check;
    check.state = QStyle::State_Enabled | (selected ? QStyle::State_On : QStyle::State_Off);
    const QSize indicator(16, 16);
    check.rect = QRect(box.center() - QPoint(indicator.width() / 2 - 1, indicator.height() / 2 - 1), indicator);
    check.palette = option.palette;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, p, widget);

    // An exact copy keeps its badge; the similar one goes under it.
    const QFont badgeFont = systemFont(8, QFont::Bold);
    if (duplicate)
        drawTag(p, PhotoCard::badge(), Palette::systemOrange(), 6, u"DUPLICATE"_s, badgeFont);
    if (const QString similar = index.data(PhotoGridModel::SimilarRole).toString(); !similar.isEmpty())
        drawTag(p, PhotoCard::similarBadge(duplicate), similarBadgeColor(similar), 6, similar, badgeFont);
    drawTag(p, PhotoCard::typeTag(), index.data(PhotoGridModel::TagColorRole).value<QColor>(), 4,
            index.data(PhotoGridModel::FileTypeRole).toString(), systemFont(9, QFont::DemiBold));

    // Name, shortened in the middle so that its start and extension stay visible, and size;
    // where the view shows folders, the folder between them, shortened the same way.
    const QString folder = index.data(PhotoGridModel::FolderRole).toString();
    const QFont nameFont = systemFont(12, QFont::DemiBold);
    p->setFont(nameFont);
    p->setPen(Palette::labelText());
    const QRect nameRect = folder.isEmpty() ? PhotoCard::name() : PhotoCard::nameAbove();
    p->drawText(nameRect, Qt::AlignLeft | Qt::AlignTop,
                QFontMetrics(nameFont).elidedText(index.data().toString(), Qt::ElideMiddle, nameRect.width()));
    if (!folder.isEmpty()) {
        const QFont folderFont = systemFont(10, QFont::Normal);
        p->setFont(folderFont);
        p->setPen(Palette::secondaryLabel());
        const QRect folderRect = PhotoCard::folder();
        p->drawText(folderRect, Qt::AlignLeft | Qt::AlignTop,
                    QFontMetrics(folderFont).elidedText(folder, Qt::ElideMiddle, folderRect.width()));
    }
    p->setFont(systemFont(folder.isEmpty() ? 11 : 10, QFont::Normal));
    p->setPen(Palette::tertiaryLabel());
    p->drawText(folder.isEmpty() ? PhotoCard::sizeText() : PhotoCard::sizeBelow(), Qt::AlignLeft | Qt::AlignTop,
                index.data(PhotoGridModel::SizeTextRole).toString());

    // Keyboard focus, for those who move through the grid with the arrow keys.
    if (option.state & QStyle::State_HasFocus) {
        p->setPen(QPen(Palette::withAlpha(Palette::controlAccent(), 0.5), 2));
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(card.adjusted(-3, -3, 3, 3), 16, 16);
    }
    p->restore();
}

bool PhotoCardDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    const auto toggle = [&] {
        const bool on = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
        return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const QPoint inCard = mouse->position().toPoint() - option.rect.topLeft();
        const bool onBox = PhotoCard::checkBox().contains(inCard);
        // A click is a press and a release on the same card's box. The view hands over no
        // release after a double click, so a double click on the box is itself the second
        // click; a release that still came would find no press.
        const QPersistentModelIndex pressed = std::exchange(m_pressedBox, {});
        if (event->type() == QEvent::MouseButtonPress) {
            if (onBox)
                m_pressedBox = index;
            return onBox;
        }
        if (event->type() == QEvent::MouseButtonDblClick)
            return onBox && toggle();
        // A press aimed at the box is never a click on the card, even released beside it.
        if (!pressed.isValid() || pressed != index)
            return false;
        if (onBox)
            toggle();
        return true;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        return (key == Qt::Key_Space || key == Qt::Key_Select) && toggle();
    }
    default:
        return false;
    }
}
