#include "records/Records.h"

#include <chrono>

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
