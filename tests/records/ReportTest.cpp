// The report over recorded events: periods, shifts, designs, stretches cut at their edges.
#include "records/ProductionReport.h"

#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <regex>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "app/TextWidth.h"
#include "records/ProductionSample.h"
#include "records/ReportChart.h"
#include "records/ReportFormat.h"
#include "records/RecordsDatabase.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr std::int64_t kMinute = 60 * 1000;
constexpr std::int64_t kHour = 60 * kMinute;

// Local time for the report's days and shifts: a POSIX TZ value.
void useZone(const char* zone)
{
#ifdef _WIN32
    ::_putenv_s("TZ", zone);
    ::_tzset();
#else
    ::setenv("TZ", zone, 1);
    ::tzset();
#endif
}

struct UtcZone
{
    UtcZone() { useZone("UTC"); }
};

EventRow at(std::int64_t ms, RecordKind kind, int stitch, const char* design = "flower.dst",
            const char* address = "127.0.0.11")
{
    return {ms, kind, address, {}, {design, 1000, 3, ""}, stitch};
}

} // namespace

TEST(ProductionReport, FiguresPerPeriodShiftAndDesign)
{
    UtcZone utc;
    const std::int64_t day = *parseLocalDate("2026-12-07");
    // Standing from 07:00; sewing 07:30-08:30 (600 stitches, across the shift change),
    // offline 09:00-10:00, finished at 19:30 after sewing from 19:00, another design from 21:00
    // to 21:30, then the watching program ends.
    const std::vector<EventRow> events = {
        at(day + 7 * kHour, RecordKind::TransferAcknowledged, 0),
        at(day + 7 * kHour + 30 * kMinute, RecordKind::Started, 0),
        at(day + 8 * kHour + 30 * kMinute, RecordKind::Stopped, 600),
        at(day + 9 * kHour, RecordKind::WentOffline, 600),
        at(day + 10 * kHour, RecordKind::CameBack, 600),
        at(day + 19 * kHour, RecordKind::Started, 600),
        at(day + 19 * kHour + 30 * kMinute, RecordKind::Finished, 1000),
        at(day + 21 * kHour, RecordKind::TransferAcknowledged, 0, "star.dst"),
        at(day + 21 * kHour, RecordKind::Started, 0, "star.dst"),
        at(day + 21 * kHour + 30 * kMinute, RecordKind::Finished, 500, "star.dst"),
        at(day + 22 * kHour, RecordKind::Unwatched, 0, "star.dst"),
        at(day + 8 * kHour, RecordKind::Started, 0, "x.dst", "127.0.0.12"), // other machine
    };
    ReportQuery query;
    query.since = day;
    query.until = day + 24 * kHour;
    query.machine = "127.0.0.11";
    query.shifts = *parseShifts("08:00-20:00,20:00-08:00");

    query.by = ReportGrouping::Day;
    const ProductionReport byDay = computeReport(events, query, day + 30 * kHour);
    ASSERT_EQ(byDay.rows.size(), 1u);
    const ReportFigures& f = byDay.rows[0].figures;
    EXPECT_EQ(byDay.rows[0].period, "2026-12-07");
    EXPECT_EQ(f.runsFinished, 2);
    EXPECT_EQ(f.pieces, (std::map<std::string, int>{{"flower.dst", 1}, {"star.dst", 1}}));
    EXPECT_EQ(f.stitchesSewn, 600 + 400 + 500);
    EXPECT_DOUBLE_EQ(f.sewingSeconds, 2 * 3600.0);
    EXPECT_DOUBLE_EQ(f.offlineSeconds, 3600.0);
    // 07:00-22:00 is 15 h watched: 2 h sewing, 1 h offline, 12 h standing.
    EXPECT_DOUBLE_EQ(f.standingSeconds, 12 * 3600.0);
    EXPECT_DOUBLE_EQ(*f.utilisation(), 2.0 / 14.0);

    query.by = ReportGrouping::Shift;
    const ProductionReport byShift = computeReport(events, query, day + 30 * kHour);
    ASSERT_EQ(byShift.rows.size(), 3u);
    EXPECT_EQ(byShift.rows[0].period, "2026-12-06 20:00-08:00");
    EXPECT_EQ(byShift.rows[0].figures.stitchesSewn, 300); // half the 07:30-08:30 stretch
    EXPECT_EQ(byShift.rows[1].period, "2026-12-07 08:00-20:00");
    EXPECT_EQ(byShift.rows[1].figures.stitchesSewn, 300 + 400);
    EXPECT_EQ(byShift.rows[1].figures.runsFinished, 1);
    EXPECT_EQ(byShift.rows[2].period, "2026-12-07 20:00-08:00");
    EXPECT_EQ(byShift.rows[2].figures.pieces.at("star.dst"), 1);
    EXPECT_EQ(byShift.total.stitchesSewn, byDay.total.stitchesSewn);

    query.by = ReportGrouping::Design;
    const ProductionReport byDesign = computeReport(events, query, day + 30 * kHour);
    ASSERT_EQ(byDesign.rows.size(), 2u);
    EXPECT_EQ(byDesign.rows[1].period, "star.dst");
    EXPECT_EQ(byDesign.rows[1].figures.stitchesSewn, 500);

    // A range that starts mid-stretch takes the earlier event's state and its share.
    query.by = ReportGrouping::Day;
    query.since = day + 8 * kHour;
    const ProductionReport late = computeReport(events, query, day + 30 * kHour);
    EXPECT_EQ(late.total.stitchesSewn, 300 + 400 + 500);
    // Nothing counts after `now`.
    const ProductionReport early = computeReport(events, query, day + 8 * kHour + 15 * kMinute);
    EXPECT_DOUBLE_EQ(early.total.sewingSeconds, 15 * 60.0);
}

