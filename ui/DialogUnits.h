#pragma once

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

// The main window's 9-point template font.
inline constexpr DialogUnits kMainWindowUnits{1.5, 1.5};
// The 8-point "MS Shell Dlg" templates (language dialog, file dialog panel, other dialogs).
inline constexpr DialogUnits kDialogUnits{1.5, 1.625};

// Places a control from its template rectangle and names it by its numeric identifier.
template <typename Widget>
Widget* placeControl(Widget* control, int id, const DialogUnits& units, int x, int y, int w, int h)
{
    control->setObjectName(QString::number(id));
    control->setGeometry(units.rect(x, y, w, h));
    return control;
}
