#include "ui/PhotoGridView.h"

#include "ui/PhotoGridAccessible.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

PhotoGridView::PhotoGridView(QWidget *parent) : QAbstractItemView(parent)
{
    // The factory must be in place before anything asks for this widget's interface; one
    // made and cached while the base class was being built (a plain item view) is dropped.
    PhotoGridAccessible::install();
    if (QAccessible::isActive()) {
        QAccessibleInterface *early = QAccessible::queryAccessibleInterface(this);
        if (early && !dynamic_cast<PhotoGridAccessible *>(early))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(early));
    }
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setAccessibleName(QStringLiteral("Photos"));
    // The base class reports a click even when the delegate took it (a checkbox toggled).
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!m_releaseTaken)
            emit cardClicked(index);
    });
}

void PhotoGridView::mouseReleaseEvent(QMouseEvent *event)
{
    m_releaseTaken = false;
    QAbstractItemView::mouseReleaseEvent(event);
    m_releaseTaken = false;
}

bool PhotoGridView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    const bool taken = QAbstractItemView::edit(index, trigger, event);
    if (taken && event && event->type() == QEvent::MouseButtonRelease)
        m_releaseTaken = true;
    return taken;
}

std::pair<int, int> PhotoGridView::visibleRows() const
{
    return m_geometry.indexesIn(viewport()->rect().translated(0, verticalOffset()), itemCount(), contentWidth());
}

PhotoGridView::~PhotoGridView()
{
    forgetAccessibleCards();
}

QAccessibleInterface *PhotoGridView::accessibleCard(int row) const
{
    auto it = m_accessibleCards.constFind(row);
    if (it == m_accessibleCards.cend()) {
        auto *card = new PhotoCardAccessible(const_cast<PhotoGridView *>(this), row);
        it = m_accessibleCards.insert(row, QAccessible::registerAccessibleInterface(card));
    }
    return QAccessible::accessibleInterface(*it);
}

void PhotoGridView::forgetAccessibleCards()
{
    for (const QAccessible::Id id : std::as_const(m_accessibleCards))
        QAccessible::deleteAccessibleInterface(id);
    m_accessibleCards.clear();
}

void PhotoGridView::reset()
{
    // Every card may now show another photo.
    forgetAccessibleCards();
    QAbstractItemView::reset();
}

void PhotoGridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    // A screen reader follows the keyboard from card to card.
    if (current.isValid() && hasFocus() && QAccessible::isActive()) {
        QAccessibleEvent event(accessibleCard(current.row()), QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void PhotoGridView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    if (!QAccessible::isActive() || !roles.contains(Qt::CheckStateRole))
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        if (!m_accessibleCards.contains(row))
            continue;
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(accessibleCard(row), changed);
        QAccessible::updateAccessibility(&event);
    }
}

void PhotoGridView::setItemSize(QSize size)
{
    m_geometry.itemSize = size;
    updateGeometries();
    viewport()->update();
}

int PhotoGridView::itemCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int PhotoGridView::contentWidth() const
{
    return viewport()->width();
}

QRect PhotoGridView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    return m_geometry.itemRect(index.row(), contentWidth()).translated(0, -verticalOffset());
}

void PhotoGridView::scrollTo(const QModelIndex &index, ScrollHint)
{
    const QRect r = visualRect(index);
    if (r.top() < 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + r.top() - m_geometry.inset);
    else if (r.bottom() > viewport()->height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + r.bottom() - viewport()->height()
                                      + m_geometry.inset);
}

QModelIndex PhotoGridView::indexAt(const QPoint &point) const
{
    if (!model())
        return {};
    const int row = m_geometry.indexAt(point + QPoint(0, verticalOffset()), itemCount(), contentWidth());
    return row < 0 ? QModelIndex() : model()->index(row, 0, rootIndex());
}

QModelIndex PhotoGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int count = itemCount();
    if (count == 0)
        return {};
    const int columns = m_geometry.columns(contentWidth());
    int row = currentIndex().isValid() ? currentIndex().row() : 0;
    switch (action) {
    case MoveLeft:
    case MovePrevious:
        row -= 1;
        break;
    case MoveRight:
    case MoveNext:
        row += 1;
        break;
    case MoveUp:
        row -= columns;
        break;
    case MoveDown:
        row += columns;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    case MovePageUp:
    case MovePageDown: {
        const int rowsPerPage = std::max(1, viewport()->height() / (m_geometry.itemSize.height()
                                                                     + m_geometry.lineSpacing));
        row += (action == MovePageUp ? -1 : 1) * rowsPerPage * columns;
        break;
    }
    }
    return model()->index(std::clamp(row, 0, count - 1), 0, rootIndex());
}

int PhotoGridView::horizontalOffset() const
{
    return 0;
}

int PhotoGridView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool PhotoGridView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

void PhotoGridView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!model())
        return;
    QItemSelection selection;
    const QRect normal = rect.normalized();
    const auto [first, end] = m_geometry.indexesIn(normal.translated(0, verticalOffset()), itemCount(), contentWidth());
    for (int row = first; row < end; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        if (visualRect(index).intersects(normal))
            selection.select(index, index);
    }
    selectionModel()->select(selection, command);
}

QRegion PhotoGridView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    for (const QModelIndex &index : selection.indexes())
        region += visualRect(index);
    return region;
}

void PhotoGridView::updateGeometries()
{
    const int content = m_geometry.contentHeight(itemCount(), contentWidth());
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(m_geometry.itemSize.height() / 4);
    QAbstractItemView::updateGeometries();
}

void PhotoGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
}

void PhotoGridView::paintEvent(QPaintEvent *event)
{
    const int count = itemCount();
    if (count == 0)
        return;
    QPainter painter(viewport());
    // Only the rows that meet the dirty area are visited.
    const auto [first, end] = m_geometry.indexesIn(event->rect().translated(0, verticalOffset()), count, contentWidth());
    for (int row = first; row < end; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index);
        if (selectionModel() && selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == currentIndex() && hasFocus())
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void PhotoGridView::contextMenuEvent(QContextMenuEvent *event)
{
    // X11 also turns the Menu key into a context-menu event; the menu it opened first
    // then has the keyboard.
    if (QApplication::activePopupWidget())
        return;
    if (event->reason() != QContextMenuEvent::Mouse) {
        requestMenuForCurrentCard();
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    emit contextMenuRequested(index.row(), event->globalPos());
}

void PhotoGridView::keyPressEvent(QKeyEvent *event)
{
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        if (!QApplication::activePopupWidget())
            requestMenuForCurrentCard();
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

void PhotoGridView::requestMenuForCurrentCard()
{
    if (itemCount() == 0)
        return;
    QModelIndex index = currentIndex();
    if (!index.isValid()) {
        index = model()->index(0, 0, rootIndex());
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    scrollTo(index);
    const QRect card = visualRect(index);
    emit contextMenuRequested(index.row(), viewport()->mapToGlobal(card.center()));
}