TEST(ProductionReport, BadShiftsAndDatesAreRefused)
{
    UtcZone utc;
    for (const char* text : {"", "08:00-08:00", "8:00-20:00", "08:00-20:00,19:00-21:00",
                             "24:00-01:00", "08:00-20:00;20:00-08:00"})
        EXPECT_FALSE(parseShifts(text)) << text;
    EXPECT_EQ(parseShifts("06:00-14:00,14:00-22:00,22:00-06:00")->size(), 3u);
    for (const char* text : {"2026-02-31", "2026-13-01", "26-12-07", "2026-12-07 25:00", "x"})
        EXPECT_FALSE(parseLocalDate(text)) << text;
    EXPECT_EQ(*parseLocalDate("1970-01-02 01:00"), 25 * kHour);
}

// The totals the history keeps per hour while recording give the report that replaying every
// event gives, whatever order the events arrive in and however often two watchers tell the same
// event; a told-again finish is one piece.
TEST(ProductionReport, HoursKeptWhileRecordingGiveTheReportOfTheEvents)
{
    UtcZone utc;
    TempFolder folder;
    const std::int64_t from = *parseLocalDate("2026-12-01");
    const std::int64_t to = from + 3 * 24 * kHour;
    std::vector<EventRow> fed;
    std::vector<RunRow> runs;
    ProductionRecorder recorder([&](std::vector<EventRow> e, std::vector<RunRow> r) {
        fed.insert(fed.end(), e.begin(), e.end());
        runs.insert(runs.end(), r.begin(), r.end());
    });
    feedProductionSample(recorder, {4, "127.0.0.", from, to, 7});
    const auto finished = std::count_if(fed.begin(), fed.end(), [](const EventRow& e) {
        return e.kind == RecordKind::Finished;
    });

    RecordsDatabase db;
    ASSERT_EQ(db.open(folder.file("h.sqlite"), RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
    // Batches of 40; every third waits for the next one (a slow writer); every fourth event is
    // told again 3 s later by a second watcher.
    std::vector<EventRow> held;
    for (std::size_t i = 0; i < fed.size(); i += 40) {
        std::vector<EventRow> batch(fed.begin() + std::ptrdiff_t(i),
                                    fed.begin() + std::ptrdiff_t(std::min(fed.size(), i + 40)));
        for (std::size_t k = 0; k < batch.size(); k += 4) {
            EventRow again = batch[k];
            again.at += 3000;
            batch.push_back(again);
        }
        if ((i / 40) % 3 == 0) {
            held = std::move(batch);
            continue;
        }
        ASSERT_TRUE(db.append(batch, {}));
        ASSERT_TRUE(db.append(held, {}));
        held.clear();
    }
    ASSERT_TRUE(db.append(held, {}));
    // A clock that jumped years ahead and back: the stretch across the jump is nobody's time.
    const std::int64_t year = 365 * 24 * kHour;
    ASSERT_TRUE(db.append({at(from, RecordKind::Started, 0, "x.dst", "127.0.0.250"),
                           at(from + 5 * year, RecordKind::Stopped, 900, "x.dst", "127.0.0.250")},
                          {}));
    ASSERT_TRUE(db.append({at(from + kHour, RecordKind::Stopped, 100, "x.dst", "127.0.0.250")}, {}));
    // A machine that started and was last heard of then: it sews until now.
    ASSERT_TRUE(db.append({at(from + 10 * kMinute + 30000, RecordKind::Started, 0, "x.dst", "127.0.0.251")}, {}));
    const auto jumped = db.hours({from, from + 6 * year, "127.0.0.250"});
    ASSERT_TRUE(jumped);
    EXPECT_EQ(jumped->rows.size(), 1u) << "one hour sewing; no hour across the jump";
    // Each run told by both watchers: one that saw it all, and one that came up to ten minutes
    // late and told its end 2 s later, in either order. The run from its earliest start is kept.
    std::multiset<std::int64_t> starts;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        RunRow late = runs[i];
        late.started = std::clamp(late.started + 600000, late.started, late.ended - 1000);
        late.ended += 2000;
        ASSERT_TRUE(db.append({}, {i % 2 ? runs[i] : late}));
        ASSERT_TRUE(db.append({}, {i % 2 ? late : runs[i]}));
        starts.insert(runs[i].started);
    }
    const auto kept = db.runs({});
    ASSERT_TRUE(kept);
    std::multiset<std::int64_t> keptStarts;
    for (const RunRow& run : *kept)
        keptStarts.insert(run.started);
    EXPECT_EQ(keptStarts, starts);

    const std::int64_t later = to + 5 * kHour;
    struct Case
    {
        std::int64_t since, until, now;
        ReportGrouping by;
        const char* shifts = "06:00-14:00,14:00-22:00,22:00-06:00";
        const char* zone = nullptr; // a POSIX TZ value for the case, else UTC
    };
    const Case cases[] = {
        {from, to, later, ReportGrouping::Day},
        {from + 24 * kHour, from + 2 * 24 * kHour, later, ReportGrouping::Shift}, // events after
        {from, to, from + 2 * 24 * kHour + 90 * kMinute + 17000, ReportGrouping::Design},
        {from + 7 * kHour, to + 24 * kHour, later, ReportGrouping::Day},
        // Shifts and a start off the hour: the hours they cut replay their events.
        {from + 7 * kHour + 20 * kMinute, to, later, ReportGrouping::Shift,
         "06:30-14:45,14:45-22:00,22:00-06:30"},
        // Local midnight on the half hour, as in India.
        {from, to + 24 * kHour, later, ReportGrouping::Day, "08:00-20:00,20:00-08:00", "IST-5:30"},
        {from, to, later, ReportGrouping::Shift, "08:00-20:00,20:00-08:00", "NPT-5:45"},
    };
    using Key = std::tuple<std::string, std::string>;
    const auto keyed = [](const ProductionReport& r) {
        std::map<Key, ReportFigures> out;
        for (const ReportRow& row : r.rows)
            out[{row.machine, row.period}] = row.figures;
        out[{"", "total"}] = r.total;
        return out;
    };
    for (const Case& c : cases) {
        useZone(c.zone ? c.zone : "UTC");
        ReportQuery query;
        query.since = c.since;
        query.until = c.until;
        query.by = c.by;
        query.shifts = *parseShifts(c.shifts);
        query.bands = false;
        const auto events = db.events({c.since, c.until, ""});
        const auto byHours = readReport(db, query, c.now);
        ASSERT_TRUE(events && byHours);
        const auto expected = keyed(computeReport(*events, query, c.now));
        const auto got = keyed(*byHours);
        ASSERT_EQ(got.size(), expected.size()) << int(c.by);
        for (const auto& [key, want] : expected) {
            const ReportFigures& f = got.at(key);
            const std::string where = std::get<0>(key) + " " + std::get<1>(key);
            EXPECT_EQ(f.runsFinished, want.runsFinished) << where;
            EXPECT_EQ(f.pieces, want.pieces) << where;
            EXPECT_EQ(f.stitchesSewn, want.stitchesSewn) << where;
            EXPECT_NEAR(f.sewingSeconds, want.sewingSeconds, 1e-6) << where;
            EXPECT_NEAR(f.standingSeconds, want.standingSeconds, 1e-6) << where;
            EXPECT_NEAR(f.offlineSeconds, want.offlineSeconds, 1e-6) << where;
        }
    }
    useZone("UTC");
    // The hours themselves: every piece once, every stitch of every closed stretch.
    const auto hours = db.hours({from, to + 24 * kHour, ""});
    ASSERT_TRUE(hours);
    std::int64_t pieces = 0;
    std::int64_t stitches = 0;
    for (const HourRows::Row& row : hours->rows) {
        pieces += row.totals.finished;
        stitches += row.totals.stitches;
    }
    EXPECT_EQ(pieces, finished);
    ReportQuery all;
    all.since = from;
    all.until = to + 24 * kHour;
    EXPECT_EQ(stitches, computeReport(*db.events({from, all.until, ""}), all, later).total.stitchesSewn);
}

// The plain report's columns line up on a terminal whatever the names: a Chinese machine or
// design name takes two columns a character.
TEST(ProductionReport, PlainTableLinesUpWithChineseNames)
{
    ReportFigures f;
    f.runsFinished = 1;
    f.stitchesSewn = 285;
    ProductionReport report;
    report.names["127.0.0.11"] = "左边机器";
    report.rows = {{"127.0.0.11", "花样.dst", 0, f}, {"127.0.0.12", "flower.dst", 0, f}};
    report.machines = {{"127.0.0.11", f}, {"127.0.0.12", f}};
    report.total = f;
    std::vector<std::size_t> ends; // the column where the stitches end, line by line
    std::string text = reportText(report);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const std::size_t at = line.find(start == 0 ? "stitches" : "285");
        ASSERT_NE(at, std::string::npos) << line;
        ends.push_back(displayWidth(line.substr(0, at)) + (start == 0 ? 8 : 3));
    }
    ASSERT_EQ(ends.size(), 6u) << text;
    for (std::size_t end : ends)
        EXPECT_EQ(end, ends[0]) << text;
    EXPECT_NE(text.find("左边机器 (127.0.0.11)"), std::string::npos) << text;
}

