#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "cli/Commands.h"
#include "cli/ConfigReport.h"
#include "control/ControlSession.h"
#include "control/LinkState.h"
#include "control/ReplyText.h"
#include "control/SearchThread.h"
#include "link/UdpSocket.h"

namespace {

const char* const kSearchUsage =
    "usage: hoopwatch-cli search [--prefix P] [--wait S]\n"
    "\n"
    "Sends a search probe to P0 ... P255 on the machine port, records every machine that\n"
    "answers within S seconds in the machine table and prints their addresses in the order\n"
    "they answered. Exit 1 (after the listing) when the machine table could not be written;\n"
    "the reason goes to stderr.\n"
    "\n"
    "  --prefix P   subnet prefix such as 192.168.7. (default: from this PC's address)\n"
    "  --wait S     seconds to wait for answers (default 3)\n";

// Prints the receiver's reports; the answering addresses are kept for the final listing.
class CliListener : public ReceiverListener
{
public:
    explicit CliListener(int language) : m_language(language) {}

    void onReply(const Reply& reply) override
    {
        // The session takes each swept address's first answer only. It is listed even when
        // the table could not be written, since the machine did answer; the failure is
        // reported apart.
        if (reply.kind == ReplyKind::SearchReply) {
            std::lock_guard lock(m_mutex);
            m_found.push_back(reply.sender);
        }
        const auto id = replyText(reply.kind);
        if (!id)
            return;
        const std::string_view text = uiText(*id, m_language);
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
    void onSocketFailed() override
    {
        const std::string_view text = uiText(kListenFailedText, m_language);
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
    std::vector<std::string> found() const
    {
        std::lock_guard lock(m_mutex);
        return m_found;
    }

private:
    int m_language;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_found;
};

} // namespace

int cmdSearch(const GlobalOptions& global, ArgList args)
{
    if (args.takeFlag("--help") || args.takeFlag("-h")) {
        std::fputs(kSearchUsage, stdout);
        return 0;
    }
    const auto prefix = args.take("--prefix");
    // A /24 prefix: three parts and a dot, so that prefix + 0 ... 255 are addresses.
    if (prefix && (prefix->empty() || prefix->back() != '.' || !isIpv4Address(*prefix + "0"))) {
        std::fprintf(stderr,
                     "search: --prefix needs three parts and a dot, such as 127.0.0., not '%s'\n",
                     prefix->c_str());
        return 2;
    }
    double waitSeconds = 3.0;
    if (auto text = args.take("--wait")) {
        auto value = parseDouble(*text);
        if (!value || !(*value >= 0.0 && *value <= 3600.0)) {
            std::fprintf(stderr, "search: --wait needs seconds from 0 to 3600, not '%s'\n",
                         text->c_str());
            return 2;
        }
        waitSeconds = *value;
    }
    if (!args.rest().empty()) {
        std::fprintf(stderr, "search: unexpected argument '%s'\n%s", args.rest().front().c_str(),
                     kSearchUsage);
        return 2;
    }

    LinkSettings settings;
    settings.configPath = resolveConfigPath(global.configPath);
    if (settings.configPath.empty()) {
        std::fputs("search: no configuration file path can be found\n", stderr);
        return 1;
    }
    const ConfigFile config(settings.configPath);
    // As at application start, before anything else reads the file.
    writeStartupDefaults(config);
    if (global.machinePort)
        settings.machinePort = std::uint16_t(*global.machinePort);
    if (global.listenPort)
        settings.listenPort = std::uint16_t(*global.listenPort);
    if (global.key) {
        if (!isValidCipherKey(*global.key)) {
            std::fputs("search: --key needs 16 letters or digits\n", stderr);
            return 2;
        }
        settings.key = *global.key;
    }
    settings.searchPrefix = prefix;

    LinkState state;
    CliListener listener(readLanguage(config));
    ControlSession session(settings, state, listener);
    if (!session.startReceiver())
        return reportConfigFailure(settings.configPath, 1);

    const SearchSweep sweep = session.runSearch();
    if (sweep.skipped) {
        std::fputs("search: no subnet prefix (this PC has no IPv4 address with a \".\"); "
                   "give one with --prefix\n",
                   stderr);
        return reportConfigFailure(settings.configPath, 1);
    }
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(waitSeconds));
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    session.stop();

    for (const std::string& address : listener.found())
        std::printf("%s\n", address.c_str());
    std::fflush(stdout);
    // The machines were found, but a table that could not be written is not theirs to use.
    return reportConfigFailure(settings.configPath, 0);
}

namespace {

const char* const kNameUsage =
    "usage: hoopwatch-cli name ADDR TEXT\n"
    "\n"
    "Names the machine of the machine table at ADDR; the window, watch and send show it as\n"
    "\"TEXT (ADDR)\". An empty TEXT (\"\") takes the name away. At most 40 characters, no\n"
    "control characters.\n"
    "Exit: 0 named, 1 the settings file could not be written, 2 usage or a name that cannot\n"
    "be one, 3 no machine of the table has that address.\n";

} // namespace

int cmdName(const GlobalOptions& global, ArgList args)
{
    if (args.takeFlag("--help") || args.takeFlag("-h")) {
        std::fputs(kNameUsage, stdout);
        return 0;
    }
    if (auto u = args.unknownOption()) {
        std::fprintf(stderr, "name: unknown option %s\n%s", u->c_str(), kNameUsage);
        return 2;
    }
    const std::vector<std::string> rest = args.rest();
    if (rest.size() != 2) {
        std::fputs(kNameUsage, stderr);
        return 2;
    }
    const std::string& address = rest[0];
    if (!cleanMachineName(rest[1])) {
        std::fprintf(stderr,
                     "name: a name has at most %zu characters and no control characters; "
                     "nothing changed\n",
                     kMaxMachineNameChars);
        return 2;
    }
    const std::string path = resolveConfigPath(global.configPath);
    const ConfigFile config(path);
    const MachineTable table(config);
    if (!table.setName(address, rest[1])) {
        if (config.failure())
            return reportConfigFailure(path, 1);
        std::fprintf(stderr, "name: no machine of the table in %s has the address %s\n",
                     path.c_str(), address.c_str());
        return 3;
    }
    std::printf("%s\n", machineLabel(address, *cleanMachineName(rest[1])).c_str());
    return reportConfigFailure(path, 0);
}
