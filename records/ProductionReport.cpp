#include "records/ProductionReport.h"

#include "records/RecordsDatabase.h"
#include "records/RecordsWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

std::tm localTm(std::int64_t at)
{
    const std::time_t seconds = static_cast<std::time_t>(at / 1000);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    return tm;
}

std::int64_t fromLocal(std::tm tm)
{
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm)) * 1000;
}

std::optional<int> number(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// "HH:MM" as minutes after midnight.
std::optional<int> minuteOfDay(std::string_view text)
{
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    const auto h = number(text.substr(0, 2));
    const auto m = number(text.substr(3, 2));
    if (!h || !m || *h > 23 || *m > 59)
        return std::nullopt;
    return *h * 60 + *m;
}

struct Period
{
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::string name;
};

std::vector<Period> periodsOf(const ReportQuery& query, std::int64_t end)
{
    std::vector<Period> out;
    if (query.by == ReportGrouping::Design)
        return out;
    for (std::int64_t day = localDayStart(query.since, query.by == ReportGrouping::Shift ? -1 : 0);
         day < end; day = localDayStart(day, 1)) {
        if (query.by == ReportGrouping::Day) {
            out.push_back({day, localDayStart(day, 1), localDate(day)});
            continue;
        }
        std::tm tm = localTm(day);
        for (const ShiftSpec& shift : query.shifts) {
            std::tm from = tm;
            from.tm_min = shift.startMinute;
            std::tm to = tm;
            to.tm_min = shift.endMinute;
            if (shift.endMinute <= shift.startMinute)
                to.tm_mday += 1;
            out.push_back({fromLocal(from), fromLocal(to), localDate(day) + " " + shift.name});
        }
    }
    std::sort(out.begin(), out.end(), [](const Period& a, const Period& b) { return a.from < b.from; });
    std::erase_if(out, [&](const Period& p) { return p.to <= query.since || p.from >= end; });
    return out;
}

} // namespace

std::optional<std::vector<ShiftSpec>> parseShifts(std::string_view text)
{
    std::vector<ShiftSpec> out;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.size() != 11 || item[5] != '-')
            return std::nullopt;
        const auto from = minuteOfDay(item.substr(0, 5));
        const auto to = minuteOfDay(item.substr(6, 5));
        if (!from || !to || *from == *to)
            return std::nullopt;
        out.push_back({*from, *to, std::string(item)});
    }
    if (out.empty() || out.size() > 24)
        return std::nullopt;
    // No minute of the day may belong to two shifts.
    std::vector<int> cover(24 * 60, 0);
    for (const ShiftSpec& s : out)
        for (int m = s.startMinute; m != s.endMinute; m = (m + 1) % (24 * 60))
            if (++cover[std::size_t(m)] > 1)
                return std::nullopt;
    return out;
}

std::optional<double> ReportFigures::utilisation() const
{
    const double online = sewingSeconds + standingSeconds;
    if (online <= 0)
        return std::nullopt;
    return sewingSeconds / online;
}

void ReportFigures::add(const ReportFigures& other)
{
    runsFinished += other.runsFinished;
    for (const auto& [design, count] : other.pieces)
        pieces[design] += count;
    stitchesSewn += other.stitchesSewn;
    sewingSeconds += other.sewingSeconds;
    standingSeconds += other.standingSeconds;
    offlineSeconds += other.offlineSeconds;
}

std::int64_t localDayStart(std::int64_t at, int days)
{
    std::tm tm = localTm(at);
    tm.tm_hour = 0;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_mday += days;
    return fromLocal(tm);
}

std::string localDate(std::int64_t at)
{
    const std::tm tm = localTm(at);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday);
    return text;
}

std::string localDateTime(std::int64_t at)
{
    const std::tm tm = localTm(at);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    return text;
}