// A chart of a few machines names each and shows its figures; one of a large shop names every
// so many, so that no two names overlap.
TEST(ProductionReport, ChartNamesNeverOverlap)
{
    for (const int machines : {3, 254}) {
        ProductionReport report;
        for (int m = 1; m <= machines; ++m) {
            ReportFigures f;
            f.stitchesSewn = 1000 * m;
            f.sewingSeconds = 60;
            f.standingSeconds = 60;
            report.machines["127.0.0." + std::to_string(m)] = f;
        }
        const std::string svg = reportChartSvg(report, 0, kHour, 900);
        // The names under the bars stand on one line at the foot of the bars.
        std::vector<double> xs;
        const std::regex name("<text x=\"([0-9.]+)\" y=\"242.0\"");
        for (auto it = std::sregex_iterator(svg.begin(), svg.end(), name); it != std::sregex_iterator(); ++it)
            xs.push_back(std::stod((*it)[1]));
        ASSERT_FALSE(xs.empty()) << machines;
        if (machines == 3) {
            EXPECT_EQ(xs.size(), 3u);
            EXPECT_NE(svg.find(">3000</text>"), std::string::npos) << "figures over the bars";
        }
        for (std::size_t i = 1; i < xs.size(); ++i)
            EXPECT_GE(xs[i] - xs[i - 1], 70.0) << machines << " machines";
    }
}
