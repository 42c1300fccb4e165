// Builds the main view: header, the three cards, progress row, grid and bottom bar.
#include "ui/MainViewController.h"

#include "model/Enums.h"
#include "ui/ColoredButtonView.h"
#include "ui/Decorations.h"
#include "ui/Geometry.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/PhotoCardDelegate.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"
#include "ui/RootLayout.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    // Single-line labels sit at the top of their frames, so neighbours placed close
    // below them stay clear of the text.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    return label;
}

QString rgba(const QColor &c, double alpha)
{
    return u"rgba(%1, %2, %3, %4)"_s.arg(c.red()).arg(c.green()).arg(c.blue()).arg(alpha);
}

// A push button filled with `color`: white title, rounded corners, dimmed when disabled.
QString colorButtonStyle(const QColor &color, int radius)
{
    return uR"(QPushButton { background-color: %1; color: white; border: none; border-radius: %3px; padding: 0 6px; }
QPushButton:hover { background-color: %4; }
QPushButton:pressed { background-color: %2; }
QPushButton:disabled { background-color: %5; color: rgba(255, 255, 255, 0.75); }
QPushButton:focus { border: 2px solid rgba(255, 255, 255, 0.85); })"_s
        .arg(rgba(color, 1.0), rgba(color.darker(120), 1.0), QString::number(radius),
             rgba(color.lighter(108), 1.0), rgba(color, 0.45));
}

// The header's dark-appearance buttons: light text on a translucent fill.
QString darkButtonStyle()
{
    return uR"(QPushButton { background-color: rgba(255, 255, 255, 0.18); color: white; border: 1px solid rgba(255, 255, 255, 0.25); border-radius: 6px; margin: 3px 0; }
QPushButton:hover { background-color: rgba(255, 255, 255, 0.28); }
QPushButton:pressed { background-color: rgba(255, 255, 255, 0.38); }
QPushButton:focus { border: 2px solid rgba(255, 255, 255, 0.85); })"_s;
}

QFrame *makeSeparator(QWidget *card, QRect frame)
{
    auto *line = new QFrame(card);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette p = line->palette();
    p.setColor(QPalette::WindowText, Palette::separator());
    line->setPalette(p);
    line->setGeometry(frame);
    return line;
}

} // namespace

QWidget *MainViewController::createCard(int x, int y, int width, int height, const QString &title)
{
    auto *card = new PanelView(Palette::controlBackground(), 12, Palette::separator(), this);
    card->resize(width, height);
    m_layout->place(card, x, y, width, height);
    if (!title.isEmpty()) {
        QLabel *label = makeLabel(title, systemFont(11, QFont::DemiBold), Palette::tertiaryLabel(), card);
        label->setGeometry(fromBottomLeft(15, height - 22, width - 30, 16, height));
        card->setAccessibleName(title);
    }
    return card;
}

