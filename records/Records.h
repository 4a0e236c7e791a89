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

// Milliseconds since 1970-01-01 UTC now.
std::int64_t wallClockMillis();
