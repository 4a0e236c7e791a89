#include "control/FleetSession.h"

#include <utility>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"

namespace {

FleetSettings withStorePath(FleetSettings fleet, const LinkSettings& link)
{
    if (fleet.storePath.empty() && !link.configPath.empty())
        fleet.storePath = FleetStore::pathBeside(link.configPath);
    return fleet;
}

std::int64_t wallClockSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

FleetSession::FleetSession(const LinkSettings& settings, const LinkState& state,
                           FleetSettings fleetSettings, FleetMonitor::Listener listener,
                           RecordedFn recorded)
    : m_settings(settings), m_sender(settings, &state),
      m_monitor(
          withStorePath(std::move(fleetSettings), settings),
          [] { return std::chrono::steady_clock::now(); },
          [this](const std::string& address) { return m_sender.send(address); },
          std::move(listener)),
      m_ticker(m_monitor), m_recorded(std::move(recorded))
{
}

FleetSession::~FleetSession()
{
    stop();
}

std::size_t FleetSession::loadMachines()
{
    std::vector<std::string> addresses;
    std::vector<std::string> names;
    const MachineTable table{ConfigFile(m_settings.configPath)};
    for (const MachineEntry& entry : table.load(static_cast<int>(kMaxFleetEntries))) {
        addresses.push_back(entry.address);
        names.push_back(entry.name);
    }
    return m_monitor.setMachines(addresses, names);
}

void FleetSession::start()
{
    loadMachines();
    m_ticker.start();
}

void FleetSession::stop()
{
    m_ticker.stop();
}

void FleetSession::onReply(const Reply& reply)
{
    if (reply.kind == ReplyKind::StatusReply && reply.status) {
        // False for a sender the fleet does not watch: a stranger's status is not believed.
        (void)m_monitor.onStatus(reply.sender, *reply.status, reply.designId);
        return;
    }
    if (reply.kind != ReplyKind::DesignChunkAck)
        return;
    const std::optional<std::string> address = canonicalAddress(reply.sender);
    if (!address)
        return;
    std::optional<SentDesign> confirmed;
    {
        std::lock_guard lock(m_mutex);
        // Anyone can send an acknowledgement; the map keeps a bounded number of senders.
        if (m_lastAck.size() >= kMaxFleetEntries && !m_lastAck.contains(*address))
            m_lastAck.erase(m_lastAck.begin());
        m_lastAck[*address] = Ack{std::chrono::steady_clock::now(), reply.designId};
        const auto waiting = m_waiting.find(*address);
        if (waiting != m_waiting.end()) {
            confirmed = std::move(waiting->second);
            m_waiting.erase(waiting);
        }
    }
    if (confirmed)
        record(*address, std::move(*confirmed), reply.designId);
}

void FleetSession::designSent(const std::string& address, SentDesign design, FleetTime since)
{
    const std::optional<std::string> canonical = canonicalAddress(address);
    if (!canonical)
        return;
    design.sentAt = wallClockSeconds();
    std::optional<std::int32_t> ackedId;
    {
        std::lock_guard lock(m_mutex);
        const auto ack = m_lastAck.find(*canonical);
        if (ack != m_lastAck.end() && ack->second.at >= since) {
            ackedId = ack->second.designId;
            m_waiting.erase(*canonical);
        } else {
            m_waiting[*canonical] = design;
        }
    }
    if (ackedId)
        record(*canonical, std::move(design), *ackedId);
}

void FleetSession::setAcknowledged(AcknowledgedFn acknowledged)
{
    std::lock_guard lock(m_mutex);
    m_acknowledged = std::move(acknowledged);
}

std::size_t FleetSession::waitingDesigns() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

void FleetSession::record(const std::string& address, SentDesign design, std::int32_t designId)
{
    design.designId = designId;
    const bool stored = m_monitor.recordSentDesign(address, design);
    if (m_recorded)
        m_recorded(address, stored);
    AcknowledgedFn acknowledged;
    {
        std::lock_guard lock(m_mutex);
        acknowledged = m_acknowledged;
    }
    if (acknowledged)
        acknowledged(address, design);
}

SentDesign sentDesignOf(const std::string& fileName, const Design& design)
{
    SentDesign out;
    out.name = fileName;
    out.stitches =
        design.summary.stitchCount > 0 ? design.summary.stitchCount : design.stitches.count;
    out.colors = design.summary.colorCount;
    return out;
}
