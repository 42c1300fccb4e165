#pragma once

#include <QPixmap>
#include <QWidget>

// The preview's picture: scaled by one factor, up or down, to fit the whole view, and
// centred. Screen readers see a graphic named after the photo.
class PreviewImageView : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewImageView(QWidget *parent = nullptr);

    const QPixmap &pixmap() const { return m_pixmap; }
    void setPixmap(const QPixmap &pixmap);

    // Where the picture is drawn, in the view's coordinates; empty without one.
    QRectF pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_pixmap;
};
