#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/FleetMonitor.h"
#include "records/Records.h"

// Turns the fleet monitor's events and the acknowledged transfers into history rows: one
// event row each, and runs (a design on a machine from its start to its finish or
// abandonment) with their sewing and standing time, stitches and stops. Deterministic: time
// comes from the caller; rows go to the sink.
class ProductionRecorder
{
public:
    using Sink = std::function<void(std::vector<EventRow> events, std::vector<RunRow> runs)>;

    explicit ProductionRecorder(Sink sink) : m_sink(std::move(sink)) {}

    // `machine` is the monitor's view of the machine just after the event, when it has one.
    void onEvent(const FleetEvent& event, const std::optional<FleetMachine>& machine,
                 std::int64_t now);
    // The machine's first answer to this watcher: a row for the state it was found in (sewing:
    // Started, else CameBack), and a run from now when it sews, so that what it does from here
    // on counts although nothing changed yet.
    void onFirstAnswer(const FleetMachine& seen, std::int64_t now);
    // A design the machine took whole (`checksum` of its bytes, empty when unknown); a run
    // still open on it ends unfinished.
    void onTransfer(const std::string& address, const SentDesign& design,
                    const std::string& checksum, std::int64_t now);
    // Watching ends: every open run ends unfinished, every machine the monitor reported on gets an
    // Unwatched row, at the stitch `seen` last reported (the stitch is not known without it).
    // Later calls add nothing.
    void close(std::int64_t now, const std::vector<FleetMachine>& seen = {});

private:
    struct OpenRun
    {
        RunRow row;
        std::optional<std::int64_t> sewingSince;
        std::int32_t segmentStitch = 0; // the stitch when the sewing stretch began
        std::optional<std::int64_t> standingSince;
    };
    struct Machine
    {
        std::optional<OpenRun> run;
        RecordDesign design; // the last design acknowledged, else the monitor's
        std::string name;    // the operator's name for it, as the monitor last told
        bool watched = false; // the monitor reported on it: its end of watching is a row
    };

    // An event's rows and what it does to the machine's run; `firstSeen` marks them as the
    // state watching found.
    void record(const FleetEvent& event, const std::optional<FleetMachine>& seen,
                std::int64_t now, bool firstSeen);
    static void endSewing(OpenRun& run, std::int32_t stitch, std::int64_t now);
    static void endStanding(OpenRun& run, std::int64_t now);
    // Ends the machine's open run unfinished, if it has one, and adds it to `runs`.
    static void abandonRun(Machine& machine, std::int64_t now, std::vector<RunRow>& runs,
                           std::optional<std::int32_t> stitch = std::nullopt);
    RecordDesign designOf(Machine& machine, const std::optional<FleetMachine>& seen) const;

    Sink m_sink;
    std::mutex m_mutex;
    std::map<std::string, Machine> m_machines;
};
