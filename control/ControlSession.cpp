#include "control/ControlSession.h"

ControlSession::ControlSession(const LinkSettings& settings, LinkState& state,
                               ReceiverListener& listener)
    : m_settings(settings), m_state(state), m_listener(listener), m_config(settings.configPath),
      m_table(m_config)
{
}

ControlSession::~ControlSession()
{
    stop();
}

bool ControlSession::startReceiver()
{
    if (m_receiver && m_receiver->isRunning())
        return true;
    m_receiver = std::make_unique<ReceiverThread>(m_settings, m_state,
                                                  static_cast<ReceiverListener&>(*this));
    if (!m_receiver->open())
        return false;
    // Written once the port is held and before any answer is taken in, so a search answer
    // always finds the defaults in place.
    writeReceiverDefaults(m_config);
    return m_receiver->start();
}

void ControlSession::startSearch()
{
    // Each sweep ends by itself after its 256 probes; its thread object is kept until the
    // session stops, which waits for any sweep still sending.
    auto search = std::make_unique<SearchThread>(m_settings);
    search->start();
    m_searches.push_back(std::move(search));
}

void ControlSession::startPolling()
{
    if (m_poller && m_poller->isRunning())
        return;
    m_poller = std::make_unique<PollThread>(m_settings, m_state);
    m_poller->start();
}

bool ControlSession::isPolling() const
{
    return m_poller && m_poller->isRunning();
}

FleetSession& ControlSession::startFleet(FleetSettings settings, FleetMonitor::Listener listener,
                                         FleetSession::RecordedFn recorded)
{
    if (!m_fleet) {
        m_fleet = std::make_unique<FleetSession>(m_settings, m_state, std::move(settings),
                                                 std::move(listener), std::move(recorded));
        m_fleetRoute = m_fleet.get();
    }
    m_fleet->start();
    return *m_fleet;
}

void ControlSession::stop()
{
    if (m_fleet)
        m_fleet->stop();
    if (m_poller)
        m_poller->stop();
    if (m_receiver)
        m_receiver->stop();
    m_searches.clear();
}

std::uint16_t ControlSession::listenPort() const
{
    return m_receiver ? m_receiver->port() : 0;
}

void ControlSession::onReply(const Reply& reply)
{
    // A machine is known by its address alone; only a new one is reported.
    if (reply.kind == ReplyKind::SearchReply && m_table.append(reply.sender))
        m_listener.onMachineFound(reply.sender);
    if (FleetSession* fleet = m_fleetRoute.load())
        fleet->onReply(reply);
    m_listener.onReply(reply);
}

void ControlSession::onIgnored(const Reply& reply)
{
    m_listener.onIgnored(reply);
}

void ControlSession::onSocketFailed()
{
    m_listener.onSocketFailed();
}
