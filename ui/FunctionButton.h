#pragma once

#include <QPushButton>

// A push button whose caption wraps onto several lines when it is wider than the button,
// like the multi-line buttons of the function row; text() stays the caption as set.
class FunctionButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
