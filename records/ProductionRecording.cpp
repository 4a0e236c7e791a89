#include "records/ProductionRecording.h"

#include <algorithm>

#include "app/ConfigFile.h"
#include "records/RecordsDatabase.h"

HistorySettings readHistorySettings(const ConfigFile& config)
{
    HistorySettings settings;
    settings.path = RecordsDatabase::pathBeside(config.path());
    const int days = config.readNumber("Z62History", "KeepDays", "400");
    // Nonsense keeps the default rather than emptying the history.
    settings.keepDays = days > 0 ? std::min(days, 100000) : 400;
    settings.shifts = config.readText("Z62History", "Shifts", settings.shifts);
    return settings;
}

ProductionRecording::ProductionRecording(const HistorySettings& settings,
                                         RecordsWriter::FaultFn fault)
    : m_writer({settings.path, settings.keepDays, RecordsWriterSettings{}.maxQueued,
                settings.watching},
               std::move(fault)),
      m_recorder([this](std::vector<EventRow> events, std::vector<RunRow> runs) {
          m_writer.push(std::move(events), std::move(runs));
      })
{
}

ProductionRecording::~ProductionRecording()
{
    m_recorder.close(wallClockMillis());
}

void ProductionRecording::end(const FleetMonitor& monitor)
{
    m_recorder.close(wallClockMillis(), monitor.machines());
}

void ProductionRecording::onEvent(const FleetEvent& event, const FleetMonitor& monitor)
{
    std::optional<FleetMachine> seen;
    for (FleetMachine& machine : monitor.machines()) {
        if (machine.address == event.address) {
            seen = std::move(machine);
            break;
        }
    }
    m_recorder.onEvent(event, seen, wallClockMillis());
}

void ProductionRecording::noteSent(const std::string& address, const std::string& name,
                                   std::string checksum)
{
    const auto canonical = canonicalAddress(address);
    if (!canonical)
        return;
    std::lock_guard lock(m_mutex);
    m_noted[*canonical] = {cleanDesignName(name), std::move(checksum)};
}

void ProductionRecording::onTransfer(const std::string& address, const SentDesign& design,
                                     std::string checksum)
{
    const auto canonical = canonicalAddress(address);
    if (!canonical)
        return;
    {
        std::lock_guard lock(m_mutex);
        const auto noted = m_noted.find(*canonical);
        if (noted != m_noted.end()) {
            if (checksum.empty() && noted->second.first == cleanDesignName(design.name))
                checksum = noted->second.second;
            m_noted.erase(noted);
        }
    }
    m_recorder.onTransfer(*canonical, design, checksum, wallClockMillis());
}
