#include "ui/MessageBoxes.h"

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

void showMessage(QWidget* parent, const QString& text)
{
    if (currentHook()) {
        currentHook()(text);
        return;
    }
    MessageQueue::instance().post(parent, text);
}
