#pragma once

#include "ui/FlowGeometry.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QHash>

// The thumbnail grid: a model/view grid that lays its cards out with FlowGeometry and
// paints only the visible ones through its item delegate, so a long list costs no more
// than a screenful.
class PhotoGridView : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit PhotoGridView(QWidget *parent = nullptr);
    ~PhotoGridView() override;

    const FlowGeometry &geometry() const { return m_geometry; }
    void setItemSize(QSize size);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void reset() override;

    // The accessible interface of the card in `row`, made on first use.
    QAccessibleInterface *accessibleCard(int row) const;
    // The rows of the cards on screen, [first, end).
    std::pair<int, int> visibleRows() const;

Q_SIGNALS:
    // A click on a card that its delegate did not take for itself (as it takes a click on
    // the checkbox).
    void cardClicked(const QModelIndex &index);
    // The user asked for the menu of the card in `row`: a right click on it, or the Menu
    // key or Shift+F10 on the current card. `globalPos` is where the menu goes.
    void contextMenuRequested(int row, const QPoint &globalPos);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = {}) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    int itemCount() const;
    int contentWidth() const;

    void forgetAccessibleCards();
    void requestMenuForCurrentCard();

    FlowGeometry m_geometry;
    bool m_releaseTaken = false; // by the delegate, during the release being handled
    mutable QHash<int, QAccessible::Id> m_accessibleCards;
};
