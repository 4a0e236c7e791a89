#include "ui/BatchSending.h"

#include <atomic>
#include <mutex>
#include <stop_token>

#include <QFileDialog>
#include <QProgressDialog>
#include <QTimer>

#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "control/DesignTransfer.h"
#include "control/LinkSettings.h"
#include "control/StatusDisplay.h"
#include "ui/DesignFileTypes.h"
#include "ui/MainWindowLink.h"
#include "ui/MessageBoxes.h"
#include "ui/QtTexts.h"
#include "ui/TransferProgressDialog.h"

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

// What the worker tells the UI thread; every field is read by the dialog's update.
struct BatchProgress
{
    std::atomic<int> file{-1}; // index of the file being sent, -1 before the first
    std::atomic<int> sentChunks{0};
    std::atomic<int> chunkCount{0};
    std::atomic<int> lastWhole{-1}; // index of the last file whose every datagram went out
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
    QProgressDialog dialog(parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(qtText(TextId::BatchSendingButton, language));
    dialog.setRange(0, fileCount * 100);

    // Every file goes to the machine chosen when the batch starts, so the acknowledgements
    // counted are that machine's.
    const std::optional<std::string> target = transferTarget(m_settings);
    const std::uint64_t transfer = m_link && target ? m_link->beginTransfer(*target) : 0;
    // The dialog names the machine the batch goes to from its first moment on.
    const QString targetLine =
        target ? QStringLiteral("  \u2192  ") +
                     QString::fromStdString(MachineTable(m_config).label(*target))
               : QString();
    dialog.setLabelText(QString::fromStdString(m_names.front()) + targetLine);
    const auto update = [&] {
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
            QString label = QString::fromStdString(m_names[std::size_t(file)]) +
                            QStringLiteral("  (%1/%2)").arg(file + 1).arg(fileCount) + targetLine;
            if (transfer != 0)
                label += u'\n' +
                         QString::fromStdString(transferAckText(m_link->acks().count(), language));
            dialog.setLabelText(label);
        }
    };
    QTimer ackRefresh;
    if (transfer != 0) {
        QObject::connect(&ackRefresh, &QTimer::timeout, &dialog, update);
        ackRefresh.start(100);
    }

    const bool finished = runWithProgress(
        dialog,
        [&](std::stop_token stop, const ProgressReport& report) {
            auto fileStarted = std::chrono::steady_clock::now();
            const auto onProgress = [&](const TransferProgress& at) {
                if (at.chunksSent == 0)
                    fileStarted = std::chrono::steady_clock::now();
                progress.file = at.fileIndex;
                progress.sentChunks = at.chunksSent;
                progress.chunkCount = at.chunkCount;
                if (transfer != 0 && at.chunksSent > 0)
                    m_link->chunkSent(transfer);
                report();
            };
            const auto onFileDone = [&](int index, const TransferOutcome& outcome) {
                if (outcome.sent && m_fileSent)
                    m_fileSent(m_paths[std::size_t(index)], m_names[std::size_t(index)],
                               fileStarted);
                if (outcome.sent)
                    progress.lastWhole = index;
                if (outcome.error) {
                    std::lock_guard lock(progress.messageMutex);
                    progress.messages.push_back(*outcome.error);
                }
                report();
            };
            sendDesignBatch(m_paths, m_settings, onProgress, stop, target, onFileDone);
        },
        update);
    ackRefresh.stop();

    if (transfer != 0) {
        // A stop in the middle leaves the machine with part of a file: what it holds is unknown.
        const int whole = progress.lastWhole;
        const bool complete = finished && whole >= 0;
        m_link->endTransfer(transfer, *target, complete,
                            complete ? designFileStamp(m_paths[std::size_t(whole)]) : std::nullopt);
    }

    const int last = progress.file;
    if (last >= 0) {
        *designPath = m_paths[std::size_t(last)];
        *designFileName = m_names[std::size_t(last)];
    }
    return finished && last == fileCount - 1;
}
