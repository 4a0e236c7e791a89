// The production history at the scale of a large shop: 254 machines sewing for 30 days of
// generated events. Counters: the file's size, rows written per second when filling it; the
// benchmarks: a month's report, and what recording one fleet event costs the monitor's thread.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/HistorySample.h"
#include "records/ProductionRecorder.h"
#include "records/ProductionReport.h"
#include "records/RecordsDatabase.h"
#include "records/RecordsWriter.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr std::int64_t kDay = 24LL * 3600 * 1000;
constexpr std::int64_t kStart = 1796083200000; // 2026-12-01 00:00 UTC

struct Month
{
    TempFolder folder;
    std::string path;
    std::int64_t events = 0;
    std::int64_t rows = 0;
    double fillSeconds = 0;
    double megabytes = 0;
};

// Filled once, shared by the benchmarks.
Month& month()
{
    static std::unique_ptr<Month> m = [] {
        auto out = std::make_unique<Month>();
        out->path = out->folder.file("hoopwatch-history.sqlite");
        const auto started = std::chrono::steady_clock::now();
        const FilledHistory filled =
            fillHistory(out->path, {254, "127.0.0.", kStart, kStart + 30 * kDay, 21});
        out->events = filled.events;
        out->rows = filled.rows;
        out->fillSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        for (const char* suffix : {"", "-wal"}) {
            std::error_code error;
            const auto size = std::filesystem::file_size(out->path + suffix, error);
            out->megabytes += error ? 0.0 : double(size) / 1e6;
        }
        return out;
    }();
    return *m;
}

// The month's report over every machine by day, shift or design, from opening the file to the
// figures; in a shop on UTC, or on UTC+5:30, where days and shifts start on the half hour.
void BM_MonthReport254(benchmark::State& state)
{
    Month& m = month();
    const bool halfHour = state.range(1) != 0;
    setenv("TZ", halfHour ? "IST-5:30" : "UTC", 1);
    tzset();
    const std::int64_t since = kStart - (halfHour ? 330 * 60 * 1000 : 0); // local midnight
    std::int64_t stitches = 0;
    for (auto _ : state) {
        RecordsDatabase db;
        db.open(m.path, RecordsDatabase::Mode::ReadOnly);
        ReportQuery query;
        query.since = since;
        query.until = since + 30 * kDay;
        query.bands = false;
        query.by = static_cast<ReportGrouping>(state.range(0));
        query.shifts = *parseShifts("08:00-20:00,20:00-08:00");
        const auto report = readReport(db, query, query.until);
        stitches = report->total.stitchesSewn;
        benchmark::DoNotOptimize(stitches);
    }
    state.counters["db_MB"] = m.megabytes;
    state.counters["events_fed"] = double(m.events);
    state.counters["rows_per_s_filling"] = double(m.rows) / m.fillSeconds;
    state.counters["stitches"] = double(stitches);
}
BENCHMARK(BM_MonthReport254)
    ->ArgNames({"by", "half_hour_zone"})
    ->ArgsProduct({{int(ReportGrouping::Day), int(ReportGrouping::Shift),
                    int(ReportGrouping::Design)},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The reading part of it alone: the month's events out of the file.
void BM_MonthEventsRead254(benchmark::State& state)
{
    Month& m = month();
    for (auto _ : state) {
        RecordsDatabase db;
        db.open(m.path, RecordsDatabase::Mode::ReadOnly);
        const auto events = db.events({kStart, kStart + 30 * kDay, ""});
        benchmark::DoNotOptimize(events->size());
    }
}
BENCHMARK(BM_MonthEventsRead254)->Unit(benchmark::kMillisecond)->Iterations(5);

// One fleet event as the monitor's listener pays for it: the recorder's bookkeeping and the
// hand-over to the writer thread (the disk work happens there).
void BM_RecordOneEvent(benchmark::State& state)
{
    TempFolder folder(true);
    RecordsWriter writer({folder.file("h.sqlite"), 400, 1u << 20}, {});
    ProductionRecorder recorder([&](std::vector<EventRow> e, std::vector<RunRow> r) {
        writer.push(std::move(e), std::move(r));
    });
    FleetMachine seen;
    seen.address = "127.0.0.7";
    seen.design = SentDesign{"crest.dst", 21500, 9, 1, 0};
    std::int64_t at = kStart;
    bool sewing = false;
    for (auto _ : state) {
        sewing = !sewing;
        seen.work = sewing ? 1 : 0;
        seen.stitch += 100;
        recorder.onEvent({sewing ? FleetEventKind::Started : FleetEventKind::Stopped, seen.address,
                          false},
                         seen, at += 1000);
    }
    writer.flush();
}
BENCHMARK(BM_RecordOneEvent);

} // namespace

BENCHMARK_MAIN();
