// Builds without SQLite (the cross-built tool) keep no history and say so.
#include "records/RecordsDatabase.h"


struct RecordsDatabase::Impl
{
};

std::string_view recordsFaultText(RecordsFault fault)
{
    switch (fault) {
    case RecordsFault::None:
        return "ok";
    case RecordsFault::Overflow:
        return "rows came faster than the disk took them; some were dropped";
    default:
        return "this build keeps no production history";
    }
}

bool RecordsDatabase::available()
{
    return false;
}

RecordsDatabase::RecordsDatabase() = default;
RecordsDatabase::~RecordsDatabase() = default;
bool RecordsDatabase::isOpen() const { return false; }
void RecordsDatabase::close() {}
RecordsFault RecordsDatabase::open(const std::string&, Mode, bool) { return RecordsFault::NotAvailable; }
bool RecordsDatabase::append(const std::vector<EventRow>&, const std::vector<RunRow>&) { return false; }
std::optional<std::int64_t> RecordsDatabase::removeOlderThan(std::int64_t) { return std::nullopt; }
std::optional<std::string> RecordsDatabase::meta(const std::string&) { return std::nullopt; }
bool RecordsDatabase::setMeta(const std::string&, const std::string&) { return false; }
bool RecordsDatabase::removeMeta(const std::string&) { return false; }
std::optional<std::map<std::string, std::string>> RecordsDatabase::metaStartingWith(const std::string&)
{
    return std::nullopt;
}
std::optional<std::vector<EventRow>> RecordsDatabase::events(const RecordsQuery&) { return std::nullopt; }
bool RecordsDatabase::endWatching(std::int64_t, const std::vector<std::string>&)
{
    return false;
}
std::optional<std::vector<std::vector<EventRow>>> RecordsDatabase::eventsIn(
    const std::string&, const std::vector<TimeRange>&)
{
    return std::nullopt;
}
std::optional<std::vector<RunRow>> RecordsDatabase::runs(const RecordsQuery&) { return std::nullopt; }
std::optional<HourRows> RecordsDatabase::hours(const RecordsQuery&) { return std::nullopt; }
std::string RecordsDatabase::integrityCheck() { return "not available"; }
