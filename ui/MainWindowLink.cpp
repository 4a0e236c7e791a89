#include "ui/MainWindowLink.h"

#include <algorithm>
#include <atomic>
#include <map>

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
    // The history's last word on each machine carries the stitch it had reached.
    if (FleetSession* fleet = m_session.fleet(); fleet && m_recording)
        m_recording->end(fleet->monitor());
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
    // told once and the window goes on without it. A build without a history store (Windows)
    // is no fault to stop the operator for at every start: the Production window says so.
    if (!m_recording) {
        const HistorySettings history = readHistorySettings(m_config);
        m_recording = std::make_unique<ProductionRecording>(
            history, [this, path = history.path](RecordsFault fault, const std::string& detail) {
                if (fault == RecordsFault::NotAvailable)
                    return;
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
    fleet.monitor().setFirstAnswer(
        [this](const FleetMachine& machine) { m_recording->onFirstAnswer(machine); });
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
    // Only the polled machine's answers move the view; the fleet's answers of every other
    // machine would restart its speed estimate and draw their stitch on a design they never got.
    if (reply.kind == ReplyKind::StatusReply && reply.status &&
        m_state.takesStatusFrom(reply.sender)) {
        m_progress.onStatus(reply.sender, *reply.status, reply.designId,
                            std::chrono::steady_clock::now());
        if (m_statusTaken)
            m_statusTaken();
    }
    if (DesignDelivery* delivery = m_delivery.load(); delivery && delivery->take(reply))
        return; // counted for its machine, told in the delivery's summary
    switch (m_acks.take(reply)) {
    case TransferAcks::Verdict::Counted:
        return; // shown in the transfer's dialog, told once at the end
    case TransferAcks::Verdict::Complete:
        transferComplete();
        return;
    case TransferAcks::Verdict::NotOurs:
        break;
    }
    // Every answer says which machine gave it.
    if (const auto text = replyText(reply.kind))
        post(*text, QString::fromStdString(label(reply.sender)), label(reply.sender));
}

ProgressShown MainWindowLink::progressShown(const std::optional<DesignFileStamp>& file,
                                            std::int32_t stitchCount,
                                            const MachineStatus& status) const
{
    ProgressShown shown = m_progress.shown(file, stitchCount, status);
    if (polledMachineOffline()) {
        shown.offline = true;
        shown.percent.reset();
        shown.secondsLeft.reset();
    }
    return shown;
}

bool MainWindowLink::polledMachineOffline() const
{
    const FleetSession* fleet = m_session.fleet();
    const std::optional<std::string> polled = m_state.polledAddress();
    if (!fleet || !polled || polled->empty())
        return false;
    for (const FleetMachine& machine : fleet->monitor().machines()) {
        if (machine.address == *polled)
            return machine.offline;
    }
    return false;
}

std::string MainWindowLink::label(const std::string& address) const
{
    return MachineTable(m_config).label(address);
}

std::uint64_t MainWindowLink::beginTransfer(const std::string& target, const std::string& design)
{
    m_transferNames = QString::fromStdString(
        (design.empty() ? std::string() : design + "  \u2192  ") + label(target));
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
    post(TextId::DesignSent, m_transferNames, label(m_acks.target()));
}

void MainWindowLink::transferExpired()
{
    const std::optional<AckCount> missing = m_acks.expire(m_graceTransfer);
    if (!missing)
        return;
    post(TextId::TransferNotAcknowledged,
         m_transferNames + u'\n' + QString::fromStdString(transferAckText(*missing, m_language)),
         label(m_acks.target()));
}

void MainWindowLink::onSocketFailed()
{
    post(kListenFailedText);
}

void MainWindowLink::post(TextId id, const QString& detail, const std::string& machine)
{
    // The receiver only queues the message; the box appears on the UI thread in its turn.
    QString text = qtText(id, m_language);
    if (!detail.isEmpty())
        text += u'\n' + detail;
    MessageQueue::instance().post(m_window, text, machine);
}

void MainWindowLink::message(TextId id, const std::string& machine)
{
    showMessage(m_window, qtText(id, m_language), machine);
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
    const QString heading = QString::fromStdString(fileName + "  \u2192  " + label(*target));
    dialog.setLabelText(heading);
    dialog.setRange(0, 0);
    dialog.setMinimumWidth(380);

    const std::uint64_t transfer = beginTransfer(*target, fileName);
    TransferOutcome outcome;
    std::atomic<int> count{0};
    // The bar and its text count the same thing: the datagrams the machine acknowledged.
    const auto update = [&] {
        if (count > 0) {
            const AckCount acks{std::min(m_acks.count().acknowledged, count.load()), count};
            dialog.setRange(0, count);
            dialog.setValue(acks.acknowledged);
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
                chunkSent(transfer);
                report();
            };
            outcome = sendDesignBytes(file.bytes, fileName, *target, m_settings, progress, stop);
        },
        update);
    ackRefresh.stop();
    if (outcome.error) {
        endTransfer(transfer, *target, false, std::nullopt);
        message(*outcome.error, *target);
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
        message(*outcome.message, selectedAddress.value_or(std::string()));
}

std::vector<std::string> MainWindowLink::sendDesignToMany(const std::string& path,
                                                          const std::string& fileName,
                                                          const std::vector<std::string>& addresses,
                                                          const SentDesign& design)
{
    if (addresses.empty()) {
        message(TextId::UnselectedMachine);
        return {};
    }
    DesignFileBytes file = readDesignFile(path);
    if (file.error) {
        message(*file.error);
        return {};
    }
    m_session.noteCommandTargets(addresses);
    const FleetTime started = std::chrono::steady_clock::now();
    std::map<std::string, std::string> labels;
    for (const std::string& address : addresses)
        labels[address] = label(address);

    QProgressDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("sendManyProgress"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setWindowTitle(qtText(TextId::SendDesignButton, m_language));
    dialog.setMinimumWidth(460);
    DesignDelivery delivery(m_settings);
    // One line per machine: how far its own transfer is and what it has acknowledged.
    const auto update = [&] {
        int sent = 0;
        int total = 0;
        QString text = QString::fromStdString(fileName);
        for (const DeliveryProgress& p : delivery.progress()) {
            sent += p.chunksSent;
            total += p.chunkCount;
            text +=
                u'\n' + QString::fromStdString(labels[p.address]) +
                QStringLiteral(":  %1/%2   ").arg(p.chunksSent).arg(p.chunkCount) +
                QString::fromStdString(transferAckText({p.acknowledged, p.chunksSent}, m_language));
        }
        dialog.setRange(0, std::max(total, 1));
        dialog.setValue(sent);
        dialog.setLabelText(text);
    };
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &dialog, update);
    refresh.start(100);
    std::vector<MachineDelivery> results;
    m_delivery = &delivery;
    runWithProgress(
        dialog,
        [&](std::stop_token stop, const ProgressReport&) {
            results = delivery.run(file.bytes, fileName, addresses, stop, m_ackGrace);
        },
        update);
    m_delivery = nullptr;
    refresh.stop();

    std::vector<std::string> confirmed;
    QString lines;
    for (const MachineDelivery& result : results) {
        // What each machine holds now is this file only when every datagram went out.
        if (result.outcome.sent)
            m_progress.recordSent(result.address, designFileStamp(path));
        else if (result.outcome.chunksSent > 0)
            m_progress.recordSent(result.address, std::nullopt);
        lines += u'\n' + QString::fromStdString(labels[result.address]) + QStringLiteral(": ");
        if (result.confirmed()) {
            confirmed.push_back(result.address);
            m_progress.recordDesignId(result.address, result.designId);
            if (FleetSession* fleet = m_session.fleet())
                fleet->designSent(result.address, design, started);
            lines += qtText(TextId::MultiSendMachineDone, m_language);
        } else {
            lines += qtText(TextId::MultiSendMachineMissing, m_language) + u' ' +
                     QString::fromStdString(transferAckText(result.acks, m_language));
        }
    }
    QString summary = qtText(TextId::MultiSendSummary, m_language);
    summary.replace(summary.indexOf(QStringLiteral("%s")), 2, QString::fromStdString(fileName));
    summary.replace(summary.indexOf(QStringLiteral("%d")), 2, QString::number(confirmed.size()));
    summary.replace(summary.indexOf(QStringLiteral("%d")), 2, QString::number(results.size()));
    MessageQueue::instance().post(m_window, summary + lines);
    return confirmed;
}

void MainWindowLink::commandMany(Command command, const std::vector<std::string>& addresses)
{
    if (addresses.empty()) {
        message(TextId::UnselectedMachine);
        return;
    }
    m_session.noteCommandTargets(addresses);
    const int count = MachineTable(m_config).count();
    const std::int32_t designId = m_state.currentDesignId.load();
    for (const std::string& address : addresses) {
        const CommandTarget target{count, address};
        const CommandOutcome outcome =
            command == Command::Lever
                ? sendLever(target, designId, m_settings)
                : sendMachineCommand(CommandCode::EmbConfirm, target, designId, m_settings);
        if (outcome.message) {
            message(*outcome.message);
            return;
        }
    }
}
