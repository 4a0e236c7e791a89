#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QMessageBox;

// Shows messages one box at a time. Any thread may post; the boxes appear on the UI thread,
// so a machine's acknowledgement never waits for the operator. Each box is modal to the
// window that is active when it appears (the main window or an open dialog), stands above it
// and holds the keyboard focus, so Enter or Esc closes the box and never reaches a button
// behind it. Messages that arrive while a box is open wait in a bounded queue; beyond its
// capacity they are dropped, so a flood of answers costs no memory.
class MessageQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr std::size_t kCapacity = 50;

    // The application's queue, living on the UI thread.
    static MessageQueue& instance();

    // Queues `text`; `fallback` owns the box when no window of the application is active.
    // Thread-safe. Every message goes to the MessageLog first, with the address of the machine
    // it concerns when given, so one the full queue drops can still be read there. False when
    // the queue was full and the box was dropped.
    bool post(QWidget* fallback, const QString& text, const std::string& machine = {});

    // Messages waiting behind the open box.
    std::size_t pending() const;
    std::size_t dropped() const { return m_dropped.load(); }
    // The open box, or null.
    QMessageBox* currentBox() const;
    // Drops every waiting message and closes the open box.
    void clear();

private:
    struct Entry
    {
        QString text;
        QPointer<QWidget> fallback;
        bool hasFallback = false;
    };

    MessageQueue() = default;
    void drain();
    void showNext();
    void boxGone(const Entry& entry, bool answered);

    mutable std::mutex m_mutex;
    std::deque<Entry> m_entries;
    std::atomic<bool> m_wakePending{false};
    std::atomic<std::size_t> m_dropped{0};
    QPointer<QMessageBox> m_box;
};
