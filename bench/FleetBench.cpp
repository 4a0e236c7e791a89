#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "control/FleetJson.h"
#include "control/FleetMonitor.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> subnet()
{
    std::vector<std::string> out;
    for (int i = 1; i <= 254; ++i)
        out.push_back("127.0.0." + std::to_string(i));
    return out;
}

// One tick of the 20 ms timer over a full /24 table: the cost the ticking thread pays.
void BM_FleetTick254(benchmark::State& state)
{
    FleetTime now{};
    FleetMonitor monitor(
        {}, [&] { return now; }, [](const std::string&) { return true; });
    monitor.setMachines(subnet());
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.tick(now));
        now += 20ms;
    }
}
BENCHMARK(BM_FleetTick254);

// One routed StatusReply, as the receive loop hands it over, on a full table.
void BM_FleetOnStatus254(benchmark::State& state)
{
    FleetTime now{};
    const std::vector<std::string> machines = subnet();
    FleetMonitor monitor(
        {}, [&] { return now; }, [](const std::string&) { return true; });
    monitor.setMachines(machines);
    MachineStatus status;
    status.workState = 1;
    std::size_t i = 0;
    for (auto _ : state) {
        status.currentStitch += 1;
        benchmark::DoNotOptimize(monitor.onStatus(machines[i], status, 1, now));
        i = (i + 1) % machines.size();
        now += 20ms;
    }
}
BENCHMARK(BM_FleetOnStatus254);

// A whole round of the watch command's JSON output for a full table.
void BM_FleetJsonRound254(benchmark::State& state)
{
    FleetTime now{};
    FleetMonitor monitor(
        {}, [&] { return now; }, [](const std::string&) { return true; });
    monitor.setMachines(subnet());
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const FleetMachine& machine : monitor.machines(now))
            bytes += fleetJsonLine(machine).size();
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_FleetJsonRound254);

} // namespace

BENCHMARK_MAIN();
