// serve: the fleet of the machine table as a live web page for the shop floor, read-only.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"

#ifndef HOOPWATCH_HAVE_SHOP

int cmdServe(const GlobalOptions&, ArgList)
{
    std::fputs("hoopwatch-cli serve: this build has no web server\n", stderr);
    return 2;
}

#else

#include "cli/CliPublisher.h"
#include "cli/FleetWatch.h"
#include "control/FleetStore.h"
#include "records/ProductionRecording.h"
#include "shop/HistoryProduction.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "shop/ShopDrawings.h"
#include "shop/ShopFeed.h"
#include "shop/ShopServer.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kServeHelp =
    "usage: hoopwatch-cli serve [--listen ADDR:PORT] [--token-file F] [--designs DIR]...\n"
    "                           [--duration S] [--stats] [--mqtt URL [--mqtt-credentials F]]\n"
    "Serves the machines of the machine table as a web page that updates itself: state,\n"
    "design with its drawing, progress, share sewn, time left. Nothing on the page reaches a\n"
    "machine. Polls like watch: each machine at most once a second.\n"
    "  --listen ADDR:PORT  where the page is served (default 127.0.0.1:8041); any address but\n"
    "                      127.0.0.1 or localhost needs a token\n"
    "  --token-file F      the token (16 to 256 printable characters, first line of F); else\n"
    "                      HOOPWATCH_WEB_TOKEN. Give it to the page as ?token=...\n"
    "  --designs DIR       folder where the design files sent are looked for by name, for their\n"
    "                      drawings (may be given several times)\n"
    "  --duration S        end after S seconds (default: run until Ctrl+C)\n"
    "  --stats             at the end, say on stderr how fresh the pushed updates were\n"
    "  --mqtt URL          also publish to the MQTT broker at mqtt://HOST[:PORT] or\n"
    "                      mqtts://HOST[:PORT], as watch --mqtt does\n"
    "  --mqtt-credentials F  user name and password for the broker (first and second line)\n"
    "Exit: 0 after --duration, 130 after Ctrl+C, 2 usage or token, 3 no machine in the table,\n"
    "4 the answer port or the page's address cannot be opened, 5 the MQTT broker refused the\n"
    "connection (and never accepted it).\n";

} // namespace

int cmdServe(const GlobalOptions& global, ArgList args)
{
    if (args.takeFlag("--help")) {
        std::fputs(kServeHelp, stdout);
        return 0;
    }
    bool bad = false;
    ShopServerSettings web;
    if (auto v = args.take("--listen")) {
        const auto listen = parseListenAddress(*v);
        if (!listen)
            std::fprintf(stderr, "hoopwatch-cli serve: --listen needs ADDR:PORT, not '%s'\n",
                         v->c_str());
        bad = bad || !listen;
        if (listen) {
            web.host = listen->host;
            web.port = listen->port;
        }
    }
    const std::optional<std::string> tokenFile = args.take("--token-file");
    if (args.take("--token")) {
        std::fputs("hoopwatch-cli serve: a token on the command line is visible to every user "
                   "of this PC; use --token-file or HOOPWATCH_WEB_TOKEN\n",
                   stderr);
        bad = true;
    }
    std::vector<std::string> designFolders;
    while (auto v = args.take("--designs"))
        designFolders.push_back(*v);
    const bool stats = args.takeFlag("--stats");
    CliPublisher publisher;
    if (!publisher.takeOptions(args, "serve"))
        bad = true;
    std::optional<double> duration;
    if (auto v = args.take("--duration")) {
        duration = parseDouble(*v);
        bad = bad || !duration || !(*duration > 0 && *duration <= 1e7);
    }
    if (fleetArgumentsBad(args, global, "serve"))
        bad = true;
    if (bad) {
        std::fputs(kServeHelp, stderr);
        return kExitUsage;
    }
    if (loopbackOnly() && web.host != "localhost" && !isLoopbackAddress(web.host)) {
        std::fprintf(stderr,
                     "hoopwatch-cli serve: %s is outside 127.0.0.0/8, which "
                     "HOOPWATCH_LOOPBACK_ONLY=1 refuses\n",
                     web.host.c_str());
        return kExitUsage;
    }
    // A token given is always asked for; one is needed anywhere but on 127.0.0.1.
    if (tokenFile || std::getenv("HOOPWATCH_WEB_TOKEN") || !isTokenFreeHost(web.host)) {
        std::string error;
        const auto token = loadShopToken(tokenFile, error);
        if (!token) {
            std::fprintf(stderr, "hoopwatch-cli serve: %s%s\n", error.c_str(),
                         isTokenFreeHost(web.host) ? ""
                                                   : " (any address but 127.0.0.1 needs one)");
            return kExitUsage;
        }
        web.token = *token;
    }

    ShopFeed feed;
    feed.setProduction(std::make_shared<HistoryProduction>(
        readHistorySettings(ConfigFile(linkSettings(global).configPath)).path));
    ShopDrawings drawings(designFolders);
    const LinkSettings settings = linkSettings(global);
    CliFleet fleet(settings, "serve",
                   [&feed, &publisher](const FleetEvent& event) {
                       feed.addEvent(event);
                       publisher.event(event);
                   });
    if (const int failed = fleet.start())
        return failed;
    if (!publisher.start())
        return CliPublisher::kExitRefused;
    FleetMonitor& monitor = fleet.monitor();
    feed.update(monitor.machines());

    ShopServer server(web, feed, drawings);
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "hoopwatch-cli serve: %s\n", error.c_str());
        return CliFleet::kExitNoSocket;
    }
    std::printf("serving http://%s:%d/\n", web.host.c_str(), server.port());
    std::fflush(stdout);

    const InterruptWatch interrupt;
    const auto start = std::chrono::steady_clock::now();
    const auto end =
        duration ? start + std::chrono::milliseconds(static_cast<long long>(*duration * 1000))
                 : std::chrono::steady_clock::time_point::max();
    int exitCode = 0;
    // The page sees a change within a quarter of a second of the answer that brought it.
    constexpr auto kStep = std::chrono::milliseconds(250);
    auto nextReload = start;
    for (auto next = start + kStep;; next += kStep) {
        if (!publisher.waitUntil(std::min(next, end), monitor)) {
            exitCode = kExitInterrupted;
            break;
        }
        if (std::chrono::steady_clock::now() >= end)
            break;
        if (next >= nextReload) {
            monitor.reloadStore();
            nextReload = next + std::chrono::seconds(2);
        }
        feed.update(monitor.machines());
    }
    server.stop();
    if (stats)
        std::fprintf(stderr, "hoopwatch-cli serve: %s\n", server.deliveryStats().c_str());
    fleet.stop();
    const int published = publisher.stop();
    return exitCode == 0 ? published : exitCode;
}

#endif
