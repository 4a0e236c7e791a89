#include "control/PollThread.h"

#include <utility>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/CommandPacket.h"
#include "control/DesignTransfer.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

PollThread::PollThread(LinkSettings settings, LinkState& state, std::chrono::milliseconds period)
    : m_settings(std::move(settings)), m_state(state), m_period(period)
{
}

PollThread::~PollThread()
{
    stop();
}

void PollThread::start()
{
    if (m_thread.joinable())
        return;
    m_running = true;
    // Until the thread has read its machine, no machine's status is the main view's.
    m_state.setPolledAddress({});
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void PollThread::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_running = false;
}

std::optional<std::string> PollThread::pollAddress()
{
    const MachineTable table{ConfigFile(m_settings.configPath)};
    return ConfigFile::transaction([&]() -> std::optional<std::string> {
        if (table.count() <= 0)
            return std::nullopt;
        if (auto chosen = table.firstChosenAddress(kPollMaxMachines))
            m_address = std::move(chosen);
        // Without a chosen machine now, the last chosen one is still polled.
        return m_address;
    });
}

void PollThread::run(std::stop_token stop)
{
    const PacketCipher cipher(m_settings.key);
    while (!stop.stop_requested()) {
        UdpSocket socket;
        if (!socket.open())
            break;
        const std::optional<std::string> address = pollAddress();
        if (!address)
            break;
        m_state.setPolledAddress(*address);
        auto datagram = buildPlainCommand(CommandCode::StatusQuery, m_state.currentDesignId.load());
        cipher.encrypt(datagram.data(), static_cast<std::int32_t>(datagram.size()));
        (void)socket.sendTo(*address, m_settings.machinePort, datagram);
        ++m_sent;
        socket.close();
        if (!pauseUnlessStopped(m_period, stop))
            break;
    }
    m_running = false;
}
