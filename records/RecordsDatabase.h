#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/Records.h"

// Why a history file cannot be used; the front-ends turn it into their own words.
enum class RecordsFault {
    None,
    NotAvailable, // this build keeps no history
    NotRegular,   // a folder, device or other special file
    Unreadable,   // cannot be opened or read (permissions, a damaged file)
    Foreign,      // an SQLite file of another program, or no SQLite file at all
    Newer,        // written by a newer version of this program: never rewritten
    Damaged,      // the integrity check failed
    Busy,         // other writers held it for longer than the busy timeout
    Overflow,     // rows came faster than the disk took them: some were dropped
};

std::string_view recordsFaultText(RecordsFault fault);

// Everything asked of the history in one query; times in milliseconds since 1970 UTC.
struct RecordsQuery
{
    std::int64_t since = 0;
    std::int64_t until = INT64_MAX;
    std::string machine; // one address, or empty for all
};

struct TimeRange
{
    std::int64_t since = 0;
    std::int64_t until = INT64_MAX;
};

// The totals kept per machine, design and hour, with what a report needs around them.
struct HourRows
{
    struct Last // a machine's last event: its state lasts until now
    {
        std::int64_t at = 0;
        MachineState state = MachineState::Unknown;
        std::int32_t stitch = 0;
        std::int64_t design = 0;
    };
    struct Machine
    {
        std::string address;
        std::string name;
        std::optional<Last> last;
    };
    struct Row
    {
        std::size_t machine = 0; // index into machines
        std::int64_t hour = 0;   // the hour's start, milliseconds since 1970 UTC
        std::int64_t design = 0; // key of designs; 0 for none
        HourTotals totals;
    };
    std::vector<Machine> machines;               // by address
    std::map<std::int64_t, std::string> designs; // design names by key
    std::vector<Row> rows;                       // machine by machine, hour by hour
};

// The production history: an SQLite file (WAL, busy timeout) shared by the window and the
// tools. Each writer writes in short IMMEDIATE transactions, so a kill loses at most the batch
// it was writing and never a committed row.
class RecordsDatabase
{
public:
    static constexpr std::string_view kFileName = "hoopwatch-history.sqlite";
    // The schema version this program writes; older files are brought up to it.
    static constexpr int kSchemaVersion = 3;

    // The history file in the folder of the given configuration file.
    static std::string pathBeside(const std::string& configPath);
    // False when this build was made without SQLite.
    static bool available();

    enum class Mode { ReadOnly, ReadWrite };

    RecordsDatabase();
    ~RecordsDatabase();
    RecordsDatabase(const RecordsDatabase&) = delete;
    RecordsDatabase& operator=(const RecordsDatabase&) = delete;

    // Opens (ReadWrite: creates or upgrades) the file. A file that fails any check is left
    // exactly as it was. `detail` gets the library's own words, for stderr.
    RecordsFault open(const std::string& path, Mode mode, bool checkIntegrity = false);
    bool isOpen() const;
    const std::string& detail() const { return m_detail; }
    void close();

    // One transaction for all of them; false (and nothing kept) when it failed. An event or run
    // another watcher of the same machine has already recorded is not recorded twice.
    bool append(const std::vector<EventRow>& events, const std::vector<RunRow>& runs);
    // Removes events and ended runs older than `before`; the count removed, nullopt on failure.
    std::optional<std::int64_t> removeOlderThan(std::int64_t before);
    // A small named value shared by every writer (the last retention pass, for instance).
    std::optional<std::string> meta(const std::string& key);
    bool setMeta(const std::string& key, const std::string& value);
    bool removeMeta(const std::string& key);
    // The program that watched the machines was killed at `at`: each machine last heard of
    // before then, in a known state, gets an Unwatched row there, and the watcher keys given go;
    // one transaction. False (and nothing changed) on failure.
    bool endWatching(std::int64_t at, const std::vector<std::string>& watcherKeys);
    // Every named value whose key starts with `prefix`.
    std::optional<std::map<std::string, std::string>> metaStartingWith(const std::string& prefix);

    // Events in [since, until), machine by machine in time order. Each machine's last event
    // before `since` comes first (with the events back to the last one that set its state, when
    // that was an acknowledged transfer), and its first event from `until` on last, so that
    // the stretches crossing the range's ends are whole.
    std::optional<std::vector<EventRow>> events(const RecordsQuery& query);
    // events() for each range (one list per range) of one machine or all, in one read.
    std::optional<std::vector<std::vector<EventRow>>> eventsIn(const std::string& machine,
                                                               const std::vector<TimeRange>& ranges);
    // The hours starting in [since, until), every machine (matching the query) and its last event.
    std::optional<HourRows> hours(const RecordsQuery& query);
    // Runs that overlap [since, until), in start order.
    std::optional<std::vector<RunRow>> runs(const RecordsQuery& query);
    // "ok" when the file is sound, else the first complaint.
    std::string integrityCheck();

private:
    RecordsFault openOnce(const std::string& path, Mode mode, bool checkIntegrity);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_detail;
};
