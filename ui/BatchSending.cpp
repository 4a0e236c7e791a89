#include "ui/BatchSending.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stop_token>
#include <thread>

#include <QEventLoop>
#include <QFileDialog>
#include <QProgressDialog>
#include <QTimer>

#include "app/UiTexts.h"
#include "link/DesignTransfer.h"
#include "link/LinkSettings.h"
#include "ui/DesignFileTypes.h"
#include "ui/MessageBoxes.h"
#include "ui/QtTexts.h"

namespace {

QStringList chooseWithSystemDialog(QWidget* parent, const QString& filter)
{
    QFileDialog dialog(parent);
    dressDesignFileDialog(&dialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, true);
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

// What the worker tells the UI thread; every field is read by the progress timer.
struct BatchProgress
{
    std::atomic<int> file{-1}; // index of the file being sent, -1 before the first
    std::atomic<int> sentChunks{0};
    std::atomic<int> chunkCount{0};
    std::atomic<bool> finished{false};
    std::mutex messageMutex;
    std::vector<TextId> messages; // failures to show, in order
};

} // namespace

std::string batchFileName(std::string_view path)
{
    // Rebuilding base + "." + extension gives the name itself when it has a dot; a name
    // without one is sent under its own name rather than doubled, so the transfer's own
    // name rule is the whole routine.
    return designFileName(path);
}

QString qtFileFilter(std::string_view windowsFilter)
{
    const QStringList parts =
        QString::fromUtf8(windowsFilter.data(), qsizetype(windowsFilter.size()))
            .split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << pattern;
            if (pattern.toLower() != pattern) {
                patterns << pattern.toLower();
            }
        }
        // Qt takes the patterns from the last parentheses of an entry.
        entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

BatchSending::BatchSending(ConfigFile config, const LinkSettings& settings)
    : m_config(std::move(config)), m_settings(settings), m_chooser(chooseWithSystemDialog)
{
}

bool BatchSending::run(QWidget* parent, std::string* designPath, std::string* designFileName)
{
    m_paths.clear();
    m_names.clear();
    const int language = readLanguage(m_config);
    const QStringList chosen =
        m_chooser(parent, qtFileFilter(uiText(TextId::FileFilter, language)));
    for (const QString& path : chosen) {
        m_paths.push_back(path.toStdString());
        m_names.push_back(batchFileName(m_paths.back()));
    }
    if (m_paths.empty()) {
        return false;
    }

    BatchProgress progress;
    const int fileCount = static_cast<int>(m_paths.size());
    std::jthread worker([this, &progress](std::stop_token stop) {
        for (std::size_t i = 0; i < m_paths.size() && !stop.stop_requested(); ++i) {
            progress.sentChunks = 0;
            progress.chunkCount = 0;
            progress.file = static_cast<int>(i);
            const TransferOutcome outcome = sendCurrentDesign(
                m_paths[i], m_names[i], m_settings,
                [&progress](const TransferProgress& at) {
                    progress.sentChunks = at.chunksSent;
                    progress.chunkCount = at.chunkCount;
                },
                stop);
            if (outcome.error) {
                std::lock_guard lock(progress.messageMutex);
                progress.messages.push_back(*outcome.error);
            }
            pauseUnlessStopped(std::chrono::milliseconds(kPauseMs), stop);
        }
        progress.finished = true;
    });

    QProgressDialog dialog(parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(qtText(TextId::Button1023, language));
    dialog.setRange(0, fileCount * 100);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.show();

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (dialog.wasCanceled()) {
            worker.request_stop();
        }
        // Read before draining, so no message pushed before the end is left behind.
        const bool finished = progress.finished;
        std::vector<TextId> messages;
        {
            std::lock_guard lock(progress.messageMutex);
            messages.swap(progress.messages);
        }
        for (TextId message : messages) {
            showMessage(parent, qtText(message, language));
        }
        const int file = progress.file;
        if (file >= 0) {
            const int total = progress.chunkCount;
            const int inFile = total > 0 ? progress.sentChunks * 100 / total : 0;
            dialog.setValue(file * 100 + inFile);
            dialog.setLabelText(QString::fromStdString(m_names[std::size_t(file)]) +
                                QStringLiteral("  (%1/%2)").arg(file + 1).arg(fileCount));
        }
        if (finished) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    worker.join();

    const int last = progress.file;
    if (last >= 0) {
        *designPath = m_paths[std::size_t(last)];
        *designFileName = m_names[std::size_t(last)];
    }
    return !dialog.wasCanceled() && last == fileCount - 1;
}
