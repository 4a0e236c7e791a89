#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/FleetMonitor.h"

// Today's production figures, from whatever keeps the production records. The feed asks it on
// every update; it returns one JSON object (or nullopt while there are no figures) and must
// not block for long.
class ShopProduction
{
public:
    virtual ~ShopProduction() = default;
    virtual std::optional<std::string> todayJson() = 0;
};

// "started", "stopped", "finished", "offline" or "back".
const char* fleetEventName(FleetEventKind kind);

// One machine as the shop floor sees it: the fields of `watch --json` but for
// secondsSinceAnswer (always null, so a machine that does not change does not count as
// changed).
std::string shopMachineJson(const FleetMachine& machine);

// What the page and the stream show: the latest state of every machine, each with the number of
// the update that last changed it, and the latest events. Updates come from one thread, readers
// from many.
class ShopFeed
{
public:
    static constexpr std::size_t kMaxEvents = 64;

    void setProduction(std::shared_ptr<ShopProduction> production);

    // Takes the fleet as it is now; returns the number of machines whose view changed.
    std::size_t update(const std::vector<FleetMachine>& machines);
    void addEvent(const FleetEvent& event);

    // One message of the stream: {"reset":..., "machines":[...], "events":[...],
    // "production":...} with what changed after `since` (everything when `since` is 0, or
    // when the machine set changed since), or empty when nothing did. Sets `since` to the
    // current update number. `answerAge`, when given, gets how long ago the oldest answer
    // behind the machines in the message arrived (0 when there are none).
    std::string changesSince(std::uint64_t& since,
                             std::chrono::steady_clock::duration* answerAge = nullptr) const;
    // Waits until something changed after `since`, the feed is stopped or the time is up.
    // False when nothing changed.
    bool waitForChange(std::uint64_t since, std::chrono::milliseconds timeout) const;
    // Wakes every waiter for good.
    void stop();
    bool stopped() const;

    std::optional<FleetMachine> machine(const std::string& address) const;

private:
    struct View
    {
        FleetMachine machine;
        std::string json;
        std::uint64_t changed = 0;
    };
    struct Event
    {
        std::string json;
        std::uint64_t at = 0;
    };

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::shared_ptr<ShopProduction> m_production;
    std::vector<std::string> m_order; // addresses in the monitor's order
    std::map<std::string, View> m_views;
    std::deque<Event> m_events;
    std::string m_productionJson = "null";
    std::uint64_t m_productionChanged = 0;
    std::uint64_t m_sequence = 0;
    std::uint64_t m_setChanged = 0; // update that last changed the set of machines
    bool m_stopped = false;
};
