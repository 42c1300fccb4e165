#include "ui/PhotoGridAccessible.h"

#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QScrollBar>

using namespace Qt::StringLiterals;

PhotoGridAccessible::PhotoGridAccessible(PhotoGridView *view) : QAccessibleWidget(view, QAccessible::List)
{
}

PhotoGridView *PhotoGridAccessible::view() const
{
    return static_cast<PhotoGridView *>(widget());
}

void PhotoGridAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &key, QObject *object) -> QAccessibleInterface * {
            if (key == "PhotoGridView"_L1 && object && object->isWidgetType())
                return new PhotoGridAccessible(static_cast<PhotoGridView *>(object));
            return nullptr;
        });
        return true;
    }();
    Q_UNUSED(installed);
}

int PhotoGridAccessible::childCount() const
{
    return view()->model() ? view()->model()->rowCount() : 0;
}

QAccessibleInterface *PhotoGridAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return view()->accessibleCard(index);
}

int PhotoGridAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *card = dynamic_cast<const PhotoCardAccessible *>(child);
    return card && card->view() == view() && card->row() < childCount() ? card->row() : -1;
}

QAccessibleInterface *PhotoGridAccessible::childAt(int x, int y) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = view()->indexAt(local);
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface *PhotoGridAccessible::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}

// MARK: Cards

bool PhotoCardAccessible::isValid() const
{
    return m_view && m_view->model() && m_row < m_view->model()->rowCount();
}

QWindow *PhotoCardAccessible::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface *PhotoCardAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString PhotoCardAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    const QModelIndex index = m_view->model()->index(m_row, 0);
    switch (t) {
    case QAccessible::Name:
        return index.data().toString();
    case QAccessible::Description: {
        QStringList parts{index.data(PhotoGridModel::FileTypeRole).toString(),
                          index.data(PhotoGridModel::SizeTextRole).toString()};
        if (index.data(PhotoGridModel::DuplicateRole).toBool())
            parts << u"DUPLICATE"_s;
        if (const QString similar = index.data(PhotoGridModel::SimilarRole).toString(); !similar.isEmpty())
            parts << similar;
        if (const QString folder = index.data(PhotoGridModel::FolderRole).toString(); !folder.isEmpty())
            parts << folder;
        return parts.join(u", "_s);
    }
    case QAccessible::Help:
        return index.data(Qt::ToolTipRole).toString();
    default:
        return {};
    }
}

QRect PhotoCardAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect local = m_view->visualRect(m_view->model()->index(m_row, 0));
    return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State PhotoCardAccessible::state() const
{
    QAccessible::State s;
    if (!isValid()) {
        s.invalid = true;
        return s;
    }
    const QModelIndex index = m_view->model()->index(m_row, 0);
    s.checkable = true;
    s.checked = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    s.focusable = true;
    s.focused = m_view->hasFocus() && m_view->currentIndex() == index;
    const QRect visible = m_view->viewport()->rect();
    if (!visible.intersects(m_view->visualRect(index))) {
        s.invisible = true;
        s.offscreen = true;
    }
    return s;
}

void *PhotoCardAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
}

QStringList PhotoCardAccessible::actionNames() const
{
    // Toggle first: it is what a screen reader's default action does to a checkable item.
    return {toggleAction(), pressAction()};
}

void PhotoCardAccessible::doAction(const QString &actionName)
{
    if (!isValid())
        return;
    QAbstractItemModel *model = m_view->model();
    const QModelIndex index = model->index(m_row, 0);
    if (actionName == pressAction()) {
        emit m_view->activated(index); // opens the preview, as a click on the card does
        return;
    }
    if (actionName != toggleAction())
        return;
    const bool on = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
    model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}
