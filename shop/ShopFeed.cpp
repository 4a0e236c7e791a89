#include "shop/ShopFeed.h"

#include <algorithm>

#include "control/FleetJson.h"
#include "control/JsonText.h"

const char* fleetEventName(FleetEventKind kind)
{
    switch (kind) {
    case FleetEventKind::Started:
        return "started";
    case FleetEventKind::Stopped:
        return "stopped";
    case FleetEventKind::Finished:
        return "finished";
    case FleetEventKind::WentOffline:
        return "offline";
    case FleetEventKind::CameBack:
        return "back";
    }
    return "unknown";
}

std::string shopMachineJson(const FleetMachine& machine)
{
    FleetMachine steady = machine;
    steady.secondsSinceAnswer.reset();
    return fleetJsonLine(steady);
}

void ShopFeed::setProduction(std::shared_ptr<ShopProduction> production)
{
    const std::lock_guard lock(m_mutex);
    m_production = std::move(production);
}

std::size_t ShopFeed::update(const std::vector<FleetMachine>& machines)
{
    std::shared_ptr<ShopProduction> production;
    {
        const std::lock_guard lock(m_mutex);
        production = m_production;
    }
    // The figures are asked without the lock: their provider may take a while.
    std::vector<std::string> jsons;
    jsons.reserve(machines.size());
    for (const FleetMachine& m : machines)
        jsons.push_back(shopMachineJson(m));
    std::optional<std::string> figures = production ? production->todayJson() : std::nullopt;

    const std::lock_guard lock(m_mutex);
    const std::uint64_t next = m_sequence + 1;
    std::size_t changed = 0;
    std::vector<std::string> order;
    order.reserve(machines.size());
    for (std::size_t i = 0; i < machines.size(); ++i) {
        order.push_back(machines[i].address);
        View& view = m_views[machines[i].address];
        view.machine = machines[i];
        if (view.json != jsons[i]) {
            view.json = std::move(jsons[i]);
            view.changed = next;
            ++changed;
        }
    }
    if (order != m_order) {
        for (auto it = m_views.begin(); it != m_views.end();) {
            if (std::find(order.begin(), order.end(), it->first) == order.end())
                it = m_views.erase(it);
            else
                ++it;
        }
        m_order = std::move(order);
        m_setChanged = next;
        ++changed;
    }
    const std::string productionJson = figures ? *figures : "null";
    if (productionJson != m_productionJson) {
        m_productionJson = productionJson;
        m_productionChanged = next;
        ++changed;
    }
    if (changed > 0) {
        m_sequence = next;
        m_changed.notify_all();
    }
    return changed;
}

void ShopFeed::addEvent(const FleetEvent& event)
{
    std::string json = "{\"kind\":\"" + std::string(fleetEventName(event.kind)) +
                       "\",\"address\":" + jsonString(event.address) +
                       ",\"whileWorking\":" + (event.whileWorking ? "true" : "false") + "}";
    const std::lock_guard lock(m_mutex);
    ++m_sequence;
    m_events.push_back({std::move(json), m_sequence});
    if (m_events.size() > kMaxEvents)
        m_events.pop_front();
    m_changed.notify_all();
}

std::string ShopFeed::changesSince(std::uint64_t& since,
                                   std::chrono::steady_clock::duration* answerAge) const
{
    const auto now = std::chrono::steady_clock::now();
    if (answerAge)
        *answerAge = {};
    const std::lock_guard lock(m_mutex);
    if (since >= m_sequence) {
        since = m_sequence;
        return {};
    }
    const bool reset = since == 0 || m_setChanged > since;
    std::string machines;
    for (const std::string& address : m_order) {
        const View& view = m_views.at(address);
        if (!reset && view.changed <= since)
            continue;
        if (answerAge && view.machine.lastAnswer)
            *answerAge = std::max(*answerAge, now - *view.machine.lastAnswer);
        machines += machines.empty() ? "" : ",";
        machines += view.json;
    }
    std::string events;
    for (const Event& event : m_events) {
        if (since == 0 || event.at <= since)
            continue;
        events += events.empty() ? "" : ",";
        events += event.json;
    }
    std::string out = std::string("{\"reset\":") + (reset ? "true" : "false") + ",\"machines\":[" +
                      machines + "],\"events\":[" + events + "]";
    if (reset || m_productionChanged > since)
        out += ",\"production\":" + m_productionJson;
    out += "}";
    since = m_sequence;
    return out;
}

bool ShopFeed::waitForChange(std::uint64_t since, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_stopped || m_sequence > since; });
    return m_sequence > since;
}

void ShopFeed::stop()
{
    const std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_changed.notify_all();
}

bool ShopFeed::stopped() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopped;
}

std::optional<FleetMachine> ShopFeed::machine(const std::string& address) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_views.find(address);
    if (it == m_views.end())
        return std::nullopt;
    return it->second.machine;
}
