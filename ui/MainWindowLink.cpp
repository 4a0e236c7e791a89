#include "ui/MainWindowLink.h"

#include <algorithm>
#include <atomic>

#include <QMetaObject>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include "app/MachineTable.h"
#include "control/DesignTransfer.h"
#include "design/DesignLoader.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "control/ReplyText.h"
#include "control/SentDesignRecord.h"
#include "control/StatusDisplay.h"
#include "link/LocalAddress.h"
#include "records/ProductionRecording.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageQueue.h"
#include "ui/QtTexts.h"
#include "ui/TransferProgressDialog.h"

MainWindowLink::MainWindowLink(QWidget* window, ConfigFile config, const LinkSettings& settings,
                               LinkState& state)
    : m_window(window), m_config(std::move(config)), m_settings(settings), m_state(state),
      m_session(settings, state, *this)
{
}

MainWindowLink::~MainWindowLink()
{
    stop();
}

void MainWindowLink::start(bool search)
{
    m_session.startReceiver();
    if (search)
        startSearch();
    m_session.startPolling();
    m_started = true;
}

void MainWindowLink::resumePolling()
{
    if (m_started)
        m_session.startPolling();
    if (FleetSession* fleet = m_session.fleet())
        fleet->loadMachines();
}

FleetSession& MainWindowLink::startFleet(FleetMonitor::Listener listener,
                                         FleetSession::RecordedFn recorded)
{
    // What the machines do goes into the production history; a file that cannot be used is
    // told once and the window goes on without it.
    if (!m_recording) {
        const HistorySettings history = readHistorySettings(m_config);
        m_recording = std::make_unique<ProductionRecording>(
            history, [this, path = history.path](RecordsFault fault, const std::string& detail) {
                post(fault == RecordsFault::Overflow ? TextId::HistoryRowsDropped
                                                     : TextId::HistoryFailed,
                     QString::fromStdString(path + " (" + std::string(recordsFaultText(fault)) +
                                            (detail.empty() ? "" : ": " + detail) + ")"));
            });
    }
    FleetSession& fleet = m_session.startFleet(
        {},
        [this, listener = std::move(listener)](const FleetEvent& event) {
            if (FleetSession* session = m_session.fleet())
                m_recording->onEvent(event, session->monitor());
            if (listener)
                listener(event);
        },
        std::move(recorded));
    fleet.setAcknowledged([this](const std::string& address, const SentDesign& design) {
        m_recording->onTransfer(address, design);
    });
    return fleet;
}

bool MainWindowLink::isPolling() const
{
    return m_session.isPolling();
}

void MainWindowLink::startSearch()
{
    m_session.startSearch();
}

void MainWindowLink::stop()
{
    m_session.stop();
}

std::string MainWindowLink::localAddress() const
{
    return ::localAddress();
}

std::uint16_t MainWindowLink::listenPort() const
{
    return m_session.listenPort();
}

void MainWindowLink::onReply(const Reply& reply)
{
    if (reply.kind == ReplyKind::StatusReply && reply.status)
        m_progress.onStatus(reply.sender, *reply.status, reply.designId,
                            std::chrono::steady_clock::now());
    switch (m_acks.take(reply)) {
    case TransferAcks::Verdict::Counted:
        return; // shown in the transfer's dialog, told once at the end
    case TransferAcks::Verdict::Complete:
        transferComplete();
        return;
    case TransferAcks::Verdict::NotOurs:
        break;
    }
    if (const auto text = replyText(reply.kind))
        post(*text);
}

std::uint64_t MainWindowLink::beginTransfer(const std::string& target)
{
    return m_acks.begin(target);
}

void MainWindowLink::endTransfer(std::uint64_t id, const std::string& target, bool whole,
                                 const std::optional<DesignFileStamp>& file)
{
    // What the machine holds now is this file; after a stop in the middle, nothing known. A
    // transfer that sent nothing changed nothing.
    if (whole)
        m_progress.recordSent(target, file);
    else if (m_acks.count().sent > 0)
        m_progress.recordSent(target, std::nullopt);
    if (m_acks.endSending(id, whole) == TransferAcks::Verdict::Complete) {
        transferComplete();
        return;
    }
    if (!m_graceTimer) {
        m_graceTimer = std::make_unique<QTimer>();
        m_graceTimer->setSingleShot(true);
        QObject::connect(m_graceTimer.get(), &QTimer::timeout, [this] { transferExpired(); });
    }
    m_graceTransfer = id;
    m_graceTimer->start(m_ackGrace);
}

void MainWindowLink::transferComplete()
{
    m_progress.recordDesignId(m_acks.target(), m_acks.designId());
    post(TextId::DesignSent);
}

