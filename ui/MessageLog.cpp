#include "ui/MessageLog.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/UiTexts.h"
#include "ui/QtTexts.h"

MessageLog& MessageLog::instance()
{
    static MessageLog log;
    return log;
}

void MessageLog::add(const QString& text, const QString& machine)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCapacity) {
            m_entries.pop_front();
            ++m_forgotten;
        }
        m_entries.push_back(Entry{QDateTime::currentDateTime(), machine, text});
        ++m_added;
        listener = m_listener;
    }
    if (listener)
        listener();
}

std::vector<MessageLog::Entry> MessageLog::entries() const
{
    std::lock_guard lock(m_mutex);
    return {m_entries.begin(), m_entries.end()};
}

std::size_t MessageLog::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

std::size_t MessageLog::forgotten() const
{
    std::lock_guard lock(m_mutex);
    return m_forgotten;
}

std::size_t MessageLog::added() const
{
    std::lock_guard lock(m_mutex);
    return m_added;
}

void MessageLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_forgotten = 0;
    m_added = 0;
}

void MessageLog::setListener(std::function<void()> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

QString MessageLog::line(const Entry& entry)
{
    QString text = entry.text;
    text.replace(u'\n', QStringLiteral(" / "));
    return entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  ") +
           (entry.machine.isEmpty() ? QStringLiteral("-") : entry.machine) +
           QStringLiteral("  ") + text;
}

MessageLogWindow::MessageLogWindow(QWidget* parent)
    : QDialog(parent), m_refreshPending(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("messageLog"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("messageLogText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_copy = new QPushButton(this);
    m_copy->setObjectName(QStringLiteral("messageLogCopy"));
    m_copy->setAutoDefault(false);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(text()); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_copy);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    resize(640, 320);

    // Entries come from any thread; one queued refresh serves all that arrive before it runs.
    QPointer<MessageLogWindow> self(this);
    auto pending = m_refreshPending;
    MessageLog::instance().setListener([self, pending] {
        if (pending->exchange(true))
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, pending] {
                *pending = false;
                if (self && self->isVisible())
                    self->refresh();
            },
            Qt::QueuedConnection);
    });
    setLanguage(0);
}

void MessageLogWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(qtText(TextId::MessageLogCaption, language));
    m_copy->setText(qtText(TextId::MessageLogCopy, language));
    m_shown = ~std::size_t(0); // the dropped-entries line speaks the language too
    if (isVisible())
        refresh();
}

void MessageLogWindow::refresh()
{
    const MessageLog& log = MessageLog::instance();
    if (log.added() == m_shown)
        return;
    m_shown = log.added();
    QStringList lines;
    if (const std::size_t forgotten = log.forgotten())
        lines << qtText(TextId::MessageLogForgotten, m_language)
                     .replace(QStringLiteral("%d"), QString::number(forgotten));
    for (const MessageLog::Entry& entry : log.entries())
        lines << MessageLog::line(entry);
    m_text->setPlainText(lines.join(u'\n'));
    m_text->moveCursor(QTextCursor::End);
}

QString MessageLogWindow::text() const
{
    return m_text->toPlainText();
}

void MessageLogWindow::showEvent(QShowEvent* event)
{
    refresh();
    QDialog::showEvent(event);
}
