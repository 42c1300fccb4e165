#include "ui/HelpWindow.h"

#include "ui/Geometry.h"
#include "ui/Palette.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>

QString helpGuideText()
{
    return QStringLiteral(
    u"LUMISORT - QUICK GUIDE\n"
    u"═══════════════════════════════════════\n"
    u"\n"
    u"SCANNING FOR PHOTOS\n"
    u"• Click \"Select Folder...\" to choose specific folders\n"
    u"• Click \"Full Disk Scan\" to scan your entire home directory\n"
    u"• Supported formats: JPEG, PNG, GIF, HEIC, TIFF, BMP, WebP\n"
    u"\n"
    u"SCAN CONTROLS\n"
    u"• Start Scan - Begin scanning selected folders\n"
    u"• Pause/Resume - Pause or resume scanning\n"
    u"• Stop - Stop scan and keep photos found so far\n"
    u"\n"
    u"VIEWING PHOTOS\n"
    u"• All Photos - Shows all discovered photos\n"
    u"• Duplicates - Shows only duplicate photos\n"
    u"• Similar - Shows copies of the same picture, best copy first\n"
    u"• Use the Type filter to show specific file types\n"
    u"• Use the search box to find photos by name\n"
    u"• Adjust thumbnail size with the slider\n"
    u"\n"
    u"SELECTING PHOTOS\n"
    u"• Click the checkbox on any photo to select it\n"
    u"• Select All - Select all visible photos\n"
    u"• Deselect All - Clear all selections\n"
    u"• Keep Only Originals - For duplicates, keeps the oldest version\n"
    u"• Keep Best Only - For similar photos, keeps the best copy\n"
    u"\n"
    u"MANAGING PHOTOS\n"
    u"• Copy To... - Copy selected photos to destination\n"
    u"• Move To... - Move selected photos to destination\n"
    u"• Delete - Move selected photos to Trash\n"
    u"\n"
    u"FINDING DUPLICATES\n"
    u"• Duplicates are detected using SHA-256 hash (exact match)\n"
    u"• Orange \"DUP\" badge indicates a duplicate\n"
    u"• Use \"Keep Only Originals\" to select all duplicates\n"
    u"• Then Delete to remove duplicates while keeping originals\n"
    u"\n"
    u"PREVIEWING PHOTOS\n"
    u"• Double-click any photo to open full preview\n"
    u"• Use arrow keys to navigate between photos\n"
    u"• Press Escape to close preview\n"
    u"\n"
    u"TIPS\n"
    u"• Set your destination folder before copying/moving\n"
    u"• The \"Keep Only Originals\" button makes duplicate cleanup easy\n"
    u"• Photos are moved to Trash (recoverable until you empty Trash)\n"
    u"\n"
    u"═══════════════════════════════════════");
}

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window | Qt::WindowTitleHint
                                                             | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Lumisort - Help"));
    setFixedSize(550, 600);
    setPalette(Palette::lightPalette());
    setAutoFillBackground(true);
    // Closing only hides the window; it must not end the application either.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);

    textView = new QPlainTextEdit(this);
    textView->setGeometry(fromBottomLeft(20, 60, 510, 520, height()));
    textView->setReadOnly(true);
    textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textView->setFrameShape(QFrame::NoFrame);
    textView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    mono.setWeight(QFont::Normal);
    textView->setFont(mono);
    textView->setPlainText(helpGuideText());
    textView->setAccessibleName(QStringLiteral("Quick guide"));

    closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setGeometry(fromBottomLeft(225, 15, 100, 32, height()));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    Palette::useFixedLook(this);
}
