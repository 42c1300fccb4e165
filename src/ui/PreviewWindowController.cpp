#include "ui/PreviewWindowController.h"

#include "platform/Formatters.h"
#include "ui/Geometry.h"
#include "ui/Palette.h"
#include "ui/PreviewImageView.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize designSize(900, 700);

QString caption(const PhotoItem &photo, int index, qsizetype count)
{
    return u"%1  |  %2  |  %3  |  %4 of %5"_s.arg(displayPath(photo.name()), formatByteCount(photo.size()),
                                                   formatMediumDateShortTime(photo.dateModified()))
        .arg(index + 1)
        .arg(count);
}

// A window title shows "[*]" only where it is doubled; a lone one marks unsaved changes.
QString literalTitle(QString title)
{
    return title.replace(u"[*]"_s, u"[*][*]"_s);
}

PreviewImageLoader::Job jobFor(const PhotoItem &photo)
{
    return {photo.id(), photo.path()};
}

} // namespace

PreviewWindowController::PreviewWindowController(const PhotoItem &photo, QList<PhotoItem> allPhotos, int currentIndex,
                                                 QWidget *parent)
    : QWidget(parent, Qt::Window), m_currentPhoto(photo), m_allPhotos(std::move(allPhotos)),
      m_currentIndex(currentIndex)
{
    setObjectName(u"previewWindow"_s);
    setAccessibleName(u"Preview"_s);
    // Closing only hides the window; it must not end the application either.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette black = Palette::lightPalette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setMinimumSize(260, 120);
    resize(designSize);
    if (const QScreen *where = screen())
        move(where->availableGeometry().center() - rect().center());

    m_loader.onDecoded = [this](PhotoId id, const QImage &picture) { showPicture(id, picture); };
    // A resize asks for a sharper picture once the user has let go, not at every step.
    m_resizeSettled.setSingleShot(true);
    m_resizeSettled.setInterval(150);
    connect(&m_resizeSettled, &QTimer::timeout, this, [this] {
        if (!m_loader.hasPicture(m_currentPhoto.id(), pictureBox()))
            requestPicture();
    });

    setupUI();
    loadPhoto(photo);
}

PreviewWindowController::~PreviewWindowController() = default;

void PreviewWindowController::reopen(const PhotoItem &photo, QList<PhotoItem> allPhotos, int currentIndex)
{
    m_allPhotos = std::move(allPhotos);
    m_currentIndex = currentIndex;
    loadPhoto(photo);
}

void PreviewWindowController::setupUI()
{
    const int w = designSize.width(), h = designSize.height();
    imageView = new PreviewImageView(this);
    imageView->setObjectName(u"previewImage"_s);
    imageView->setGeometry(rect());

    infoLabel = new QLabel(this);
    infoLabel->setObjectName(u"previewCaption"_s);
    infoLabel->setGeometry(fromBottomLeft(20, 20, w - 40, 50, h));
    infoLabel->setFont(systemFont(12));
    infoLabel->setAlignment(Qt::AlignCenter);
    infoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoLabel->setStyleSheet(u"QLabel { color: white; background-color: rgba(0, 0, 0, 70%); border-radius: 4px; }"_s);

    previousButton = new QPushButton(u"\u25C0 Previous"_s, this);
    previousButton->setGeometry(fromBottomLeft(20, h - 50, 100, 30, h));
    connect(previousButton, &QPushButton::clicked, this, &PreviewWindowController::previousPhoto);
    nextButton = new QPushButton(u"Next \u25B6"_s, this);
    nextButton->setGeometry(fromBottomLeft(w - 120, h - 50, 100, 30, h));
    connect(nextButton, &QPushButton::clicked, this, &PreviewWindowController::nextPhoto);

    // Window shortcuts act only while this window is the active one, and before the
    // focused button could take the arrows for moving the focus.
    const auto onKey = [this](Qt::Key key, auto action) {
        connect(new QShortcut(key, this), &QShortcut::activated, this, action);
    };
    onKey(Qt::Key_Left, &PreviewWindowController::previousPhoto);
    onKey(Qt::Key_Right, &PreviewWindowController::nextPhoto);
    onKey(Qt::Key_Escape, &PreviewWindowController::close);
    Palette::useFixedLook(this);
}

void PreviewWindowController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The picture fills the window, the caption stretches along its bottom and the buttons
    // keep to the top corners.
    imageView->setGeometry(rect());
    infoLabel->setGeometry(fromBottomLeft(20, 20, width() - 40, infoLabel->height(), height()));
    nextButton->move(width() - 120, nextButton->y());
    m_resizeSettled.start();
}

void PreviewWindowController::loadPhoto(const PhotoItem &photo)
{
    m_currentPhoto = photo;
    setWindowTitle(literalTitle(displayPath(photo.name())));
    setAccessibleDescription(displayPath(photo.name()));
    infoLabel->setText(caption(photo, m_currentIndex, m_allPhotos.size()));
    // Never one photo's picture under another's name; a cached picture replaces this at once.
    imageView->setText(u"Loading..."_s);
    imageView->setAccessibleName(displayPath(photo.name()));
    requestPicture();
}

void PreviewWindowController::previousPhoto()
{
    step(-1);
}

void PreviewWindowController::nextPhoto()
{
    step(1);
}

void PreviewWindowController::step(int delta)
{
    const int target = m_currentIndex + delta;
    if (target < 0 || target >= m_allPhotos.size())
        return;
    m_currentIndex = target;
    m_direction = delta;
    loadPhoto(m_allPhotos[target]);
    if (onNavigate)
        onNavigate(m_currentIndex);
}

QSize PreviewWindowController::pictureBox() const
{
    return size() * devicePixelRatioF();
}

void PreviewWindowController::requestPicture()
{
    QList<PreviewImageLoader::Job> ahead;
    const bool inList = m_currentIndex >= 0 && m_currentIndex < m_allPhotos.size()
                     && m_allPhotos[m_currentIndex] == m_currentPhoto;
    for (const int delta : {m_direction, -m_direction}) {
        const int index = m_currentIndex + delta;
        if (inList && index >= 0 && index < m_allPhotos.size())
            ahead << jobFor(m_allPhotos[index]);
    }
    m_loader.request(jobFor(m_currentPhoto), pictureBox(), ahead);
}

void PreviewWindowController::showPicture(PhotoId photoId, const QImage &picture)
{
    if (picture.isNull())
        return imageView->setText(u"This photo cannot be shown"_s);
    imageView->setPixmap(QPixmap::fromImage(picture));
    Q_EMIT imageShown(photoId);
}
