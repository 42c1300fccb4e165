#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// The fixed colours of the window, chosen once here so that the layout looks the same on
// every desktop theme. Named after the roles the layout gives them.
namespace Palette {

QColor systemBlue();
QColor systemIndigo();
QColor systemGreen();
QColor systemOrange();
QColor systemRed();
QColor systemTeal();
QColor systemPurple();
QColor systemGray();
QColor controlAccent();

QColor labelText();
QColor secondaryLabel();
QColor tertiaryLabel();
QColor separator();
QColor controlBackground();
QColor windowBackground();
QColor textBackground();

// Header gradient ends and the bottom bar.
QColor headerGradientStart();
QColor headerGradientEnd();
QColor bottomBar();
QColor gridBackground();

// A light palette built from the colours above, for the main and help windows. Every role
// is set, so nothing of the desktop's palette shows through.
QPalette lightPalette();

// Draws `window` and every widget in it with one style that takes all its colours from the
// widgets' palettes, whatever the desktop's style paints on its own. Popups and dialogs
// keep the desktop's look.
void useFixedLook(QWidget *window);

// `color` with its alpha replaced by `alpha` (0-1), not multiplied.
QColor withAlpha(QColor color, double alpha);

} // namespace Palette
