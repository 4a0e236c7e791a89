#pragma once

#include <atomic>
#include <memory>
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
    std::unique_ptr<FleetSession> m_fleet;
    // What the receiver's thread reads; set once the fleet is complete.
    std::atomic<FleetSession*> m_fleetRoute{nullptr};
};