std::optional<std::int64_t> parseLocalDate(std::string_view text)
{
    if (text.size() != 10 && !(text.size() == 16 && (text[10] == ' ' || text[10] == 'T')))
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto y = number(text.substr(0, 4));
    const auto mo = number(text.substr(5, 2));
    const auto d = number(text.substr(8, 2));
    if (!y || !mo || !d || *y < 1970 || *y > 9999 || *mo < 1 || *mo > 12 || *d < 1 || *d > 31)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = *y - 1900;
    tm.tm_mon = *mo - 1;
    tm.tm_mday = *d;
    if (text.size() == 16) {
        const auto minutes = minuteOfDay(text.substr(11, 5));
        if (!minutes)
            return std::nullopt;
        tm.tm_hour = *minutes / 60;
        tm.tm_min = *minutes % 60;
    }
    const std::tm check = tm;
    const std::int64_t at = fromLocal(tm);
    // 2026-02-31 is no date.
    if (localTm(at).tm_mday != check.tm_mday)
        return std::nullopt;
    return at;
}

namespace {

// One machine's figures by period (or by design), as stretches, finished pieces and whole hours
// come in; rows into the report at the end.
class MachineCells
{
public:
    MachineCells(const ReportQuery& query, const std::vector<Period>& periods,
                 ProductionReport& report, std::string address)
        : m_query(query), m_periods(periods), m_report(report), m_address(std::move(address)),
          m_cells(periods.size()), m_used(periods.size(), 0)
    {
    }

    const std::string& address() const { return m_address; }

    // The part of `band` within [from, to). Stitches are spread evenly over the whole stretch.
    void addStretch(const StateBand& band, std::int64_t from, std::int64_t to)
    {
        from = std::max(band.from, from);
        to = std::min(band.to, to);
        if (band.state == MachineState::Unknown || to <= from ||
            band.to - band.from > kLongestStretchMillis)
            return;
        if (m_query.bands) {
            m_report.bands.push_back(band);
            m_report.bands.back().from = from;
            m_report.bands.back().to = to;
        }
        const std::int64_t stitches =
            band.state == MachineState::Sewing ? std::max(0, band.toStitch - band.fromStitch) : 0;
        const auto share = [&](std::int64_t a, std::int64_t b, ReportFigures& f) {
            const double seconds = double(b - a) / 1000.0;
            switch (band.state) {
            case MachineState::Sewing:
                f.sewingSeconds += seconds;
                f.stitchesSewn += stitchesBefore(stitches, band.from, band.to, b) -
                                  stitchesBefore(stitches, band.from, band.to, a);
                break;
            case MachineState::Standing:
                f.standingSeconds += seconds;
                break;
            case MachineState::Offline:
                f.offlineSeconds += seconds;
                break;
            case MachineState::Unknown:
                break;
            }
        };
        if (m_query.by == ReportGrouping::Design) {
            share(from, to, designCell(band.design, from));
            return;
        }
        for (auto p = periodHolding(from); p != m_periods.end() && p->from < to; ++p) {
            const std::int64_t a = std::max(from, p->from);
            const std::int64_t b = std::min(to, p->to);
            if (b > a)
                share(a, b, periodCell(p));
        }
    }

    void addFinished(std::int64_t at, const std::string& design)
    {
        if (ReportFigures* f = cellAt(at, design)) {
            ++f->runsFinished;
            ++f->pieces[design];
        }
    }

    // A whole hour, which lies within one period.
    void addHour(std::int64_t hour, const std::string& design, const HourTotals& totals)
    {
        if (totals == HourTotals{})
            return;
        ReportFigures* f = cellAt(hour, design);
        if (!f)
            return;
        f->sewingSeconds += double(totals.sewingMs) / 1000.0;
        f->standingSeconds += double(totals.standingMs) / 1000.0;
        f->offlineSeconds += double(totals.offlineMs) / 1000.0;
        f->stitchesSewn += totals.stitches;
        if (totals.finished != 0) {
            f->runsFinished += int(totals.finished);
            f->pieces[design] += int(totals.finished);
        }
    }

