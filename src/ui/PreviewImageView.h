#pragma once

#include <QPixmap>
#include <QWidget>

// The preview's picture: scaled by one factor, up or down, to fit the whole view, and
// centred; or, without one, a quiet line of text. Screen readers see a graphic named after
// the photo.
class PreviewImageView : public QWidget
{
    Q_OBJECT

public:
    explicit PreviewImageView(QWidget *parent = nullptr);

    const QPixmap &pixmap() const { return m_pixmap; }
    void setPixmap(const QPixmap &pixmap);
    // Shown instead of a picture, which it replaces.
    const QString &text() const { return m_text; }
    void setText(const QString &text);

    // Where the picture is drawn, in the view's coordinates; empty without one.
    QRectF pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_pixmap;
    QString m_text;
};
