#include "ui/MessageBoxes.h"

#include "ui/MessageLog.h"
#include "ui/MessageQueue.h"

namespace {
MessageHook& currentHook()
{
    static MessageHook hook;
    return hook;
}
} // namespace

MessageHook setMessageHook(MessageHook hook)
{
    MessageHook previous = std::move(currentHook());
    currentHook() = std::move(hook);
    return previous;
}

bool hasMessageHook()
{
    return static_cast<bool>(currentHook());
}

bool toMessageHook(const QString& text)
{
    if (!currentHook())
        return false;
    currentHook()(text);
    return true;
}

void showMessage(QWidget* parent, const QString& text, const std::string& machine)
{
    if (currentHook()) {
        MessageLog::instance().add(text, QString::fromStdString(machine));
        currentHook()(text);
        return;
    }
    MessageQueue::instance().post(parent, text, machine);
}
