// The report over recorded events: periods, shifts, designs, stretches cut at their edges.
#include "records/ProductionReport.h"

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kMinute = 60 * 1000;
constexpr std::int64_t kHour = 60 * kMinute;

struct UtcZone
{
    UtcZone()
    {
#ifdef _WIN32
        ::_putenv_s("TZ", "UTC");
        ::_tzset();
#else
        ::setenv("TZ", "UTC", 1);
        ::tzset();
#endif
    }
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
