#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QWidget>

// Dialog units to pixels with the template font's base units at 96 DPI; Qt scales the
// result for high-DPI screens itself.
struct DialogUnits
{
    double x;
    double y;

    QRect rect(int left, int top, int width, int height) const
    {
        return {qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y)};
    }
    QSize size(int width, int height) const { return {qRound(width * x), qRound(height * y)}; }
};

// The base units Windows takes from a dialog's font: the average width of the 52 Latin
// letters (rounded as Windows rounds it) over 4, and the character height over 8. Templates
// laid out in these units keep their proportions to the text in any font.
inline DialogUnits dialogUnitsFor(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int average = (letters / 26 + 1) / 2;
    return {average / 4.0, metrics.height() / 8.0};
}

// The main window's 9-point template font. The window sets a 9-point font of its own, whose
// texts fit at this scale, and keeps this size so it stays within small screens.
inline constexpr DialogUnits kMainWindowUnits{1.5, 1.5};
// The 8-point "MS Shell Dlg" units at 96 DPI; the dialogs take theirs from their own font with
// dialogUnitsFor, which gives these values for that font.
inline constexpr DialogUnits kDialogUnits{1.5, 1.625};

// Places a control from its template rectangle and names it by its numeric identifier, given
// as a number or as a name of ui/ControlIds.h.
template <typename Widget, typename Id>
Widget* placeControl(Widget* control, Id id, const DialogUnits& units, int x, int y, int w, int h)
{
    control->setObjectName(QString::number(static_cast<int>(id)));
    control->setGeometry(units.rect(x, y, w, h));
    return control;
}
