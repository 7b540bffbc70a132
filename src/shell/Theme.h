// Colours and window geometry that follow the desktop: the text boxes' edited and resting
// backgrounds (white and light grey on a light desktop, dark equivalents on a dark one), the
// clock's warning and end colours, icons kept visible on a dark theme, and a window that
// opens fully on the screen at any display scaling.
#pragma once

#include <QColor>
#include <QMargins>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QSize>

namespace rostrel::theme {

// A dark desktop: window text lighter than the window.
bool isDark(const QPalette& palette);

// Background of a text box being edited (FFFFFF on a light desktop) and at rest or disabled
// (E0E0E0 on a light desktop). On a dark desktop both are dark, the edited one lighter, and
// the palette's text colour stays readable on both.
QColor editingBack(const QPalette& palette);
QColor restingBack(const QPalette& palette);

// The clock's last minute and its end, readable on `back`.
QColor warningColour(const QColor& back);
QColor endedColour(const QColor& back);

// WCAG contrast ratio of two colours (1 ... 21).
double contrast(const QColor& a, const QColor& b);

// A picture drawn for the desktop: on a dark desktop, on a light plate so its dark strokes
// stay visible; unchanged on a light one.
QPixmap visibleIcon(const QPixmap& picture, const QPalette& palette);

// The window's client rectangle: `wanted` (the design or the remembered size) made to fit
// within `available` (a screen's available area, in the same logical pixels) less the window
// frame, but not below `minimum` unless the screen is smaller still; centred on `available`.
QRect fittedGeometry(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame);

} // namespace rostrel::theme
