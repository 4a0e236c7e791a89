#pragma once

#include <functional>
#include <string>

#include <QString>

class QWidget;

// Shows an information message with an OK button without blocking the caller. The box waits
// its turn in the application's MessageQueue: one box at a time, modal to the active window
// (`parent` when none is active), holding the focus. Every message also goes to the
// MessageLog, with `machine` (the address it concerns) when given. Tests install a hook
// instead of the boxes, so nothing waits for a click.
void showMessage(QWidget* parent, const QString& text, const std::string& machine = {});

using MessageHook = std::function<void(const QString& text)>;
// Replaces the boxes by `hook` (an empty function restores the boxes); returns the previous hook.
MessageHook setMessageHook(MessageHook hook);
bool hasMessageHook();
// Hands `text` to the installed hook alone (nothing logged); false when none is installed.
bool toMessageHook(const QString& text);
