#include "records/ProductionRecorder.h"

#include <algorithm>
#include <utility>

namespace {

RecordKind kindOf(FleetEventKind kind)
{
    switch (kind) {
    case FleetEventKind::Started:
        return RecordKind::Started;
    case FleetEventKind::Stopped:
        return RecordKind::Stopped;
    case FleetEventKind::Finished:
        return RecordKind::Finished;
    case FleetEventKind::WentOffline:
        return RecordKind::WentOffline;
    case FleetEventKind::CameBack:
        return RecordKind::CameBack;
    }
    return RecordKind::Started;
}

} // namespace

void ProductionRecorder::endSewing(OpenRun& run, std::int32_t stitch, std::int64_t now)
{
    if (!run.sewingSince)
        return;
    run.row.sewingSeconds += double(std::max<std::int64_t>(0, now - *run.sewingSince)) / 1000.0;
    run.row.stitchesSewn += std::max(0, stitch - run.segmentStitch);
    run.sewingSince.reset();
}

void ProductionRecorder::endStanding(OpenRun& run, std::int64_t now)
{
    if (!run.standingSince)
        return;
    run.row.standingSeconds +=
        double(std::max<std::int64_t>(0, now - *run.standingSince)) / 1000.0;
    run.standingSince.reset();
}

void ProductionRecorder::abandonRun(Machine& machine, std::int64_t now, std::vector<RunRow>& runs,
                                    std::optional<std::int32_t> stitch)
{
    if (!machine.run)
        return;
    OpenRun& run = *machine.run;
    endSewing(run, stitch.value_or(run.segmentStitch), now);
    endStanding(run, now);
    run.row.ended = now;
    runs.push_back(run.row);
    machine.run.reset();
}

RecordDesign ProductionRecorder::designOf(Machine& machine,
                                          const std::optional<FleetMachine>& seen) const
{
    if (seen && seen->design) {
        const SentDesign& sent = *seen->design;
        // The checksum is known only for a transfer this process saw.
        const std::string checksum =
            (machine.design.name == sent.name && machine.design.stitches == sent.stitches)
                ? machine.design.checksum
                : std::string();
        machine.design = {sent.name, sent.stitches, sent.colors, checksum};
    }
    return machine.design;
}

void ProductionRecorder::onEvent(const FleetEvent& event, const std::optional<FleetMachine>& seen,
                                 std::int64_t now)
{
    record(event, seen, now, false);
}

void ProductionRecorder::record(const FleetEvent& event, const std::optional<FleetMachine>& seen,
                                std::int64_t now, bool firstSeen)
{
    std::vector<RunRow> runs;
    EventRow row;
    std::vector<EventRow> rows;
    {
        std::lock_guard lock(m_mutex);
        Machine& machine = m_machines[event.address];
        machine.watched = true;
        if (seen)
            machine.name = seen->name;
        const std::int32_t stitch = seen ? seen->stitch : 0;
        row = {now,   kindOf(event.kind), event.address, machine.name, designOf(machine, seen),
               stitch, firstSeen};
        auto& run = machine.run;
        switch (event.kind) {
        case FleetEventKind::Started:
            if (!run) {
                run = OpenRun{};
                run->row = {event.address, machine.name, row.design, now, 0, false, 0, 0, 0, 0};
            }
            endSewing(*run, stitch, now);
            endStanding(*run, now);
            run->sewingSince = now;
            run->segmentStitch = stitch;
            break;
        case FleetEventKind::Stopped:
            if (run) {
                endSewing(*run, stitch, now);
                ++run->row.stops;
                run->standingSince = now;
            }
            break;
        case FleetEventKind::Finished:
            if (!run) {
                // Sewn while nobody watched: the piece counts, its stitches and time do not.
                run = OpenRun{};
                run->row = {event.address, machine.name, row.design, now, 0, false, 0, 0, 0, 0};
            }
            endSewing(*run, std::max(stitch, row.design.stitches), now);
            endStanding(*run, now);
            run->row.finished = true;
            break;
        case FleetEventKind::WentOffline:
            if (run) {
                endSewing(*run, stitch, now);
                endStanding(*run, now);
            }
            break;
        case FleetEventKind::CameBack:
            if (seen && seen->work != 0) {
                // Back and still sewing: the history tells it as coming back, then starting.
                EventRow started = row;
                started.kind = RecordKind::Started;
                rows.push_back(std::move(started));
            }
            if (run) {
                endSewing(*run, stitch, now);
                endStanding(*run, now);
                if (seen && seen->work != 0) {
                    run->sewingSince = now;
                    run->segmentStitch = stitch;
                } else {
                    run->standingSince = now;
                }
            }
            break;
        }
        // A run is written once, when it ends; the events tell the rest meanwhile.
        if (run && run->row.finished) {
            run->row.ended = now;
            runs.push_back(run->row);
            run.reset();
        }
    }
    rows.insert(rows.begin(), std::move(row));
    m_sink(std::move(rows), std::move(runs));
}

void ProductionRecorder::onFirstAnswer(const FleetMachine& seen, std::int64_t now)
{
    // Offline is no state to begin with: the monitor tells when it answers.
    if (seen.offline || !seen.answered)
        return;
    const FleetEventKind kind = seen.work != 0 ? FleetEventKind::Started : FleetEventKind::CameBack;
    record({kind, seen.address, false, seen.name}, seen, now, true);
}

void ProductionRecorder::onTransfer(const std::string& address, const SentDesign& design,
                                    const std::string& checksum, std::int64_t now)
{
    std::vector<RunRow> runs;
    EventRow row;
    {
        std::lock_guard lock(m_mutex);
        Machine& machine = m_machines[address];
        // A new design replaces the one on the machine: that run was abandoned.
        abandonRun(machine, now, runs);
        machine.design = {design.name, design.stitches, design.colors, checksum};
        row = {now, RecordKind::TransferAcknowledged, address, machine.name, machine.design, 0};
    }
    m_sink({std::move(row)}, std::move(runs));
}

void ProductionRecorder::close(std::int64_t now, const std::vector<FleetMachine>& seen)
{
    std::vector<EventRow> events;
    std::vector<RunRow> runs;
    {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_machines) {
            // Plain names, not a structured binding: the lambda captures the address.
            const std::string& address = entry.first;
            Machine& machine = entry.second;
            const auto last = std::find_if(seen.begin(), seen.end(), [&](const FleetMachine& m) {
                return m.address == address && m.answered;
            });
            const std::optional<std::int32_t> stitch =
                last == seen.end() ? std::nullopt : std::optional(last->stitch);
            abandonRun(machine, now, runs, stitch);
            if (machine.watched)
                events.push_back({now, RecordKind::Unwatched, address, machine.name, machine.design,
                                  stitch.value_or(0)});
            machine.watched = false;
        }
    }
    if (!events.empty() || !runs.empty())
        m_sink(std::move(events), std::move(runs));
}
