#include "records/ProductionReport.h"

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

ProductionReport computeReport(const std::vector<EventRow>& events, const ReportQuery& query,
                               std::int64_t now)
{
    ProductionReport report;
    const std::int64_t end = std::min(query.until, now);
    const std::vector<Period> periods = periodsOf(query, end);

    // Each machine's stretches, from one event to the next.
    std::map<std::string, std::vector<const EventRow*>> byMachine;
    for (const EventRow& row : events)
        if (query.machine.empty() || row.address == query.machine)
            byMachine[row.address].push_back(&row);

    for (const auto& machineRows : byMachine) {
        // A plain name, not a structured binding: the lambdas below capture it.
        const std::string& address = machineRows.first;
        const auto& rows = machineRows.second;
        // Figures by period (by index) or by design.
        std::vector<ReportFigures> periodCells(periods.size());
        std::vector<char> periodUsed(periods.size(), 0);
        std::map<std::string, ReportFigures> designCells;
        std::map<std::string, std::int64_t> designStart;
        const auto periodCell = [&](std::size_t index) -> ReportFigures& {
            periodUsed[index] = 1;
            return periodCells[index];
        };
        const auto designCell = [&](const std::string& name, std::int64_t start) -> ReportFigures& {
            designStart.emplace(name, start);
            return designCells[name];
        };
        // Adds one stretch, cut by the range and the periods.
        const auto addBand = [&](const StateBand& band) {
            const std::int64_t from = std::max(band.from, query.since);
            const std::int64_t to = std::min(band.to, end);
            if (band.state == MachineState::Unknown || to <= from)
                return;
            if (query.bands) {
                report.bands.push_back(band);
                report.bands.back().from = from;
                report.bands.back().to = to;
            }
            const double length = double(band.to - band.from);
            const auto share = [&](std::int64_t a, std::int64_t b, ReportFigures& f) {
                const double seconds = double(b - a) / 1000.0;
                switch (band.state) {
                case MachineState::Sewing:
                    f.sewingSeconds += seconds;
                    // Stitches are spread evenly over the stretch.
                    f.stitchesSewn += std::llround(
                        double(std::max(0, band.toStitch - band.fromStitch)) *
                        (length > 0 ? double(b - a) / length : 1.0));
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
            if (query.by == ReportGrouping::Design) {
                share(from, to, designCell(band.design, from));
                return;
            }
            auto p = std::upper_bound(periods.begin(), periods.end(), from,
                                      [](std::int64_t t, const Period& q) { return t < q.from; });
            if (p != periods.begin())
                --p;
            for (; p != periods.end() && p->from < to; ++p) {
                const std::int64_t a = std::max(from, p->from);
                const std::int64_t b = std::min(to, p->to);
                if (b > a)
                    share(a, b, periodCell(std::size_t(p - periods.begin())));
            }
        };
        const auto periodOf = [&](std::int64_t at, const std::string& design) -> ReportFigures* {
            if (query.by == ReportGrouping::Design)
                return &designCell(design, at);
            auto p = std::upper_bound(periods.begin(), periods.end(), at,
                                      [](std::int64_t t, const Period& q) { return t < q.from; });
            if (p == periods.begin())
                return nullptr;
            --p;
            return at < p->to ? &periodCell(std::size_t(p - periods.begin())) : nullptr;
        };

        StateBand current{address, MachineState::Unknown, 0, 0, 0, 0, {}};
        for (const EventRow* row : rows) {
            current.to = row->at;
            current.toStitch = row->stitch;
            addBand(current);
            MachineState next = current.state;
            switch (row->kind) {
            case RecordKind::Started:
                next = MachineState::Sewing;
                break;
            case RecordKind::Stopped:
            case RecordKind::Finished:
                next = MachineState::Standing;
                if (row->kind == RecordKind::Finished && row->at >= query.since && row->at < end) {
                    if (ReportFigures* f = periodOf(row->at, row->design.name)) {
                        ++f->runsFinished;
                        ++f->pieces[row->design.name];
                    }
                }
                break;
            case RecordKind::WentOffline:
                next = MachineState::Offline;
                break;
            case RecordKind::CameBack:
                // A machine that comes back sewing has a Started row at the same moment.
                next = MachineState::Standing;
                break;
            case RecordKind::TransferAcknowledged:
                if (current.state == MachineState::Unknown)
                    next = MachineState::Standing;
                break;
            case RecordKind::Unwatched:
                next = MachineState::Unknown;
                break;
            }
            current = {address, next, row->at, row->at, row->stitch, row->stitch, row->design.name};
        }
        // The last state lasts until now, with the stitches not known yet.
        current.to = std::max(current.from, end);
        current.toStitch = current.fromStitch;
        addBand(current);

        const auto addRow = [&](const std::string& name, std::int64_t start, const ReportFigures& f) {
            report.rows.push_back({address, name, start, f});
            report.machines[address].add(f);
            report.total.add(f);
        };
        for (std::size_t i = 0; i < periods.size(); ++i)
            if (periodUsed[i])
                addRow(periods[i].name, periods[i].from, periodCells[i]);
        for (const auto& [name, figures] : designCells)
            addRow(name, designStart[name], figures);
    }
    std::stable_sort(report.rows.begin(), report.rows.end(), [](const ReportRow& a, const ReportRow& b) {
        return a.machine != b.machine ? a.machine < b.machine : a.periodStart < b.periodStart;
    });
    return report;
}
