#pragma once

#include <functional>

#include <QString>

class QWidget;

// Shows an information message with an OK button without blocking the caller. The box waits
// its turn in the application's MessageQueue: one box at a time, modal to the active window
// (`parent` when none is active), holding the focus. Tests install a hook instead, so nothing
// waits for a click.
void showMessage(QWidget* parent, const QString& text);

using MessageHook = std::function<void(const QString& text)>;
// Replaces the boxes by `hook` (an empty function restores the boxes); returns the previous hook.
MessageHook setMessageHook(MessageHook hook);
bool hasMessageHook();
