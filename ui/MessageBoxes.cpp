#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

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

void showMessage(QWidget* parent, const QString& text)
{
    if (currentHook()) {
        currentHook()(text);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::NoIcon, QApplication::applicationName(), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
