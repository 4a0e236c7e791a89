#include "ui/MessageQueue.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QAbstractButton>
#include <QTimer>

#include "ui/MessageBoxes.h"
#include "ui/MessageLog.h"

namespace {

// The window the operator is working in: an open modal dialog first, since it blocks the
// others, then the active window.
QWidget* activeOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

} // namespace

MessageQueue& MessageQueue::instance()
{
    // Created on whatever thread asks first, then handed to the UI thread, whose event loop
    // shows the boxes. It lives as long as the process.
    static MessageQueue* queue = [] {
        auto* created = new MessageQueue;
        if (QCoreApplication* app = QCoreApplication::instance())
            created->moveToThread(app->thread());
        return created;
    }();
    return *queue;
}

bool MessageQueue::post(QWidget* fallback, const QString& text, const std::string& machine)
{
    MessageLog::instance().add(text, QString::fromStdString(machine));
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCapacity) {
            ++m_dropped;
            return false;
        }
        m_entries.push_back(Entry{text, fallback, fallback != nullptr});
    }
    // One queued call serves every message posted before it runs, so a flood adds no events.
    if (!m_wakePending.exchange(true))
        QMetaObject::invokeMethod(this, &MessageQueue::drain, Qt::QueuedConnection);
    return true;
}

std::size_t MessageQueue::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

QMessageBox* MessageQueue::currentBox() const
{
    return m_box.data();
}

void MessageQueue::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }
    if (m_box) {
        QMessageBox* box = m_box;
        m_box = nullptr;
        box->disconnect(this);
        box->close();
    }
}

void MessageQueue::drain()
{
    m_wakePending = false;
    if (hasMessageHook()) {
        std::deque<Entry> taken;
        {
            std::lock_guard lock(m_mutex);
            taken.swap(m_entries);
        }
        for (const Entry& entry : taken)
            toMessageHook(entry.text);
        return;
    }
    showNext();
}

void MessageQueue::showNext()
{
    if (m_box)
        return;
    Entry entry;
    QWidget* owner = nullptr;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_entries.empty())
                return;
            entry = m_entries.front();
            m_entries.pop_front();
        }
        owner = activeOwner();
        if (!owner)
            owner = entry.fallback;
        // A message whose window has closed meanwhile has nobody left to tell.
        if (owner || !entry.hasFallback)
            break;
    }

    auto* box = new QMessageBox(QMessageBox::NoIcon, QApplication::applicationName(), entry.text,
                                QMessageBox::Ok, owner);
    box->setObjectName(QStringLiteral("machineMessage"));
    // Texts may quote what was typed or a file's name: never read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    m_box = box;

    auto answered = std::make_shared<bool>(false);
    connect(box, &QDialog::finished, this, [answered] { *answered = true; });
    connect(box, &QObject::destroyed, this, [this, entry, answered] { boxGone(entry, *answered); });
    box->show();
    box->raise();
    box->activateWindow();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->setFocus(Qt::ActiveWindowFocusReason);
}

void MessageQueue::boxGone(const Entry& entry, bool answered)
{
    m_box = nullptr;
    if (!answered) {
        // The box went with its owner (a progress dialog that finished): show it again on the
        // window that is left, ahead of the others.
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCapacity) {
            m_entries.pop_back();
            ++m_dropped;
        }
        m_entries.push_front(entry);
    }
    QTimer::singleShot(0, this, &MessageQueue::showNext);
}