QPushButton *MainViewController::createColorButton(QWidget *card, QRect frame, const QString &title,
                                                   const QColor &color)
{
    auto *button = new QPushButton(title, card);
    button->setGeometry(fromBottomLeft(frame, card->height()));
    button->setStyleSheet(colorButtonStyle(color, 8));
    button->setFont(systemFont(13));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton *MainViewController::createSmallButton(QWidget *card, QRect frame, const QString &title)
{
    auto *button = new QPushButton(title, card);
    button->setGeometry(fromBottomLeft(frame, card->height()));
    button->setFont(systemFont(11));
    return button;
}

QPushButton *MainViewController::createViewModeButton(QWidget *card, QRect frame, const QString &title,
                                                      const QString &icon, int tag)
{
    auto *button = new QPushButton(u"  "_s + title, card);
    button->setGeometry(fromBottomLeft(frame, card->height()));
    button->setFont(systemFont(13, QFont::Medium));
    button->setCheckable(true);
    button->setProperty("tag", tag);
    button->setAccessibleName(title);
    QIcon on = symbolIcon(icon, Palette::controlAccent());
    QIcon off = symbolIcon(icon, Palette::labelText());
    QIcon both;
    for (const QSize size : on.availableSizes()) {
        both.addPixmap(on.pixmap(size), QIcon::Normal, QIcon::On);
        both.addPixmap(off.pixmap(size), QIcon::Normal, QIcon::Off);
    }
    button->setIcon(both);
    // The "on" button is tinted with the accent colour. Through its own palette, not a style
    // sheet: a styled widget no longer inherits the window's colours but the desktop's.
    const auto tint = [button](bool lit) {
        QPalette p = button->palette();
        p.setColor(QPalette::ButtonText, lit ? Palette::controlAccent() : Palette::labelText());
        button->setPalette(p);
    };
    connect(button, &QPushButton::toggled, this, tint);
    button->setChecked(tag == 0);
    tint(tag == 0);
    // Screen readers toggle a checkable button instead of clicking it, so the toggle is what
    // switches the view. Pressing the lit button again turns it off for a moment: it is lit
    // again and the view re-applied, as a click on it always did.
    connect(button, &QPushButton::toggled, this, [this, button, tag](bool checked) {
        if (checked)
            viewModeButtonClicked(tag);
        else if (std::none_of(viewModeButtons.cbegin(), viewModeButtons.cend(),
                              [](const QPushButton *b) { return b->isChecked(); }))
            button->setChecked(true);
    });
    viewModeButtons << button;
    return button;
}

void MainViewController::setupUI()
{
    m_state.thumbnailSize = 180;
    m_layout = new RootLayout(designSize, this);

    // Header.
    auto *band = new GradientView(Palette::headerGradientStart(), Palette::headerGradientEnd(), this);
    m_layout->place(band, 0, 760, 1200, 90, RootLayout::growWidth);

    titleLabel = makeLabel(u"Lumisort"_s, systemFont(32, QFont::Bold), Qt::white, this);
    m_layout->place(titleLabel, 25, 795, 250, 40);
    QLabel *subtitle = makeLabel(u"Find, organize & clean up your photos"_s,
                                 systemFont(14, QFont::Medium), Palette::withAlpha(Qt::white, 0.9), this);
    m_layout->place(subtitle, 25, 770, 350, 22);

    loadingSpinner = new SpinnerView(this);
    m_layout->place(loadingSpinner, 280, 802, 24, 24);

    statusLabel = makeLabel(u"Ready to scan"_s, systemFont(13, QFont::Medium), Qt::white, this);
    statusLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_layout->place(statusLabel, 700, 790, 475, 22);

    masterStopButton = new QPushButton(u"STOP ALL"_s, this);
    masterStopButton->setStyleSheet(colorButtonStyle(Palette::systemRed(), 6));
    masterStopButton->setFont(systemFont(13));
    m_layout->place(masterStopButton, 1000, 770, 110, 28);
    masterStopButton->hide();
    connect(masterStopButton, &QPushButton::clicked, this, &MainViewController::masterStopClicked);

    helpButton = new QPushButton(u"? Help"_s, this);
    helpButton->setStyleSheet(darkButtonStyle());
    helpButton->setFont(systemFont(13));
    helpButton->setAccessibleName(u"Help"_s);
    m_layout->place(helpButton, 1120, 770, 60, 28);
    connect(helpButton, &QPushButton::clicked, this, &MainViewController::helpClicked);

    // Step 1: what to scan.
    QWidget *scanCard = createCard(15, 665, 720, 85, u"Step 1: Choose What to Scan"_s);
    folderButton = createColorButton(scanCard, {20, 12, 145, 38}, u"Select Folder"_s, Palette::systemBlue());
    fullScanButton = createColorButton(scanCard, {175, 12, 145, 38}, u"Full Disk Scan"_s, Palette::systemIndigo());
    scanButton = createColorButton(scanCard, {330, 12, 110, 38}, u"Start Scan"_s, Palette::systemGreen());
    pauseButton = createColorButton(scanCard, {450, 12, 90, 38}, u"Pause"_s, Palette::systemOrange());
    stopButton = createColorButton(scanCard, {550, 12, 90, 38}, u"Stop"_s, Palette::systemRed());
    scanButton->setEnabled(false);
    pauseButton->setEnabled(false);
    stopButton->setEnabled(false);
    connect(folderButton, &QPushButton::clicked, this, &MainViewController::selectFolderClicked);
    connect(fullScanButton, &QPushButton::clicked, this, &MainViewController::fullScanClicked);
    connect(scanButton, &QPushButton::clicked, this, &MainViewController::scanClicked);
    connect(pauseButton, &QPushButton::clicked, this, &MainViewController::pauseClicked);
    connect(stopButton, &QPushButton::clicked, this, &MainViewController::stopClicked);

    // Save location.
    QWidget *saveCard = createCard(745, 665, 440, 85, u"Save Location"_s);
    destinationButton = createColorButton(saveCard, {20, 12, 150, 38}, u"Set Destination"_s,
                                          Palette::systemTeal());
    connect(destinationButton, &QPushButton::clicked, this, &MainViewController::setDestinationClicked);
    destinationLabel = new MiddleElidedLabel(displayPath(m_state.destinationPath), saveCard);
    destinationLabel->setFont(systemFont(10));
    QPalette secondary = destinationLabel->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryLabel());
    destinationLabel->setPalette(secondary);
    destinationLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    destinationLabel->setGeometry(fromBottomLeft(180, 18, 245, 24, saveCard->height()));

    // Browse: view mode, type, search and the selection commands.
    QWidget *browseCard = createCard(15, 590, 1170, 65, QString());
    browseCard->setAccessibleName(u"Browse"_s);
    const int ch = browseCard->height();
    // Three view buttons where two were: they and the type picker give up the width, so the
    // search field and the selection commands keep their places.
    createViewModeButton(browseCard, {15, 12, 115, 40}, u"All Photos"_s, u"photo.on.rectangle"_s, 0);
    createViewModeButton(browseCard, {135, 12, 115, 40}, u"Duplicates"_s, u"doc.on.doc"_s, 1);
    createViewModeButton(browseCard, {255, 12, 100, 40}, u"Similar"_s, u"photo.on.photo"_s, 2);
    viewModeSegment = new QTabBar(browseCard);
    viewModeSegment->addTab(u"All"_s);
    viewModeSegment->addTab(u"Dups"_s);
    viewModeSegment->addTab(u"Similar"_s);
    viewModeSegment->setCurrentIndex(0);
    viewModeSegment->setGeometry(fromBottomLeft(-100, -100, 1, 1, ch));
    viewModeSegment->hide();
    makeSeparator(browseCard, fromBottomLeft(365, 10, 1, 44, ch));
    QLabel *typeLabel = makeLabel(u"Type:"_s, systemFont(12, QFont::DemiBold), Palette::secondaryLabel(), browseCard);
    typeLabel->setGeometry(fromBottomLeft(375, 24, 40, 18, ch));
    filterPicker = new QComboBox(browseCard);
    for (const FileTypeFilter filter : FileTypeFilters::allCases)
        filterPicker->addItem(FileTypeFilters::rawValue(filter));
    filterPicker->setCurrentIndex(0);
    filterPicker->setGeometry(fromBottomLeft(413, 18, 102, 28, ch));
    filterPicker->setAccessibleName(u"Type"_s);
    typeLabel->setBuddy(filterPicker);
    connect(filterPicker, &QComboBox::currentIndexChanged, this, &MainViewController::filterChanged);
    makeSeparator(browseCard, fromBottomLeft(525, 10, 1, 44, ch));
    searchField = new QLineEdit(browseCard);
    searchField->setPlaceholderText(u"Search photos..."_s);
    searchField->setClearButtonEnabled(true);
    searchField->setAccessibleName(u"Search photos"_s);
    searchField->setGeometry(fromBottomLeft(545, 17, 220, 30, ch));
    connect(searchField, &QLineEdit::textChanged, this, &MainViewController::searchChanged);
    makeSeparator(browseCard, fromBottomLeft(780, 10, 1, 44, ch));
    selectAllButton = createSmallButton(browseCard, {800, 17, 85, 30}, u"Select All"_s);
    deselectAllButton = createSmallButton(browseCard, {895, 17, 95, 30}, u"Deselect All"_s);
    keepOriginalsButton = createSmallButton(browseCard, {1000, 17, 150, 30}, u"Keep Originals Only"_s);
    selectAllButton->setEnabled(false);
    deselectAllButton->setEnabled(false);
    keepOriginalsButton->setEnabled(false);
    connect(selectAllButton, &QPushButton::clicked, this, &MainViewController::selectAllClicked);
    connect(deselectAllButton, &QPushButton::clicked, this, &MainViewController::deselectAllClicked);
    connect(keepOriginalsButton, &QPushButton::clicked, this, &MainViewController::keepOriginalsClicked);

    // Progress row.
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setAccessibleName(u"Progress"_s);
    progressBar->setStyleSheet(
        u"QProgressBar { background: rgba(0, 0, 0, 0.08); border: none; border-radius: 3px; }"
        "QProgressBar::chunk { background: %1; border-radius: 3px; }"_s.arg(Palette::controlAccent().name()));
    m_layout->place(progressBar, 20, 565, 1160, 6);
    progressLabel = makeLabel(u"Select a folder to scan or use Full Disk Scan to find all photos"_s,
                              systemFont(11), Palette::tertiaryLabel(), this);
    m_layout->place(progressLabel, 20, 545, 1160, 16);

    // The grid, the only part that grows with the window.
    scrollView = new PanelView(Palette::gridBackground(), 12, Palette::separator(), this);
    m_layout->place(scrollView, 15, 95, 1170, 445, RootLayout::growWidth | RootLayout::growHeight);
    auto *scrollLayout = new QVBoxLayout(scrollView);
    scrollLayout->setContentsMargins(1, 6, 1, 6); // keep the cards clear of the rounded border
    collectionView = new PhotoGridView(scrollView);
    collectionView->setItemSize(QSize(int(m_state.thumbnailSize), int(m_state.thumbnailSize) + 50));
    m_gridModel = new PhotoGridModel(this);
    m_gridModel->onSelectionChanged = [this](const PhotoItem &photo, bool selected) {
        photoSelectionChanged(photo, selected);
    };
    collectionView->setItemDelegate(new PhotoCardDelegate(collectionView));
    collectionView->setModel(m_gridModel);
    // A click on a card (its checkbox aside) or Enter on the current one opens the preview.
    const auto open = [this](const QModelIndex &index) { openPreview(index.row()); };
    connect(collectionView, &PhotoGridView::cardClicked, this, open);
    connect(collectionView, &QAbstractItemView::activated, this, open);
    scrollLayout->addWidget(collectionView);

    // Bottom bar.
    auto *bar = new PanelView(Palette::bottomBar(), 0, QColor(), this);
    m_layout->place(bar, 0, 0, 1200, 90, RootLayout::stickToBottom | RootLayout::growWidth);
    const int bh = 90;
    statsLabel = makeLabel(u"No photos loaded - select a folder to begin"_s, systemFont(13, QFont::Medium),
                           Qt::white, bar);
    statsLabel->setGeometry(fromBottomLeft(20, 35, 300, 20, bh));
    showingLabel = makeLabel(u"Showing 0 of 0"_s, systemFont(11), Palette::withAlpha(Qt::white, 0.7), bar);
    showingLabel->setGeometry(fromBottomLeft(20, 15, 200, 16, bh));
    loadMoreButton = new QPushButton(u"Load More"_s, bar);
    loadMoreButton->setGeometry(fromBottomLeft(330, 30, 130, 32, bh));
    loadMoreButton->setEnabled(false);
    connect(loadMoreButton, &QPushButton::clicked, this, &MainViewController::loadMoreClicked);

    const auto makeAction = [&](int x, const QColor &color, const QString &title) {
        auto *button = new ColoredButtonView(bar);
        button->setGeometry(fromBottomLeft(x, 20, 130, 50, bh));
        button->setColor(color);
        button->setTitle(title);
        button->setEnabled(false);
        return button;
    };
    copyButton = makeAction(730, Palette::systemBlue(), u"Copy To..."_s);
    moveButton = makeAction(870, Palette::systemPurple(), u"Move To..."_s);
    deleteButton = makeAction(1010, Palette::systemRed(), u"Delete"_s);
    connect(copyButton, &QAbstractButton::clicked, this, &MainViewController::copyClicked);
    connect(moveButton, &QAbstractButton::clicked, this, &MainViewController::moveClicked);
    connect(deleteButton, &QAbstractButton::clicked, this, &MainViewController::deleteClicked);

    Palette::useFixedLook(this);
}
