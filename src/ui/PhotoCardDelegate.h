#pragma once

#include <QAbstractItemDelegate>
#include <QPersistentModelIndex>
#include <QColor>
#include <QRect>

// Where the parts of a 180 x 230 card lie, in the card's own top-left coordinates.
namespace PhotoCard {
inline constexpr QSize size{180, 230};
QRect tile();       // the light square behind the picture
QRect picture();    // the picture's frame inside the tile, in card coordinates
QRect checkBox();
QRect badge();      // "DUPLICATE"
QRect similarBadge(bool belowDuplicate); // "BEST" or "SIMILAR": under "DUPLICATE" when both show
QRect typeTag();
QRect name();
QRect sizeText();
// In views of groups: the name a little higher, the folder under it, the size at the foot.
QRect nameAbove();
QRect folder();
QRect sizeBelow();
} // namespace PhotoCard

// The colour of a similar-photo badge: "BEST" or "SIMILAR".
QColor similarBadgeColor(const QString &badge);

// Paints a photo card from the grid model's roles (thumbnail or placeholder, checkbox,
// badges, type tag, name, folder and size; the selected look when checked), and turns
// a click on the checkbox, or Space on the current card, into a change of its check state.
class PhotoCardDelegate : public QAbstractItemDelegate
{
    Q_OBJECT

public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    // The card whose checkbox the last press landed on: a release on that same box toggles.
    QPersistentModelIndex m_pressedBox;
};
