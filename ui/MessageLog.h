#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <QDateTime>
#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

// Every message, notice and failure of this run, with its time and machine, so that a box the
// bounded queue dropped, or a notice that passed by, can still be read. Any thread may add.
class MessageLog
{
public:
    // Entries kept; older ones go first, and the log says how many went.
    static constexpr std::size_t kCapacity = 5000;

    struct Entry
    {
        QDateTime time;
        QString machine; // the address (and name) of the machine, or empty
        QString text;
    };

    // The application's log.
    static MessageLog& instance();

    void add(const QString& text, const QString& machine = {});
    std::vector<Entry> entries() const;
    std::size_t size() const;
    std::size_t forgotten() const;
    // Counts every entry ever added; a reader that saw this number has seen everything older.
    std::size_t added() const;
    void clear();
    // Called after every add, on the adding thread; an empty function ends the calls.
    void setListener(std::function<void()> listener);

    // One line per entry: time, machine (or "-") and the text, its line breaks as " / ".
    static QString line(const Entry& entry);

private:
    mutable std::mutex m_mutex;
    std::deque<Entry> m_entries;
    std::size_t m_forgotten = 0;
    std::size_t m_added = 0;
    std::function<void()> m_listener;
};

// The window that shows the log; the operator selects and copies from it, or copies it whole.
// It follows the log while it is open.
class MessageLogWindow : public QDialog
{
    Q_OBJECT
public:
    explicit MessageLogWindow(QWidget* parent);
    void setLanguage(int language);
    // Reads the log again when something was added.
    void refresh();
    QString text() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_language = 0;
    std::size_t m_shown = ~std::size_t(0);
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_copy = nullptr;
    std::shared_ptr<std::atomic<bool>> m_refreshPending;
};
