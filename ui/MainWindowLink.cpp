#include "ui/MainWindowLink.h"

#include <thread>

#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include "app/MachineTable.h"
#include "link/DesignTransfer.h"
#include "link/LinkSettings.h"
#include "link/LinkState.h"
#include "link/LocalAddress.h"
#include "link/MachineCommands.h"
#include "link/PollThread.h"
#include "link/SearchThread.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageQueue.h"
#include "ui/QtTexts.h"

MainWindowLink::MainWindowLink(QWidget* window, ConfigFile config, const LinkSettings& settings,
                               LinkState& state)
    : m_window(window), m_config(std::move(config)), m_settings(settings), m_state(state)
{
}

MainWindowLink::~MainWindowLink()
{
    stop();
}

void MainWindowLink::start(bool search)
{
    m_receiver = std::make_unique<ReceiverThread>(m_settings, m_state, *this);
    m_receiver->start();
    if (search)
        startSearch();
    m_poller = std::make_unique<PollThread>(m_settings, m_state);
    m_poller->start();
}

void MainWindowLink::resumePolling()
{
    if (!m_poller || m_poller->isRunning())
        return;
    m_poller = std::make_unique<PollThread>(m_settings, m_state);
    m_poller->start();
}

bool MainWindowLink::isPolling() const
{
    return m_poller && m_poller->isRunning();
}

void MainWindowLink::startSearch()
{
    // Each sweep ends by itself after its 256 probes; its thread object is kept until the
    // window closes, which waits for any sweep still sending.
    auto search = std::make_unique<SearchThread>(m_settings);
    search->start();
    m_searches.push_back(std::move(search));
}

void MainWindowLink::stop()
{
    if (m_poller)
        m_poller->stop();
    if (m_receiver)
        m_receiver->stop();
    m_searches.clear();
}

std::string MainWindowLink::localAddress() const
{
    return ::localAddress();
}

std::uint16_t MainWindowLink::listenPort() const
{
    return m_receiver ? m_receiver->port() : 0;
}

void MainWindowLink::onMessage(TextId id)
{
    // The receiver only queues the message; the box appears on the UI thread in its turn.
    MessageQueue::instance().post(m_window, qtText(id, m_language));
}

void MainWindowLink::message(TextId id)
{
    showMessage(m_window, qtText(id, m_language));
}

void MainWindowLink::sendDesign(const std::string& path, const std::string& fileName)
{
    DesignFileBytes file = readDesignFile(path);
    if (file.error) {
        message(*file.error);
        return;
    }
    const auto target = transferTarget(m_settings);
    if (!target)
        return;

    QProgressDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("sendProgress"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    dialog.setWindowTitle(qtText(TextId::Button1001, m_language));
    dialog.setLabelText(QString::fromStdString(fileName + "  \u2192  " + *target));
    dialog.setRange(0, 0);
    dialog.setMinimumWidth(380);

    TransferOutcome outcome;
    QPointer<QProgressDialog> guard(&dialog);
    std::jthread worker([&, guard](std::stop_token stop) {
        auto progress = [guard](const TransferProgress& p) {
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, p] {
                    if (!guard)
                        return;
                    guard->setRange(0, p.chunkCount);
                    guard->setValue(p.chunksSent);
                },
                Qt::QueuedConnection);
        };
        outcome = sendDesignBytes(file.bytes, fileName, *target, m_settings, progress, stop);
        QMetaObject::invokeMethod(
            guard.data(),
            [guard] {
                if (guard)
                    guard->done(QDialog::Accepted);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                     [&worker] { worker.request_stop(); });
    dialog.exec();
    worker.request_stop();
    worker.join();
    if (outcome.error)
        message(*outcome.error);
}

void MainWindowLink::command(Command command, const std::optional<std::string>& selectedAddress)
{
    const CommandTarget target{MachineTable(m_config).count(), selectedAddress};
    const std::int32_t designId = m_state.currentDesignId.load();
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
