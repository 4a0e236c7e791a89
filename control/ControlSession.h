#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "control/FleetSession.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/PollThread.h"
#include "control/ReceiverThread.h"
#include "control/SearchThread.h"

// The operator's session with the machines: the receive loop, the machine table it fills from
// search answers, the search sweeps and the status poller. The window and the command-line
// tool each run one and get the typed replies through their listener.
//
// Nothing a stranger sends is believed: a search answer counts only from an address the last
// sweep probed, once per address and at most 256 per sweep; every other reply only from a
// machine of the table or the target of the last command.
class ControlSession : private ReceiverListener
{
public:
    // `settings` must outlive the session.
    ControlSession(const LinkSettings& settings, LinkState& state, ReceiverListener& listener);
    ~ControlSession() override;
    ControlSession(const ControlSession&) = delete;
    ControlSession& operator=(const ControlSession&) = delete;

    // Binds the listening port, writes the receiver's first-run defaults when the
    // configuration file is missing, and starts receiving. False (and the listener told) when
    // the socket cannot be created.
    bool startReceiver();
    // One sweep on a thread of its own; the session waits for it when it stops.
    void startSearch();
    // One sweep on the calling thread.
    SearchSweep runSearch();
    // Opens the window for the answers of a sweep of `prefix` + 0 ... 255; the sweeps above
    // call it before their first probe.
    void beginSweep(std::string prefix);
    // The address a command (or a transfer) went to; its replies count even when it is not
    // in the table.
    void noteCommandTarget(std::string address);
    // The machines a design goes to at once; their replies count as the target's do.
    void noteCommandTargets(std::vector<std::string> addresses);
    // Starts the status poller, or a new one when the last one has ended (it ends while the
    // table is empty or nothing is chosen).
    void startPolling();
    bool isPolling() const;
    // Starts the fleet monitor on this session's receive loop: every machine of the table is
    // polled at a bounded rate and each status reply reaches it by sender. The main view's
    // poller is not touched. A second call returns the running fleet.
    FleetSession& startFleet(FleetSettings settings = {}, FleetMonitor::Listener listener = {},
                             FleetSession::RecordedFn recorded = {});
    // Null until startFleet().
    FleetSession* fleet() const { return m_fleetRoute.load(); }
    // Ends every thread; returns once they have ended.
    void stop();

    // The port answers arrive at (0 before start or when the socket failed).
    std::uint16_t listenPort() const;

private:
    bool accepts(const Reply& reply) override;
    bool acceptsSearchAnswer(const std::string& sender);
    bool isKnownMachine(const std::string& sender) const;
    void onReply(const Reply& reply) override;
    void onIgnored(const Reply& reply) override;
    void onSocketFailed() override;

    const LinkSettings& m_settings;
    LinkState& m_state;
    ReceiverListener& m_listener;
    ConfigFile m_config;
    MachineTable m_table;
    std::unique_ptr<ReceiverThread> m_receiver;
    std::vector<std::unique_ptr<SearchThread>> m_searches;
    std::unique_ptr<PollThread> m_poller;

    std::mutex m_senderMutex; // the receiver thread reads what the caller's thread sets
    std::optional<std::string> m_sweepPrefix;
    std::set<std::string> m_sweepAnswers;
    std::set<std::string> m_commandTargets;

    std::unique_ptr<FleetSession> m_fleet;
    // What the receiver's thread reads; set once the fleet is complete.
    std::atomic<FleetSession*> m_fleetRoute{nullptr};
};