void MainWindowLink::transferExpired()
{
    const std::optional<AckCount> missing = m_acks.expire(m_graceTransfer);
    if (!missing)
        return;
    post(TextId::TransferNotAcknowledged,
         QString::fromStdString(transferAckText(*missing, m_language)));
}

void MainWindowLink::onSocketFailed()
{
    post(kListenFailedText);
}

void MainWindowLink::post(TextId id, const QString& detail)
{
    // The receiver only queues the message; the box appears on the UI thread in its turn.
    QString text = qtText(id, m_language);
    if (!detail.isEmpty())
        text += u'\n' + detail;
    MessageQueue::instance().post(m_window, text);
}

void MainWindowLink::message(TextId id)
{
    showMessage(m_window, qtText(id, m_language));
}

std::optional<std::string> MainWindowLink::sendDesign(const std::string& path,
                                                      const std::string& fileName,
                                                      const SentDesign& design)
{
    DesignFileBytes file = readDesignFile(path);
    if (file.error) {
        message(*file.error);
        return std::nullopt;
    }
    const auto target = transferTarget(m_settings);
    if (!target)
        return std::nullopt;
    m_session.noteCommandTarget(*target);
    const FleetTime started = std::chrono::steady_clock::now();

    QProgressDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("sendProgress"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowTitle(qtText(TextId::SendDesignButton, m_language));
    const QString heading = QString::fromStdString(fileName + "  \u2192  " + *target);
    dialog.setLabelText(heading);
    dialog.setRange(0, 0);
    dialog.setMinimumWidth(380);

    const std::uint64_t transfer = beginTransfer(*target);
    TransferOutcome outcome;
    std::atomic<int> sent{0};
    std::atomic<int> count{0};
    const auto update = [&] {
        if (count > 0) {
            dialog.setRange(0, count);
            dialog.setValue(sent);
            const AckCount acks{m_acks.count().acknowledged, count};
            dialog.setLabelText(heading + u'\n' +
                                QString::fromStdString(transferAckText(acks, m_language)));
        }
    };
    // Acknowledgements arrive between datagrams too; the dialog shows them as they come.
    QTimer ackRefresh;
    QObject::connect(&ackRefresh, &QTimer::timeout, &dialog, update);
    ackRefresh.start(100);
    runWithProgress(
        dialog,
        [&](std::stop_token stop, const ProgressReport& report) {
            const auto progress = [&](const TransferProgress& p) {
                count = p.chunkCount;
                sent = p.chunksSent;
                chunkSent(transfer);
                report();
            };
            outcome = sendDesignBytes(file.bytes, fileName, *target, m_settings, progress, stop);
        },
        update);
    ackRefresh.stop();
    if (outcome.error) {
        endTransfer(transfer, *target, false, std::nullopt);
        message(*outcome.error);
        return std::nullopt;
    }
    endTransfer(transfer, *target, outcome.sent, designFileStamp(path));
    if (!outcome.sent)
        return std::nullopt;
    if (FleetSession* fleet = m_session.fleet()) {
        if (m_recording)
            m_recording->noteSent(*target, fileName, designChecksum(file.bytes));
        fleet->designSent(*target, design, started);
    }
    return target;
}

std::optional<MainWindowLink::BatchFile>
MainWindowLink::batchFileSent(const std::string& path, const std::string& name, FleetTime started)
{
    const auto target = transferTarget(m_settings);
    FleetSession* fleet = m_session.fleet();
    if (!target || !fleet)
        return std::nullopt;
    BatchFile file{*target, name, {}, {}};
    loadDesign(path, &file.design);
    summarizeDesign(&file.design);
    fleet->designSent(*target, sentDesignOf(name, file.design), started);
    const ColorPalette palette = m_state.colorPalette.snapshot();
    for (int i = 0; i < std::max(file.design.summary.colorCount, 1); ++i)
        file.colors.push_back(palette.colors[std::size_t(i % 15)]);
    return file;
}

void MainWindowLink::command(Command command, const std::optional<std::string>& selectedAddress)
{
    const CommandTarget target{MachineTable(m_config).count(), selectedAddress};
    const std::int32_t designId = m_state.currentDesignId.load();
    if (selectedAddress)
        m_session.noteCommandTarget(*selectedAddress);
    CommandOutcome outcome;
    switch (command) {
    case Command::Jog:
        outcome = sendJog(target, designId, m_settings);
        break;
    case Command::Lever:
        outcome = sendLever(target, designId, m_settings);
        break;
    case Command::ConfirmOrRelease:
        outcome = sendEmbroideryToggle(target, m_state.machineStatus.snapshot().embroideryState,
                                       designId, m_settings);
        break;
    }
    if (outcome.message)
        message(*outcome.message);
}
