#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/FleetMonitor.h"
#include "control/FleetPolling.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "design/Design.h"
#include "link/Reply.h"

// The fleet side of a session: the monitor, its query sender and ticker, the replies of the
// shared receive loop routed to it by sender, and the designs sent from this PC that wait for
// their machine's acknowledgement before the monitor records them.
class FleetSession
{
public:
    // Told once per design that a machine acknowledged: `stored` is false when the fleet file
    // could not be written (the design is still shown until the program ends).
    using RecordedFn = std::function<void(const std::string& address, bool stored)>;

    // `settings` and `state` must outlive the session. The fleet file is the one beside the
    // configuration file unless `fleetSettings.storePath` names another.
    FleetSession(const LinkSettings& settings, const LinkState& state, FleetSettings fleetSettings,
                 FleetMonitor::Listener listener = {}, RecordedFn recorded = {});
    ~FleetSession();
    FleetSession(const FleetSession&) = delete;
    FleetSession& operator=(const FleetSession&) = delete;

    // Reads the machine table into the monitor; returns the number of machines watched.
    std::size_t loadMachines();
    // Starts polling on a thread of its own (loadMachines() first).
    void start();
    // Returns within one tick.
    void stop();
    bool isRunning() const { return m_ticker.isRunning(); }

    // A reply of the shared receive loop: a StatusReply goes to the monitor by its sender, a
    // DesignChunkAck confirms a design waiting for that sender.
    void onReply(const Reply& reply);

    // Every datagram of `design` went out to `address`, the transfer having begun at `since`.
    // It is recorded at once when the machine has acknowledged a chunk since then, otherwise
    // at the machine's next acknowledgement. A later design for the same machine replaces a
    // waiting one.
    void designSent(const std::string& address, SentDesign design, FleetTime since);
    // The designs still waiting for an acknowledgement, by canonical address.
    std::size_t waitingDesigns() const;

    // Told of every design a machine acknowledged, after the fleet file.
    using AcknowledgedFn = std::function<void(const std::string& address, const SentDesign&)>;
    void setAcknowledged(AcknowledgedFn acknowledged);

    FleetMonitor& monitor() { return m_monitor; }
    const FleetMonitor& monitor() const { return m_monitor; }

private:
    struct Ack
    {
        FleetTime at;
        std::int32_t designId = 0;
    };
    void record(const std::string& address, SentDesign design, std::int32_t designId);

    const LinkSettings& m_settings;
    StatusQuerySender m_sender;
    FleetMonitor m_monitor;
    FleetTicker m_ticker;
    RecordedFn m_recorded;
    AcknowledgedFn m_acknowledged; // under m_mutex

    mutable std::mutex m_mutex;
    std::map<std::string, Ack> m_lastAck;        // by canonical address
    std::map<std::string, SentDesign> m_waiting; // by canonical address
};

// The design as the fleet keeps it: the file name without its folder, the stitches a machine
// counts (the summary's, or the records when the summary has none) and the colour count.
SentDesign sentDesignOf(const std::string& fileName, const Design& design);
