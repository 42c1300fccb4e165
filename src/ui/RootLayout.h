#pragma once

#include <QLayout>
#include <QList>
#include <QSize>

// Places the main view's children at fixed frames written for the design size, and
// follows window resizing: the top part keeps its distance from the top-left corner, the
// bottom bar from the bottom-left corner, and the frames marked to grow take up the rest.
class RootLayout : public QLayout
{
public:
    enum Resize {
        stickToTop = 0,
        stickToBottom = 1,
        growWidth = 2,
        growHeight = 4,
    };

    explicit RootLayout(QSize designSize, QWidget *parent = nullptr);
    ~RootLayout() override;

    // `frame` is bottom-left based in the design size; `resize` a combination of Resize.
    void place(QWidget *widget, int x, int y, int width, int height, int resize = stickToTop);

    // Where `frame` (bottom-left based, design size) lands in a view of size `actual`.
    static QRect frameFor(QRect frame, int resize, QSize design, QSize actual);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Entry
    {
        QLayoutItem *item;
        QRect frame; // bottom-left based, design size
        int resize;
    };
    QSize m_design;
    QList<Entry> m_entries;
};