    void finish()
    {
        const auto addRow = [&](const std::string& name, std::int64_t start, const ReportFigures& f) {
            m_report.rows.push_back({m_address, name, start, f});
            m_report.machines[m_address].add(f);
            m_report.total.add(f);
        };
        for (std::size_t i = 0; i < m_periods.size(); ++i)
            if (m_used[i])
                addRow(m_periods[i].name, m_periods[i].from, m_cells[i]);
        for (const auto& [name, figures] : m_designCells)
            addRow(name, m_designStart[name], figures);
    }

private:
    std::vector<Period>::const_iterator periodHolding(std::int64_t at) const
    {
        auto p = std::upper_bound(m_periods.begin(), m_periods.end(), at,
                                  [](std::int64_t t, const Period& q) { return t < q.from; });
        return p == m_periods.begin() ? p : p - 1;
    }
    ReportFigures& periodCell(std::vector<Period>::const_iterator p)
    {
        const auto index = std::size_t(p - m_periods.begin());
        m_used[index] = 1;
        return m_cells[index];
    }
    ReportFigures& designCell(const std::string& name, std::int64_t start)
    {
        m_designStart.emplace(name, start);
        return m_designCells[name];
    }
    // The cell an instant belongs to; nullptr outside every period.
    ReportFigures* cellAt(std::int64_t at, const std::string& design)
    {
        if (m_query.by == ReportGrouping::Design)
            return &designCell(design, at);
        const auto p = periodHolding(at);
        return p != m_periods.end() && p->from <= at && at < p->to ? &periodCell(p) : nullptr;
    }

    const ReportQuery& m_query;
    const std::vector<Period>& m_periods;
    ProductionReport& m_report;
    std::string m_address;
    std::vector<ReportFigures> m_cells;
    std::vector<char> m_used;
    std::map<std::string, ReportFigures> m_designCells;
    std::map<std::string, std::int64_t> m_designStart;
};

// Replays one machine's events (time order, those before the range first) into `cells`,
// counting what lies in [from, to); its last state lasts until `open`, stitches not known yet.
void replay(const std::vector<const EventRow*>& rows, std::int64_t from, std::int64_t to,
            std::int64_t open, MachineCells& cells)
{
    StateBand current{cells.address(), MachineState::Unknown, 0, 0, 0, 0, {}};
    for (const EventRow* row : rows) {
        current.to = row->at;
        current.toStitch = row->stitch;
        cells.addStretch(current, from, to);
        if (row->kind == RecordKind::Finished && row->at >= from && row->at < to)
            cells.addFinished(row->at, row->design.name);
        current = {cells.address(), stateAfter(row->kind, current.state), row->at, row->at,
                   row->stitch, row->stitch, row->design.name};
    }
    current.to = std::max(current.from, open);
    current.toStitch = current.fromStitch;
    cells.addStretch(current, from, to);
}

// A part of a report's range, served by the totals kept per hour while recording (`kept`: whole
// hours that no period boundary cuts) or by replaying its events.
struct Segment
{
    std::int64_t from = 0;
    std::int64_t to = 0;
    bool kept = false;
};

std::vector<Segment> segmentsOf(const ReportQuery& query, const std::vector<Period>& periods,
                                std::int64_t end)
{
    std::vector<Segment> out;
    const auto add = [&](std::int64_t from, std::int64_t to, bool kept) {
        if (to <= from)
            return;
        if (!out.empty() && out.back().kept == kept && out.back().to == from)
            out.back().to = to;
        else
            out.push_back({from, to, kept});
    };
    if (query.bands) { // the timeline needs every stretch
        add(query.since, end, false);
        return out;
    }
    std::vector<std::int64_t> bounds;
    for (const Period& p : periods) {
        bounds.push_back(p.from);
        bounds.push_back(p.to);
    }
    std::sort(bounds.begin(), bounds.end());
    const auto cut = [&](std::int64_t hour) {
        const auto b = std::upper_bound(bounds.begin(), bounds.end(), hour);
        return b != bounds.end() && *b < hour + kHourMillis;
    };
    std::int64_t hour = hourStart(query.since);
    if (hour < query.since)
        hour += kHourMillis;
    add(query.since, std::min(hour, end), false);
    for (; hour + kHourMillis <= end; hour += kHourMillis)
        add(hour, hour + kHourMillis, !cut(hour));
    add(std::max(hour, query.since), end, false);
    return out;
}

std::map<std::string, std::vector<const EventRow*>> eventsByMachine(
    const std::vector<EventRow>& events, const ReportQuery& query, ProductionReport& report)
{
    std::map<std::string, std::vector<const EventRow*>> out;
    for (const EventRow& row : events) {
        if (!query.machine.empty() && row.address != query.machine)
            continue;
        out[row.address].push_back(&row);
        if (!row.machineName.empty())
            report.names[row.address] = row.machineName;
    }
    return out;
}

void sortRows(ProductionReport& report)
{
    std::stable_sort(report.rows.begin(), report.rows.end(), [](const ReportRow& a, const ReportRow& b) {
        return a.machine != b.machine ? a.machine < b.machine : a.periodStart < b.periodStart;
    });
}

} // namespace

