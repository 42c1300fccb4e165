#include "ui/Palette.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace Palette {

QColor systemBlue() { return {0, 122, 255}; }
QColor systemIndigo() { return {88, 86, 214}; }
QColor systemGreen() { return {52, 199, 89}; }
QColor systemOrange() { return {255, 149, 0}; }
QColor systemRed() { return {255, 59, 48}; }
QColor systemTeal() { return {48, 176, 199}; }
QColor systemPurple() { return {175, 82, 222}; }
QColor systemGray() { return {142, 142, 147}; }
QColor controlAccent() { return systemBlue(); }

QColor labelText() { return {0, 0, 0, 217}; }
QColor secondaryLabel() { return {0, 0, 0, 128}; }
QColor tertiaryLabel() { return {0, 0, 0, 66}; }
QColor separator() { return {0, 0, 0, 26}; }
QColor controlBackground() { return {255, 255, 255}; }
QColor windowBackground() { return {236, 236, 236}; }
QColor textBackground() { return {255, 255, 255}; }

QColor headerGradientStart() { return QColor::fromRgbF(0.4f, 0.2f, 0.8f); }
QColor headerGradientEnd() { return QColor::fromRgbF(0.2f, 0.4f, 0.9f); }
QColor bottomBar() { return QColor::fromRgbF(0.12f, 0.12f, 0.15f); }
QColor gridBackground() { return QColor::fromRgbF(0.97f, 0.97f, 0.97f); }

QPalette lightPalette()
{
    // Light, mid, dark and shadow come from the button colour.
    QPalette p(QColor(250, 250, 250), windowBackground());
    p.setColor(QPalette::WindowText, labelText());
    p.setColor(QPalette::Base, textBackground());
    p.setColor(QPalette::AlternateBase, QColor(245, 245, 245));
    p.setColor(QPalette::Text, labelText());
    p.setColor(QPalette::PlaceholderText, tertiaryLabel());
    p.setColor(QPalette::ButtonText, labelText());
    p.setColor(QPalette::Highlight, controlAccent());
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, controlAccent());
    p.setColor(QPalette::LinkVisited, systemPurple());
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, tertiaryLabel());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0, 0, 0, 77));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0, 0, 0, 77));
    return p;
}

void useFixedLook(QWidget *window)
{
    // Widgets do not own the style they are given: one for the program, gone with it.
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create(QStringLiteral("Fusion"));
        style->setParent(qApp);
    }
    window->setStyle(style);
    for (QWidget *widget : window->findChildren<QWidget *>())
        widget->setStyle(style);
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace Palette
