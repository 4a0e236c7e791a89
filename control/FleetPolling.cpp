#include "control/FleetPolling.h"

#include <condition_variable>
#include <utility>

#include "link/CommandPacket.h"

StatusQuerySender::StatusQuerySender(LinkSettings settings, const LinkState* state)
    : m_settings(std::move(settings)), m_state(state), m_cipher(m_settings.key)
{
}

bool StatusQuerySender::send(const std::string& address)
{
    auto datagram =
        buildPlainCommand(CommandCode::StatusQuery, m_state ? m_state->currentDesignId.load() : 0);
    m_cipher.encrypt(datagram.data(), static_cast<std::int32_t>(datagram.size()));
    std::lock_guard lock(m_mutex);
    // A socket that could not be opened is tried again at the next poll.
    if (!m_socket.isOpen() && !m_socket.open())
        return false;
    return m_socket.sendTo(address, m_settings.machinePort, datagram);
}

FleetTicker::FleetTicker(FleetMonitor& monitor, std::chrono::milliseconds period)
    : m_monitor(monitor), m_period(period)
{
}

FleetTicker::~FleetTicker()
{
    stop();
}

void FleetTicker::start()
{
    if (m_thread.joinable())
        return;
    m_thread = std::jthread([this](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        auto next = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            m_monitor.tick();
            // Steps on a fixed grid, so a slow tick does not stretch the rate.
            next += m_period;
            std::unique_lock lock(mutex);
            wake.wait_until(lock, stop, next, [] { return false; });
            const auto now = std::chrono::steady_clock::now();
            if (next < now - m_period)
                next = now; // after a stall, start afresh rather than catch up in a burst
        }
    });
}

void FleetTicker::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}
