// TEMPORARY STUB (not committed)
#include "ui/PreviewWindowController.h"
#include <QLabel>
#include <QPushButton>
PreviewWindowController::PreviewWindowController(const PhotoItem &photo, QList<PhotoItem> all, int index, QWidget *parent)
    : QWidget(parent, Qt::Window), m_currentPhoto(photo), m_allPhotos(std::move(all)), m_currentIndex(index)
{
    resize(900, 700);
    infoLabel = new QLabel(this);
    previousButton = new QPushButton(QStringLiteral("\u25C0 Previous"), this);
    nextButton = new QPushButton(QStringLiteral("Next \u25B6"), this);
    setWindowTitle(displayPath(photo.name()));
}
PreviewWindowController::~PreviewWindowController() = default;
void PreviewWindowController::loadPhoto(const PhotoItem &p) { m_currentPhoto = p; setWindowTitle(displayPath(p.name())); }
void PreviewWindowController::previousPhoto() { if (m_currentIndex > 0) loadPhoto(m_allPhotos[--m_currentIndex]); }
void PreviewWindowController::nextPhoto() { if (m_currentIndex + 1 < m_allPhotos.size()) loadPhoto(m_allPhotos[++m_currentIndex]); }
