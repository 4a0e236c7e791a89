// The Production window over a large shop's history: 254 machines, a month of generated
// events around today. Timed: constructing the window as the main window does, showing it on
// its default range (today) and painting it once, so its figures, charts and table are filled.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTableView>

#include "bench/HistorySample.h"
#include "bench/OffscreenApplication.h"
#include "records/ProductionRecording.h"
#include "records/ProductionReport.h"
#include "tests/support/TempFolder.h"
#include "ui/ProductionWindow.h"

namespace {

constexpr std::int64_t kDay = 24LL * 3600 * 1000;

struct Month
{
    TempFolder folder;
    std::string path;
    FilledHistory filled;
};

// The thirty days up to now. The process's local time is set to the evening (see main), so
// that today holds fourteen hours of both shifts whatever the hour the benchmark runs.
Month& month()
{
    static std::unique_ptr<Month> m = [] {
        auto out = std::make_unique<Month>();
        out->path = out->folder.file("hoopwatch-history.sqlite");
        const std::int64_t now = wallClockMillis();
        out->filled = fillHistory(out->path, {254, "127.0.0.", now - 30 * kDay, now, 21});
        return out;
    }();
    return *m;
}

// A time zone in which it is now between 20:00 and 21:00.
void setLocalTimeToEvening()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    int offset = ((20 - utc.tm_hour) % 24 + 24) % 24; // hours east of UTC
    if (offset > 12)
        offset -= 24;
    // POSIX counts the offset westwards.
    const std::string zone = "<BENCH>" + std::to_string(-offset);
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

void BM_ProductionWindowOpens254(benchmark::State& state)
{
    offscreenApplication();
    Month& m = month();
    const std::vector<ShiftSpec> shifts = *parseShifts(HistorySettings{}.shifts);
    int runs = 0;
    std::int64_t stitches = 0;
    for (auto _ : state) {
        auto window = std::make_unique<ProductionWindow>(nullptr, m.path, shifts);
        window->setLanguage(2);
        window->show();
        const QImage painted = window->grab().toImage();
        benchmark::DoNotOptimize(painted.constBits());
        runs = window->findChild<QTableView*>("productionRuns")->model()->rowCount();
        stitches = window->report().total.stitchesSewn;
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["runs_today"] = runs;
    state.counters["stitches_today"] = double(stitches);
    state.counters["events_fed"] = double(m.filled.events);
}
BENCHMARK(BM_ProductionWindowOpens254)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    setLocalTimeToEvening();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
