#include "records/ProductionSample.h"

#include <algorithm>
#include <queue>
#include <random>
#include <vector>

#include "records/ProductionReport.h"

namespace {

struct Design
{
    const char* name;
    std::int32_t stitches;
    std::int32_t colors;
};

constexpr Design kDesigns[] = {
    {"badge.dst", 8200, 4}, {"crest.dst", 21500, 9}, {"logo.dsb", 12800, 5}, {"rose.dst", 15600, 7}};

// One machine's next step, ordered by time across the fleet.
struct Step
{
    std::int64_t at = 0;
    int machine = 0;
    bool operator>(const Step& other) const { return at > other.at; }
};

struct Machine
{
    std::string address;
    SentDesign design;
    double stitchesPerMs = 0;
    std::int32_t stitch = 0;
    enum class Phase { Idle, Sewing, Stopped, Offline } phase = Phase::Idle;
};

} // namespace

std::int64_t feedProductionSample(ProductionRecorder& recorder,
                                  const ProductionSampleSettings& settings)
{
    std::mt19937 random(settings.seed);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    constexpr double kMinute = 60000.0;
    std::vector<Machine> machines(std::size_t(std::max(0, settings.machines)));
    std::priority_queue<Step, std::vector<Step>, std::greater<>> steps;
    for (int m = 0; m < settings.machines; ++m) {
        Machine& machine = machines[std::size_t(m)];
        // Up to 154 machines from .101 on, as the demo numbers them; more from .1 on.
        machine.address = settings.prefix + std::to_string((settings.machines <= 154 ? 101 : 1) + m);
        machine.stitchesPerMs = uniform(600, 1000) / kMinute;
        steps.push({settings.from + std::int64_t(uniform(0, 10 * kMinute)), m});
    }
    std::int64_t fed = 0;
    FleetMachine seen;
    const auto event = [&](Machine& machine, FleetEventKind kind, std::int64_t at, int work) {
        seen.address = machine.address;
        seen.design = machine.design;
        seen.stitch = machine.stitch;
        seen.work = static_cast<std::uint8_t>(work);
        recorder.onEvent({kind, machine.address, false}, seen, at);
        ++fed;
    };
    while (!steps.empty()) {
        const Step step = steps.top();
        steps.pop();
        if (step.at >= settings.to)
            continue;
        Machine& machine = machines[std::size_t(step.machine)];
        switch (machine.phase) {
        case Machine::Phase::Idle: {
            // Two shifts, 06:00 to 22:00; the machines stand through the night.
            const std::int64_t day = localDayStart(step.at);
            const std::int64_t hour = (step.at - day) / 3600000;
            if (hour < 6 || hour >= 22) {
                steps.push({localDayStart(step.at, hour >= 22 ? 1 : 0) + 6 * 3600000 +
                                std::int64_t(uniform(0, 10 * kMinute)),
                            step.machine});
                break;
            }
            // A new design now and then, else the same one again after hooping.
            if (machine.design.name.empty() || uniform(0, 1) < 0.1) {
                const Design& d = kDesigns[std::size_t(random() % std::size(kDesigns))];
                machine.design = {d.name, d.stitches, d.colors, 1, step.at / 1000};
                recorder.onTransfer(machine.address, machine.design, "", step.at);
                ++fed;
            }
            // Started once hooped.
            machine.stitch = 0;
            machine.phase = Machine::Phase::Stopped;
            steps.push({step.at + std::int64_t(uniform(1, 5) * kMinute), step.machine});
            break;
        }
        case Machine::Phase::Stopped:
            event(machine, FleetEventKind::Started, step.at, 1);
            machine.phase = Machine::Phase::Sewing;
            steps.push({step.at + 1, step.machine});
            break;
        case Machine::Phase::Sewing: {
            const double left = double(machine.design.stitches - machine.stitch) / machine.stitchesPerMs;
            const double r = uniform(0, 1);
            if (r < 0.27) {
                // A thread break part way, or now and then the machine drops off the network.
                const bool breaks = r < 0.25;
                const double sewn = uniform(0.1, 0.9) * left;
                machine.stitch += std::int32_t(sewn * machine.stitchesPerMs);
                const std::int64_t at = step.at + std::int64_t(sewn);
                event(machine, breaks ? FleetEventKind::Stopped : FleetEventKind::WentOffline, at,
                      breaks ? 0 : 1);
                machine.phase = breaks ? Machine::Phase::Stopped : Machine::Phase::Offline;
                steps.push({at + std::int64_t((breaks ? uniform(0.5, 4) : uniform(5, 40)) * kMinute),
                            step.machine});
            } else {
                machine.stitch = machine.design.stitches;
                const std::int64_t at = step.at + std::int64_t(left);
                event(machine, FleetEventKind::Finished, at, 0);
                machine.phase = Machine::Phase::Idle;
                steps.push({at + std::int64_t(uniform(0.5, 3) * kMinute), step.machine});
            }
            break;
        }
        case Machine::Phase::Offline:
            // Back, standing: the operator starts it again.
            event(machine, FleetEventKind::CameBack, step.at, 0);
            machine.phase = Machine::Phase::Stopped;
            steps.push({step.at + std::int64_t(uniform(0.5, 3) * kMinute), step.machine});
            break;
        }
    }
    recorder.close(settings.to);
    return fed;
}
