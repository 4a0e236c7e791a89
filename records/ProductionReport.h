#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/Records.h"

enum class ReportGrouping { Day, Shift, Design };

// One shift of the day, in minutes after local midnight; it ends on the next day when its end
// is not after its start.
struct ShiftSpec
{
    int startMinute = 0;
    int endMinute = 0;
    std::string name; // "08:00-20:00"
};

// "08:00-20:00,20:00-08:00": nullopt for anything else, or for shifts that overlap.
std::optional<std::vector<ShiftSpec>> parseShifts(std::string_view text);

struct ReportQuery
{
    std::int64_t since = 0; // milliseconds since 1970 UTC
    std::int64_t until = 0;
    std::string machine; // empty: every machine
    ReportGrouping by = ReportGrouping::Day;
    std::vector<ShiftSpec> shifts;
    bool bands = true; // keep the stretches for a timeline
};

struct ReportFigures
{
    int runsFinished = 0;
    std::map<std::string, int> pieces; // finished runs by design name
    std::int64_t stitchesSewn = 0;
    double sewingSeconds = 0;
    double standingSeconds = 0;
    double offlineSeconds = 0;
    // Sewing over time online (sewing and standing); nullopt when the machine was never online.
    std::optional<double> utilisation() const;
    void add(const ReportFigures& other);
};

struct ReportRow
{
    std::string machine;
    std::string period; // "2026-12-07", "2026-12-07 08:00-20:00" or a design name
    std::int64_t periodStart = 0;
    ReportFigures figures;
};

// One stretch of a machine's day, for the timeline.
struct StateBand
{
    std::string machine;
    MachineState state = MachineState::Unknown;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int32_t fromStitch = 0;
    std::int32_t toStitch = 0;
    std::string design;
};

struct ProductionReport
{
    std::vector<ReportRow> rows;                   // by machine, then period
    std::map<std::string, ReportFigures> machines; // each machine over the whole range
    ReportFigures total;
    std::vector<StateBand> bands; // known stretches within the range, by machine then time
    std::map<std::string, std::string> names; // the machines' names as last recorded, by address
};

class RecordsDatabase;

// The report over events as RecordsDatabase::events gives them (each machine's events in time
// order, its last event before the range first). Time after `now` is not counted, nor a
// machine's last state after `watchedUntil` (when its watcher was killed); days and shifts are
// those of the local time zone.
ProductionReport computeReport(const std::vector<EventRow>& events, const ReportQuery& query,
                               std::int64_t now, std::int64_t watchedUntil = INT64_MAX);

// The report straight from the history: whole hours from the totals kept while recording, the
// hours a period boundary cuts from the events; a watcher killed while no other program watches
// leaves its machines' last state counted until it was last heard of. nullopt when the file could not be read
// (`detail` gets the library's words).
std::optional<ProductionReport> readReport(RecordsDatabase& history, const ReportQuery& query,
                                           std::int64_t now, std::string* detail = nullptr);

// Local midnight of the day holding `at`, and of the days around it (`days` later).
std::int64_t localDayStart(std::int64_t at, int days = 0);
// "2026-12-07" and "2026-12-07 08:00" in local time.
std::string localDate(std::int64_t at);
std::string localDateTime(std::int64_t at);
// "2026-12-07" or "2026-12-07 08:00" (local) as milliseconds since 1970; nullopt otherwise.
std::optional<std::int64_t> parseLocalDate(std::string_view text);
