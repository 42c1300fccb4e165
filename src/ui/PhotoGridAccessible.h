#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

class PhotoGridView;

// The grid as screen readers see it: a list whose items are the cards, each named after
// its file, described by type, size and duplicate mark, checkable, with a toggle action
// that selects or deselects the photo as its checkbox does. Card interfaces are made on
// demand, so a long page costs nothing until something asks.
class PhotoGridAccessible : public QAccessibleWidget
{
public:
    explicit PhotoGridAccessible(PhotoGridView *view);

    QAccessibleInterface *childAt(int x, int y) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *focusChild() const override;

    // Installs the factory that gives every PhotoGridView this interface.
    static void install();

private:
    PhotoGridView *view() const;
};

class PhotoCardAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    PhotoCardAccessible(PhotoGridView *view, int row) : m_view(view), m_row(row) {}

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    PhotoGridView *view() const { return m_view; }
    int row() const { return m_row; }

private:
    QPointer<PhotoGridView> m_view;
    int m_row;
};
