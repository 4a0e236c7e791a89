#include "records/Records.h"

#include "app/Utf8Path.h"
#include "records/RecordsDatabase.h"

#include <chrono>
#include <cmath>

std::string_view recordKindName(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Started:
        return "started";
    case RecordKind::Stopped:
        return "stopped";
    case RecordKind::Finished:
        return "finished";
    case RecordKind::WentOffline:
        return "offline";
    case RecordKind::CameBack:
        return "back";
    case RecordKind::TransferAcknowledged:
        return "transfer";
    case RecordKind::Unwatched:
        return "unwatched";
    }
    return "unknown";
}

std::int64_t wallClockMillis()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

MachineState stateAfter(RecordKind kind, MachineState before)
{
    switch (kind) {
    case RecordKind::Started:
        return MachineState::Sewing;
    case RecordKind::Stopped:
    case RecordKind::Finished:
        return MachineState::Standing;
    case RecordKind::WentOffline:
        return MachineState::Offline;
    case RecordKind::CameBack:
        // A machine that comes back sewing has a Started row at the same moment.
        return MachineState::Standing;
    case RecordKind::TransferAcknowledged:
        return before == MachineState::Unknown ? MachineState::Standing : before;
    case RecordKind::Unwatched:
        return MachineState::Unknown;
    }
    return before;
}

std::int64_t hourStart(std::int64_t at)
{
    const std::int64_t hour = at / kHourMillis - (at % kHourMillis < 0 ? 1 : 0);
    return hour * kHourMillis;
}

std::int64_t stitchesBefore(std::int64_t stitches, std::int64_t from, std::int64_t to,
                            std::int64_t at)
{
    if (stitches <= 0 || at <= from)
        return 0;
    if (at >= to)
        return stitches;
    return std::llround(double(stitches) * (double(at - from) / double(to - from)));
}

std::string RecordsDatabase::pathBeside(const std::string& configPath)
{
    return utf8FromPath(pathFromUtf8(configPath).parent_path() / kFileName);
}
