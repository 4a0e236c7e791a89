#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ConfigFile.h"
#include "cli/CliOptions.h"
#include "control/FleetMonitor.h"
#include "control/FleetPolling.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/ReceiverThread.h"

// Takes in the status replies of the watched machines and nothing else.
class FleetReceiver : public ReceiverListener
{
public:
    FleetReceiver(FleetMonitor& monitor, std::set<std::string> watched)
        : m_monitor(monitor), m_watched(std::move(watched))
    {
    }
    bool accepts(const Reply& reply) override { return m_watched.count(reply.sender) != 0; }
    void onReply(const Reply& reply) override;
    void onSocketFailed() override { m_socketFailed = true; }
    bool socketFailed() const { return m_socketFailed; }

private:
    FleetMonitor& m_monitor;
    std::set<std::string> m_watched;
    std::atomic<bool> m_socketFailed{false};
};

// What `watch` and `serve` check once their own options are taken: no option or argument left
// over and a usable --key. Each fault is named on stderr with the command's name; returns
// whether there was one.
bool fleetArgumentsBad(const ArgList& args, const GlobalOptions& global, const char* command);

// The table's addresses that can be machines here, each once; the others are named on stderr
// with the command's name. `names` (when given) receives the operator's name of each machine
// returned, by position ("" when unnamed).
std::vector<std::string> watchedAddresses(const ConfigFile& config, const char* command,
                                          std::vector<std::string>* names = nullptr);

// The fleet of `watch` and `serve`: the machine table's machines polled at the fleet's bounded
// rate, their answers taken in by a receive loop of its own.
class CliFleet
{
public:
    static constexpr int kExitNoMachines = 3;
    static constexpr int kExitNoSocket = 4;

    CliFleet(const LinkSettings& settings, const char* command,
             FleetMonitor::Listener listener = {});
    ~CliFleet();
    CliFleet(const CliFleet&) = delete;
    CliFleet& operator=(const CliFleet&) = delete;

    // Reads the table and starts polling: 0, or the exit code (kExitNoMachines,
    // kExitNoSocket) after saying why on stderr.
    int start();
    void stop();
    FleetMonitor& monitor() { return m_monitor; }

private:
    const LinkSettings& m_settings;
    const char* m_command;
    StatusQuerySender m_sender;
    FleetMonitor m_monitor;
    LinkState m_state;
    std::unique_ptr<FleetReceiver> m_receiver;
    std::unique_ptr<ReceiverThread> m_receiveLoop;
    FleetTicker m_ticker;
};

// Ctrl+C (SIGINT) sets a flag while an InterruptWatch lives, instead of ending the process.
class InterruptWatch
{
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
};
// Sleeps until `until` in short steps; false when Ctrl+C came first.
bool waitUntil(std::chrono::steady_clock::time_point until);

// 128 + SIGINT, as shells report it.
inline constexpr int kExitInterrupted = 130;
