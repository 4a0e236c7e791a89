#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QApplication>

#include "bench/OffscreenApplication.h"
#include "control/FleetSession.h"
#include "control/LinkState.h"
#include "design/Design.h"
#include "render/DesignImage.h"
#include "ui/MachinesWindow.h"

namespace {

// Short stitches wandering over a 20 x 15 cm field with a colour change every 5,000.
Design generatedDesign(std::int32_t stitches)
{
    Design design;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> step(-40, 40);
    double x = 0, y = 0;
    std::int16_t block = 1;
    for (std::int32_t i = 0; i < stitches; ++i) {
        StitchType type = StitchType::Normal;
        std::int16_t color = 0;
        if (i % 5000 == 4999) {
            type = StitchType::ColorChange;
            color = ++block;
        } else {
            x = std::clamp(x + step(random) * 10.0, -10000.0, 10000.0);
            y = std::clamp(y + (i % 2 == 0 ? 1 : -1) * 300.0 + step(random) * 10.0, -7500.0,
                           7500.0);
        }
        const Stitch record{x, y, type, color};
        appendStitch(&design.stitches, record);
        extendExtents(&design.extents, record);
    }
    design.summary.stitchCount = stitches;
    design.summary.colorCount = block;
    return design;
}

std::string addressOf(int i)
{
    return "127.0." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250);
}

// One timer step of the Machines window over a full /24 table, every machine working on a
// design sent from here, with the drawings already made (the usual step: only the rows'
// texts and numbers change).
void BM_MachinesRefresh(benchmark::State& state)
{
    offscreenApplication();
    const int count = static_cast<int>(state.range(0));
    LinkSettings settings;
    settings.machinePort = 39999;
    LinkState link;
    FleetSession fleet(settings, link, FleetSettings{});
    MachinesWindow window(nullptr, fleet, {});
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i)
        addresses.push_back(addressOf(i));
    fleet.monitor().setMachines(addresses);
    const Design design = generatedDesign(20000);
    const SentDesign sent = sentDesignOf("d.dst", design);
    for (const std::string& address : addresses) {
        fleet.monitor().recordSentDesign(address, sent);
        window.setDesignDrawing(address, "d.dst", design, {0x0000FF, 0x00FF00, 0xFF0000});
        MachineStatus status;
        status.workState = 1;
        status.currentStitch = 5000;
        fleet.monitor().onStatus(address, status, 0);
    }
    for (int i = 0; i < count; ++i)
        window.refresh(); // every row has its drawing
    for (auto _ : state)
        window.refresh();
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MachinesRefresh)->Arg(15)->Arg(254)->Unit(benchmark::kMicrosecond);

// The worst refresh: every machine's stitch has moved and every drawing is due; the budget
// bounds what one refresh draws.
void BM_MachinesRefreshAllDue(benchmark::State& state)
{
    offscreenApplication();
    LinkSettings settings;
    settings.machinePort = 39999;
    LinkState link;
    FleetSession fleet(settings, link, FleetSettings{});
    MachinesWindow window(nullptr, fleet, {});
    std::vector<std::string> addresses;
    for (int i = 0; i < 254; ++i)
        addresses.push_back(addressOf(i));
    fleet.monitor().setMachines(addresses);
    const Design design = generatedDesign(static_cast<std::int32_t>(state.range(0)));
    const SentDesign sent = sentDesignOf("d.dst", design);
    for (const std::string& address : addresses) {
        fleet.monitor().recordSentDesign(address, sent);
        window.setDesignDrawing(address, "d.dst", design, {0x0000FF});
    }
    std::int32_t stitch = 1;
    for (auto _ : state) {
        state.PauseTiming();
        MachineStatus status;
        status.workState = 1;
        status.currentStitch = ++stitch;
        for (const std::string& address : addresses)
            fleet.monitor().onStatus(address, status, 0);
        state.ResumeTiming();
        window.refresh();
    }
}
BENCHMARK(BM_MachinesRefreshAllDue)->Arg(20000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One row's drawing at thumbnail size with the sewn part in colour: what a moving machine
// costs at most once a second.
void BM_MachineDrawing(benchmark::State& state)
{
    offscreenApplication();
    const Design design = generatedDesign(static_cast<std::int32_t>(state.range(0)));
    const std::vector<ColorRef> colors(20, 0x0000FF);
    DesignImageOptions options;
    options.width = MachinesWindow::kDrawingWidth;
    options.height = MachinesWindow::kDrawingHeight;
    options.progress = static_cast<std::int32_t>(state.range(0) / 2);
    options.blockColors = colors;
    for (auto _ : state)
        benchmark::DoNotOptimize(renderDesignImage(design, options));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MachineDrawing)->Arg(20000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
