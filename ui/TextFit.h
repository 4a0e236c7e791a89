#pragma once

#include <QSize>
#include <QString>

class QFontMetrics;
class QLabel;
class QPushButton;
class QWidget;

// The smallest width at which `text`, wrapped at blanks, fits `height`; the one-line width
// when wrapping cannot make it fit.
int wrappedTextWidth(const QFontMetrics& metrics, const QString& text, int height);

// The size a push button needs to show `text` (lines split at '\n') inside its frame.
QSize buttonSizeFor(const QPushButton* button, const QString& text);

// Moves every child of `dialog` whose left edge is at `fromX` or beyond by `dx` pixels.
void shiftControls(QWidget* dialog, int fromX, int dx);

// Widens a fixed-size dialog so its right-most control keeps `margin` pixels to the edge.
void fitDialogWidth(QWidget* dialog, int margin);
