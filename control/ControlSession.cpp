#include "control/ControlSession.h"

namespace {

// Answers a sweep can bring: one per probed address.
constexpr std::size_t kMaxSweepAnswers = 256;

// True for prefix + a number from 0 to 255 written as the sweep writes it.
bool isSweptAddress(const std::string& sender, const std::string& prefix)
{
    if (prefix.empty() || sender.size() <= prefix.size() || !sender.starts_with(prefix))
        return false;
    const std::string host = sender.substr(prefix.size());
    if (host.size() > 3 || (host.size() > 1 && host[0] == '0'))
        return false;
    int value = 0;
    for (char c : host) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

} // namespace

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

void ControlSession::beginSweep(std::string prefix)
{
    std::lock_guard lock(m_senderMutex);
    m_sweepPrefix = std::move(prefix);
    m_sweepAnswers.clear();
}

void ControlSession::noteCommandTarget(std::string address)
{
    noteCommandTargets({std::move(address)});
}

void ControlSession::noteCommandTargets(std::vector<std::string> addresses)
{
    std::lock_guard lock(m_senderMutex);
    m_commandTargets = {std::make_move_iterator(addresses.begin()),
                        std::make_move_iterator(addresses.end())};
}

SearchSweep ControlSession::runSearch()
{
    beginSweep(sweepPrefix(m_settings));
    return runSearchSweep(m_settings);
}

void ControlSession::startSearch()
{
    beginSweep(sweepPrefix(m_settings));
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

bool ControlSession::accepts(const Reply& reply)
{
    if (reply.kind == ReplyKind::SearchReply)
        return acceptsSearchAnswer(reply.sender);
    {
        std::lock_guard lock(m_senderMutex);
        if (m_commandTargets.contains(reply.sender))
            return true;
    }
    return isKnownMachine(reply.sender);
}

bool ControlSession::acceptsSearchAnswer(const std::string& sender)
{
    std::lock_guard lock(m_senderMutex);
    if (!m_sweepPrefix || !isSweptAddress(sender, *m_sweepPrefix))
        return false;
    if (m_sweepAnswers.size() >= kMaxSweepAnswers || m_sweepAnswers.contains(sender))
        return false;
    m_sweepAnswers.insert(sender);
    return true;
}

bool ControlSession::isKnownMachine(const std::string& sender) const
{
    return ConfigFile::transaction([&] {
        const int count = m_table.count();
        for (int i = 0; i < count; ++i)
            if (m_table.address(i) == sender)
                return true;
        return false;
    });
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
