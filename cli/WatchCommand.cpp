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
#include "cli/Commands.h"
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
constexpr int kExitNoMachines = 3;
constexpr int kExitNoSocket = 4;
constexpr int kExitInterrupted = 130; // 128 + SIGINT, as shells report it

// Table entries past this many are not watched; the fleet file keeps no more either.
constexpr int kMaxWatched = static_cast<int>(kMaxFleetEntries);

const char* const kWatchHelp =
    "usage: hoopwatch-cli watch [--interval S] [--count N] [--json]\n"
    "Shows every machine of the machine table: online or not, work and embroidery state,\n"
    "stitch, the design sent from this PC, done, stitches per minute, time left.\n"
    "  --interval S  seconds between two rounds of output (default 2; 0.2 to 3600)\n"
    "  --count N     end after N rounds (default: run until Ctrl+C)\n"
    "  --json        one JSON object per machine per round\n"
    "On a terminal the table is redrawn in place; otherwise each round prints one line per\n"
    "machine. Polls stay within 50 a second for the whole fleet, each machine at most once a\n"
    "second.\n"
    "Exit: 0 after N rounds, 130 after Ctrl+C, 2 usage, 3 no machine in the table (or none\n"
    "with a usable address), 4 the answer port cannot be opened.\n";

std::atomic<bool> g_interrupted{false};

void onInterrupt(int)
{
    g_interrupted = true;
}

// Takes in the status replies of the watched machines and nothing else.
class FleetReceiver : public ReceiverListener
{
public:
    FleetReceiver(FleetMonitor& monitor, std::set<std::string> watched)
        : m_monitor(monitor), m_watched(std::move(watched))
    {
    }
    bool accepts(const Reply& reply) override { return m_watched.count(reply.sender) != 0; }
    void onReply(const Reply& reply) override
    {
        // A cut reply would read as zeros; only the whole answer counts.
        if (reply.kind == ReplyKind::StatusReply && reply.status && reply.isFullLength())
            m_monitor.onStatus(reply.sender, *reply.status, reply.designId);
    }
    void onSocketFailed() override { m_socketFailed = true; }
    bool socketFailed() const { return m_socketFailed; }

private:
    FleetMonitor& m_monitor;
    std::set<std::string> m_watched;
    std::atomic<bool> m_socketFailed{false};
};

// The table's addresses that can be machines here, each once; the others are named on stderr.
std::vector<std::string> watchedAddresses(const ConfigFile& config)
{
    const MachineTable table(config);
    std::vector<std::string> addresses;
    std::set<std::string> seen;
    for (const MachineEntry& entry : table.load(kMaxWatched)) {
        const auto address = canonicalAddress(entry.address);
        if (!address) {
            std::fprintf(stderr,
                         "hoopwatch-cli watch: '%s' in the machine table is not an IPv4 "
                         "address; not watched\n",
                         entry.address.c_str());
            continue;
        }
        if (loopbackOnly() && !isLoopbackAddress(*address)) {
            std::fprintf(stderr,
                         "hoopwatch-cli watch: %s is outside 127.0.0.0/8, which "
                         "HOOPWATCH_LOOPBACK_ONLY=1 refuses; not watched\n",
                         address->c_str());
            continue;
        }
        if (seen.insert(*address).second)
            addresses.push_back(*address);
    }
    return addresses;
}

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

// Sleeps until `until` in short steps; false when Ctrl+C came first.
bool waitUntil(std::chrono::steady_clock::time_point until)
{
    while (std::chrono::steady_clock::now() < until) {
        if (g_interrupted)
            return false;
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return !g_interrupted;
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
    if (auto u = args.unknownOption()) {
        std::fprintf(stderr, "hoopwatch-cli watch: unknown option %s\n", u->c_str());
        bad = true;
    } else if (!args.rest().empty()) {
        std::fprintf(stderr, "hoopwatch-cli watch: unexpected argument %s\n",
                     args.rest().front().c_str());
        bad = true;
    }
    if (global.key && !isValidCipherKey(*global.key)) {
        std::fputs("hoopwatch-cli: --key needs 16 letters or digits\n", stderr);
        bad = true;
    }
    if (bad) {
        std::fputs(kWatchHelp, stderr);
        return kExitUsage;
    }

    const LinkSettings settings = linkSettings(global);
    const ConfigFile config(settings.configPath);
    const std::vector<std::string> addresses = watchedAddresses(config);
    if (addresses.empty()) {
        if (!config.exists())
            std::fprintf(stderr,
                         "hoopwatch-cli watch: there is no settings file %s, so no machine to "
                         "watch (run search first, or give --config)\n",
                         settings.configPath.c_str());
        else
            std::fprintf(stderr,
                         "hoopwatch-cli watch: no machine to watch in the machine table of %s\n",
                         settings.configPath.c_str());
        return kExitNoMachines;
    }

    const auto period = std::chrono::milliseconds(static_cast<long long>(interval * 1000));
    FleetSettings fleet;
    fleet.storePath = FleetStore::pathBeside(settings.configPath);
    // Polling a machine more often than the output shows it only adds traffic.
    fleet.machineInterval = std::min(fleet.machineInterval, period);
    StatusQuerySender sender(settings);
    // What the machines do is kept in the production history beside the settings file.
    ProductionRecording recording(readHistorySettings(config), historyFaultPrinter("watch", readHistorySettings(config).path));
    FleetMonitor* watched = nullptr;
    FleetMonitor monitor(
        fleet, [] { return std::chrono::steady_clock::now(); },
        [&sender](const std::string& address) { return sender.send(address); },
        [&recording, &watched](const FleetEvent& event) {
            if (watched)
                recording.onEvent(event, *watched);
        });
    watched = &monitor;
    monitor.setMachines(addresses);
    if (!monitor.storeWritable())
        std::fprintf(stderr,
                     "hoopwatch-cli watch: %s is not a fleet file of this version; designs sent "
                     "from this PC are not shown\n",
                     fleet.storePath.c_str());

    LinkState state;
    FleetReceiver receiver(monitor, {addresses.begin(), addresses.end()});
    ReceiverThread receiveLoop(settings, state, receiver);
    if (!receiveLoop.start()) {
        std::fprintf(stderr, "hoopwatch-cli watch: cannot listen for answers on port %u\n",
                     settings.listenPort);
        return kExitNoSocket;
    }

    g_interrupted = false;
    const auto previousHandler = std::signal(SIGINT, onInterrupt);
    FleetTicker ticker(monitor);
    ticker.start();

    const bool terminal =
        !json && console::isTerminal(stdout) && console::enableTerminalCodes(stdout);
    const auto start = std::chrono::steady_clock::now();
    int exitCode = 0;
    for (int round = 1;; ++round) {
        if (!waitUntil(start + round * period)) {
            exitCode = kExitInterrupted;
            break;
        }
        monitor.reloadStore();
        printRound(monitor.machines(), json, terminal);
        if (count && round >= *count)
            break;
    }
    ticker.stop();
    receiveLoop.stop();
    std::signal(SIGINT, previousHandler == SIG_ERR ? SIG_DFL : previousHandler);
    return exitCode;
}
