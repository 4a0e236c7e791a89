#include "cli/FleetWatch.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <thread>

#include "app/MachineTable.h"
#include "control/FleetStore.h"
#include "link/PacketCipher.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"

void FleetReceiver::onReply(const Reply& reply)
{
    // A cut reply would read as zeros; only the whole answer counts.
    if (reply.kind == ReplyKind::StatusReply && reply.status && reply.isFullLength())
        m_monitor.onStatus(reply.sender, *reply.status, reply.designId);
}

bool fleetArgumentsBad(const ArgList& args, const GlobalOptions& global, const char* command)
{
    bool bad = false;
    if (auto u = args.unknownOption()) {
        std::fprintf(stderr, "hoopwatch-cli %s: unknown option %s\n", command, u->c_str());
        bad = true;
    } else if (!args.rest().empty()) {
        std::fprintf(stderr, "hoopwatch-cli %s: unexpected argument %s\n", command,
                     args.rest().front().c_str());
        bad = true;
    }
    if (global.key && !isValidCipherKey(*global.key)) {
        std::fputs("hoopwatch-cli: --key needs 16 letters or digits\n", stderr);
        bad = true;
    }
    return bad;
}

std::vector<std::string> watchedAddresses(const ConfigFile& config, const char* command,
                                          std::vector<std::string>* names)
{
    const MachineTable table(config);
    std::vector<std::string> addresses;
    std::set<std::string> seen;
    for (const MachineEntry& entry : table.load(static_cast<int>(kMaxFleetEntries))) {
        const auto address = canonicalAddress(entry.address);
        if (!address) {
            std::fprintf(stderr,
                         "hoopwatch-cli %s: '%s' in the machine table is not an IPv4 "
                         "address; not watched\n",
                         command, entry.address.c_str());
            continue;
        }
        if (loopbackOnly() && !isLoopbackAddress(*address)) {
            std::fprintf(stderr,
                         "hoopwatch-cli %s: %s is outside 127.0.0.0/8, which "
                         "HOOPWATCH_LOOPBACK_ONLY=1 refuses; not watched\n",
                         command, address->c_str());
            continue;
        }
        if (seen.insert(*address).second) {
            addresses.push_back(*address);
            if (names)
                names->push_back(entry.name);
        }
    }
    return addresses;
}

namespace {

std::atomic<bool> g_interrupted{false};
using SignalHandler = void (*)(int);
SignalHandler g_previousHandler = SIG_DFL;

void onInterrupt(int)
{
    g_interrupted = true;
}

// Each machine is asked at most once a second however often a round is printed; a faster
// round shows the same answer again, with its age.
FleetSettings cliFleetSettings(const LinkSettings& settings)
{
    FleetSettings fleet;
    fleet.storePath = FleetStore::pathBeside(settings.configPath);
    return fleet;
}

} // namespace

CliFleet::CliFleet(const LinkSettings& settings, const char* command,
                   FleetMonitor::Listener listener)
    : m_settings(settings), m_command(command), m_sender(settings),
      m_monitor(
          cliFleetSettings(settings),
          [] { return std::chrono::steady_clock::now(); },
          [this](const std::string& address) { return m_sender.send(address); },
          std::move(listener)),
      m_ticker(m_monitor)
{
}

CliFleet::~CliFleet()
{
    stop();
}

int CliFleet::start()
{
    const ConfigFile config(m_settings.configPath);
    std::vector<std::string> names;
    const std::vector<std::string> addresses = watchedAddresses(config, m_command, &names);
    if (addresses.empty()) {
        if (!config.exists())
            std::fprintf(stderr,
                         "hoopwatch-cli %s: there is no settings file %s, so no machine to "
                         "watch (run search first, or give --config)\n",
                         m_command, m_settings.configPath.c_str());
        else
            std::fprintf(stderr,
                         "hoopwatch-cli %s: no machine to watch in the machine table of %s\n",
                         m_command, m_settings.configPath.c_str());
        return kExitNoMachines;
    }
    m_monitor.setMachines(addresses, names);
    if (!m_monitor.storeWritable())
        std::fprintf(stderr,
                     "hoopwatch-cli %s: %s is not a fleet file of this version; designs sent "
                     "from this PC are not shown\n",
                     m_command, FleetStore::pathBeside(m_settings.configPath).c_str());

    m_receiver = std::make_unique<FleetReceiver>(
        m_monitor, std::set<std::string>(addresses.begin(), addresses.end()));
    m_receiveLoop = std::make_unique<ReceiverThread>(m_settings, m_state, *m_receiver);
    if (!m_receiveLoop->start()) {
        std::fprintf(stderr, "hoopwatch-cli %s: cannot listen for answers on port %u\n",
                     m_command, m_settings.listenPort);
        m_receiveLoop.reset();
        return kExitNoSocket;
    }
    m_ticker.start();
    return 0;
}

void CliFleet::stop()
{
    m_ticker.stop();
    if (m_receiveLoop)
        m_receiveLoop->stop();
}

InterruptWatch::InterruptWatch()
{
    g_interrupted = false;
    g_previousHandler = std::signal(SIGINT, onInterrupt);
}

InterruptWatch::~InterruptWatch()
{
    std::signal(SIGINT, g_previousHandler == SIG_ERR ? SIG_DFL : g_previousHandler);
}

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
