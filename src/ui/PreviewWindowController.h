#pragma once

#include "model/PhotoItem.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// A window that shows one photo large, with a caption, "◀ Previous" / "Next ▶" and the
// arrow keys and Escape while it is the active window. Steps through a copy of the list it
// was given; never changes the library. Decoding runs off the GUI thread and only the
// newest request is shown; a photo that cannot be read leaves the previous picture up.
class PreviewWindowController : public QWidget
{
    Q_OBJECT

public:
    PreviewWindowController(const PhotoItem &photo, QList<PhotoItem> allPhotos, int currentIndex,
                            QWidget *parent = nullptr);
    ~PreviewWindowController() override;

    void loadPhoto(const PhotoItem &photo);
    void previousPhoto();
    void nextPhoto();

    int currentIndex() const { return m_currentIndex; }
    const PhotoItem &currentPhoto() const { return m_currentPhoto; }
    const QList<PhotoItem> &allPhotos() const { return m_allPhotos; }

    std::function<void(int index)> onNavigate;

    QWidget *imageView = nullptr;
    QLabel *infoLabel = nullptr;
    QPushButton *previousButton = nullptr;
    QPushButton *nextButton = nullptr;

Q_SIGNALS:
    // The picture of `photoId` is now on screen (emitted after each decode that is shown).
    void imageShown(const QString &photoId);

private:
    PhotoItem m_currentPhoto;
    QList<PhotoItem> m_allPhotos;
    int m_currentIndex = 0;
};