ProductionReport computeReport(const std::vector<EventRow>& events, const ReportQuery& query,
                               std::int64_t now, std::int64_t watchedUntil)
{
    ProductionReport report;
    const std::int64_t end = std::min(query.until, now);
    const std::int64_t open = std::min(end, watchedUntil);
    const std::vector<Period> periods = periodsOf(query, end);
    for (const auto& [address, rows] : eventsByMachine(events, query, report)) {
        MachineCells cells(query, periods, report, address);
        replay(rows, query.since, end, open, cells);
        cells.finish();
    }
    sortRows(report);
    return report;
}

std::optional<ProductionReport> readReport(RecordsDatabase& history, const ReportQuery& query,
                                           std::int64_t now, std::string* detail)
{
    const std::int64_t end = std::min(query.until, now);
    const std::vector<Period> periods = periodsOf(query, end);
    const auto killed = killedWatchers(history, now);
    const std::int64_t open = killed ? std::min(end, killed->lastHeard) : end;
    // Whole hours come from the totals kept while recording (a month is some 720 rows a
    // machine instead of every event); the hours a period boundary cuts, and the partial hours
    // at the ends, replay their events.
    const std::vector<Segment> segments = segmentsOf(query, periods, end);
    const auto failed = [&]() -> std::optional<ProductionReport> {
        if (detail)
            *detail = history.detail();
        return std::nullopt;
    };
    const auto firstKept = std::find_if(segments.begin(), segments.end(),
                                        [](const Segment& s) { return s.kept; });
    if (firstKept == segments.end()) {
        const auto events = history.events({query.since, query.until, query.machine});
        if (!events)
            return failed();
        return computeReport(*events, query, now, open);
    }
    std::vector<TimeRange> replayed;
    std::int64_t keptUntil = 0;
    for (const Segment& s : segments) {
        if (!s.kept)
            replayed.push_back({s.from, s.to});
        else
            keptUntil = s.to;
    }
    const auto events = history.eventsIn(query.machine, replayed);
    if (!events)
        return failed();
    const auto hours = history.hours({firstKept->from, keptUntil, query.machine});
    if (!hours)
        return failed();
    ProductionReport report;
    std::vector<std::map<std::string, std::vector<const EventRow*>>> replayedRows;
    for (const std::vector<EventRow>& rows : *events)
        replayedRows.push_back(eventsByMachine(rows, query, report));
    const auto design = [&](std::int64_t id) -> const std::string& {
        static const std::string none;
        const auto found = hours->designs.find(id);
        return found == hours->designs.end() ? none : found->second;
    };
    auto row = hours->rows.begin();
    for (std::size_t m = 0; m < hours->machines.size(); ++m) {
        const HourRows::Machine& machine = hours->machines[m];
        if (!machine.name.empty())
            report.names[machine.address] = machine.name;
        MachineCells cells(query, periods, report, machine.address);
        std::size_t range = 0;
        for (const Segment& s : segments) {
            if (!s.kept) {
                const auto& rows = replayedRows[range++];
                const auto found = rows.find(machine.address);
                if (found != rows.end())
                    replay(found->second, s.from, s.to, open, cells);
                continue;
            }
            for (; row != hours->rows.end() && row->machine == m && row->hour < s.to; ++row)
                if (row->hour >= s.from)
                    cells.addHour(row->hour, design(row->design), row->totals);
            // The stretch after the machine's last event is in no hour yet.
            if (machine.last && machine.last->at < s.to) {
                const HourRows::Last& last = *machine.last;
                cells.addStretch({machine.address, last.state, last.at, std::max(last.at, open),
                                  last.stitch, last.stitch, design(last.design)},
                                 s.from, s.to);
            }
        }
        while (row != hours->rows.end() && row->machine == m)
            ++row;
        cells.finish();
    }
    sortRows(report);
    return report;
}
