#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What happened to a machine, as the history keeps it. The numbers are stored; never reuse one.
enum class RecordKind : int {
    Started = 1,              // the machine began to sew
    Stopped = 2,              // it stood before the design's end
    Finished = 3,             // it reached the end of the design sent from this PC
    WentOffline = 4,          // it stopped answering
    CameBack = 5,             // it answers again
    TransferAcknowledged = 6, // a design sent from this PC was taken whole
    Unwatched = 7,            // the program watching it ended: nothing is known until the next row
};

// A design as the history names it.
struct RecordDesign
{
    std::string name;
    std::int32_t stitches = 0;
    std::int32_t colors = 0;
    std::string checksum; // CRC-32 of the file's bytes as 8 hex digits; empty when unknown

    bool operator==(const RecordDesign&) const = default;
};

// One event row. Times are milliseconds since 1970-01-01 UTC.
struct EventRow
{
    std::int64_t at = 0;
    RecordKind kind = RecordKind::Started;
    std::string address;
    std::string machineName;
    RecordDesign design; // the design on the machine then; empty name when none is known
    std::int32_t stitch = 0; // the machine's current stitch at its last answer
    // Watching began and found the machine so: kept only where the history knew it otherwise
    // (nothing, after an ended watcher, or another state), so a second watcher adds nothing.
    bool firstSeen = false;

    bool operator==(const EventRow&) const = default;
};

// One run: a design on a machine from its start to its finish or abandonment.
struct RunRow
{
    std::string address;
    std::string machineName;
    RecordDesign design;
    std::int64_t started = 0;
    std::int64_t ended = 0; // 0 while the run goes on
    bool finished = false;  // reached the design's end (else stopped or abandoned)
    std::int64_t stitchesSewn = 0;
    double sewingSeconds = 0;
    double standingSeconds = 0;
    int stops = 0;

    bool operator==(const RunRow&) const = default;
};

std::string_view recordKindName(RecordKind kind);

// What a machine was doing between two events.
enum class MachineState { Unknown, Sewing, Standing, Offline };

// The state an event leaves the machine in, given the state before it. Only an acknowledged
// transfer keeps the state it finds (a machine nobody knew about stands).
MachineState stateAfter(RecordKind kind, MachineState before);

// The history keeps, per machine, design and hour, what the machine did in that hour, so that
// a report over a month adds hours instead of replaying every event.
constexpr std::int64_t kHourMillis = 3600 * 1000;

struct HourTotals
{
    std::int64_t sewingMs = 0;
    std::int64_t standingMs = 0;
    std::int64_t offlineMs = 0;
    std::int64_t stitches = 0;
    std::int64_t finished = 0;

    bool operator==(const HourTotals&) const = default;
};

// A stretch longer than this between two events of a machine is not counted: nobody watched
// it (a killed watcher leaves no row), or the clock jumped.
constexpr std::int64_t kLongestStretchMillis = 31LL * 24 * kHourMillis;

// The start of the hour (since 1970 UTC) holding `at`.
std::int64_t hourStart(std::int64_t at);

// Of a stretch sewing `stitches` stitches evenly over [from, to), those sewn before `at`. Every
// split of a stretch (by day, shift or hour) takes its pieces from this one rounding, so the
// pieces always add up to the stretch.
std::int64_t stitchesBefore(std::int64_t stitches, std::int64_t from, std::int64_t to,
                            std::int64_t at);

// Calls `add(hour, totals)` for each hour the stretch [from, to) in `state` touches, with that
// hour's part of its time and stitches.
template <typename Add>
void splitByHour(MachineState state, std::int64_t from, std::int64_t to, std::int64_t stitches,
                 Add&& add)
{
    if (state == MachineState::Unknown || to <= from || to - from > kLongestStretchMillis)
        return;
    for (std::int64_t hour = hourStart(from); hour < to; hour += kHourMillis) {
        const std::int64_t a = hour > from ? hour : from;
        const std::int64_t b = hour + kHourMillis < to ? hour + kHourMillis : to;
        HourTotals part;
        switch (state) {
        case MachineState::Sewing:
            part.sewingMs = b - a;
            part.stitches = stitchesBefore(stitches, from, to, b) -
                            stitchesBefore(stitches, from, to, a);
            break;
        case MachineState::Standing:
            part.standingMs = b - a;
            break;
        case MachineState::Offline:
            part.offlineMs = b - a;
            break;
        case MachineState::Unknown:
            break;
        }
        add(hour, part);
    }
}

// Milliseconds since 1970-01-01 UTC now.
std::int64_t wallClockMillis();
