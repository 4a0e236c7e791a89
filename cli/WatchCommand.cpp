// watch: the whole fleet of the machine table, polled at the fleet's bounded rate and shown
// round after round as a table, text lines or JSON lines.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/Console.h"
#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "cli/CliPublisher.h"
#include "cli/Commands.h"
#include "cli/FleetWatch.h"
#include "cli/ReportCommand.h"
#include "control/FleetJson.h"
#include "control/FleetMonitor.h"
#include "control/FleetPolling.h"
#include "control/FleetStore.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/ReceiverThread.h"
#include "link/PacketCipher.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"
#include "records/ProductionRecording.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kWatchHelp =
    "usage: hoopwatch-cli watch [--interval S] [--count N] [--json] [--mqtt URL\n"
    "                           [--mqtt-credentials F]]\n"
    "Shows every machine of the machine table: online or not, work and embroidery state,\n"
    "stitch, the design sent from this PC, done, stitches per minute, time left.\n"
    "  --interval S  seconds between two rounds of output (default 2; 0.2 to 3600)\n"
    "  --count N     end after N rounds (default: run until Ctrl+C)\n"
    "  --json        one JSON object per machine per round\n"
    "  --mqtt URL    also publish every machine's state and events to the MQTT broker at\n"
    "                mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (see the README)\n"
    "  --mqtt-credentials F  user name and password for the broker (first and second line\n"
    "                of F); else HOOPWATCH_MQTT_USERNAME and HOOPWATCH_MQTT_PASSWORD\n"
    "On a terminal the table is redrawn in place; otherwise each round prints one line per\n"
    "machine. Polls stay within 50 a second for the whole fleet, each machine at most once a\n"
    "second.\n"
    "Exit: 0 after N rounds, 130 after Ctrl+C, 2 usage, 3 no machine in the table (or none\n"
    "with a usable address), 4 the answer port cannot be opened, 5 the MQTT broker refused\n"
    "the connection (and never accepted it).\n";

void printRound(const std::vector<FleetMachine>& machines, bool json, bool terminal)
{
    std::string out;
    if (json) {
        for (const FleetMachine& m : machines)
            out += fleetJsonLine(m) + "\n";
    } else if (terminal) {
        // Cursor home and clear, so the table stays in place.
        out = "\x1b[H\x1b[2J" + fleetTable(machines);
    } else {
        for (const FleetMachine& m : machines)
            out += fleetTextLine(m) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int cmdWatch(const GlobalOptions& global, ArgList args)
{
    if (args.takeFlag("--help")) {
        std::fputs(kWatchHelp, stdout);
        return 0;
    }
    double interval = 2.0;
    std::optional<int> count;
    bool bad = false;
    if (auto v = args.take("--interval")) {
        const auto d = parseDouble(*v);
        bad = !d || !(*d >= 0.2 && *d <= 3600);
        interval = d.value_or(interval);
    }
    if (auto v = args.take("--count")) {
        count = parseInt(*v);
        bad = bad || !count || *count < 1;
    }
    const bool json = args.takeFlag("--json");
    CliPublisher publisher;
    if (!publisher.takeOptions(args, "watch"))
        bad = true;
    if (fleetArgumentsBad(args, global, "watch"))
        bad = true;
    if (bad) {
        std::fputs(kWatchHelp, stderr);
        return kExitUsage;
    }

    const LinkSettings settings = linkSettings(global);
    const auto period = std::chrono::milliseconds(static_cast<long long>(interval * 1000));
    // What the machines do is kept in the production history beside the settings file.
    const HistorySettings history = readHistorySettings(ConfigFile(settings.configPath));
    ProductionRecording recording(history, historyFaultPrinter("watch", history.path));
    FleetMonitor* watched = nullptr;
    CliFleet fleet(settings, "watch", [&publisher, &recording, &watched](const FleetEvent& event) {
        publisher.event(event);
        if (watched)
            recording.onEvent(event, *watched);
    });
    fleet.monitor().setFirstAnswer(
        [&recording](const FleetMachine& machine) { recording.onFirstAnswer(machine); });
    if (const int failed = fleet.start())
        return failed;
    if (!publisher.start())
        return CliPublisher::kExitRefused;
    FleetMonitor& monitor = fleet.monitor();
    watched = &monitor;

    const InterruptWatch interrupt;

    const bool terminal =
        !json && console::isTerminal(stdout) && console::enableTerminalCodes(stdout);
    const auto start = std::chrono::steady_clock::now();
    int exitCode = 0;
    for (int round = 1;; ++round) {
        if (!publisher.waitUntil(start + round * period, monitor)) {
            exitCode = kExitInterrupted;
            break;
        }
        monitor.reloadStore();
        printRound(monitor.machines(), json, terminal);
        if (count && round >= *count)
            break;
    }
    recording.end(monitor);
    fleet.stop();
    const int published = publisher.stop();
    return exitCode == 0 ? published : exitCode;
}
