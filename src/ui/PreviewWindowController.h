#pragma once

#include "model/PhotoItem.h"
#include "ui/PreviewImageLoader.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

class PreviewImageView;
class QLabel;
class QPushButton;

// A window that shows one photo large, with a caption, "◀ Previous" / "Next ▶" and the
// arrow keys and Escape while it is the active window. Steps through a copy of the list it
// was given; never changes the library. Decoding runs off the GUI thread and only the
// newest request is shown; until then, and for a photo that cannot be read, the window
// shows no picture rather than another photo's.
class PreviewWindowController : public QWidget
{
    Q_OBJECT

public:
    PreviewWindowController(const PhotoItem &photo, QList<PhotoItem> allPhotos, int currentIndex,
                            QWidget *parent = nullptr);
    ~PreviewWindowController() override;

    // Shows `photo` of a new list in this same window, as a new preview would.
    void reopen(const PhotoItem &photo, QList<PhotoItem> allPhotos, int currentIndex);
    void loadPhoto(const PhotoItem &photo);
    void previousPhoto();
    void nextPhoto();

    int currentIndex() const { return m_currentIndex; }
    const PhotoItem &currentPhoto() const { return m_currentPhoto; }
    const QList<PhotoItem> &allPhotos() const { return m_allPhotos; }
    PreviewImageLoader &loader() { return m_loader; }

    std::function<void(int index)> onNavigate;

    PreviewImageView *imageView = nullptr;
    QLabel *infoLabel = nullptr;
    QPushButton *previousButton = nullptr;
    QPushButton *nextButton = nullptr;

Q_SIGNALS:
    // The picture of `photoId` is now on screen (emitted for each picture shown).
    void imageShown(PhotoId photoId);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setupUI();
    void step(int delta);
    // Asks for the current photo's picture at the window's size in device pixels.
    void requestPicture();
    QSize pictureBox() const;
    void showPicture(PhotoId photoId, const QImage &picture);

    PhotoItem m_currentPhoto;
    QList<PhotoItem> m_allPhotos;
    int m_currentIndex = 0;
    int m_direction = 1; // of the last step: the photo after it is decoded ahead first
    QTimer m_resizeSettled;
    // Its destructor waits for the decodes in flight, so no worker outlives the window.
    PreviewImageLoader m_loader;
};
