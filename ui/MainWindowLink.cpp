#include "ui/MainWindowLink.h"

#include <algorithm>
#include <atomic>

#include <QMetaObject>
#include <QProgressDialog>
#include <QWidget>

#include "app/MachineTable.h"
#include "control/DesignTransfer.h"
#include "design/DesignLoader.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "control/ReplyText.h"
#include "link/LocalAddress.h"
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
    return m_session.startFleet({}, std::move(listener), std::move(recorded));
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
    if (const auto text = replyText(reply.kind))
        post(*text);
}

void MainWindowLink::onSocketFailed()
{
    post(kListenFailedText);
}

void MainWindowLink::post(TextId id)
{
    // The receiver only queues the message; the box appears on the UI thread in its turn.
    MessageQueue::instance().post(m_window, qtText(id, m_language));
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
    dialog.setLabelText(QString::fromStdString(fileName + "  \u2192  " + *target));
    dialog.setRange(0, 0);
    dialog.setMinimumWidth(380);

    TransferOutcome outcome;
    std::atomic<int> sent{0};
    std::atomic<int> count{0};
    runWithProgress(
        dialog,
        [&](std::stop_token stop, const ProgressReport& report) {
            const auto progress = [&](const TransferProgress& p) {
                count = p.chunkCount;
                sent = p.chunksSent;
                report();
            };
            outcome = sendDesignBytes(file.bytes, fileName, *target, m_settings, progress, stop);
        },
        [&] {
            if (count > 0) {
                dialog.setRange(0, count);
                dialog.setValue(sent);
            }
        });
    if (outcome.error)
        message(*outcome.error);
    if (!outcome.sent)
        return std::nullopt;
    if (FleetSession* fleet = m_session.fleet())
        fleet->designSent(*target, design, started);
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
