#include <cstdio>
#include <string>
#include <vector>

#include "app/Console.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"

namespace {

const char* const kUsage =
    "usage: hoopwatch-cli [global options] COMMAND [options]\n"
    "\n"
    "Design files:\n"
    "  info FILE... [--json]       summary line of each design\n"
    "  dump FILE                   every stored record, then the extents\n"
    "  render FILE -o OUT.png      draw a design [--size WxH] [--progress N] [--preview] "
    "[--summary]\n"
    "                              (runs hoopwatch-render, which lies beside this tool)\n"
    "Machines:\n"
    "  search [--prefix P] [--wait S]      find machines on a /24 subnet\n"
    "  send FILE... [--to ADDR] [--wait S]  send design files\n"
    "  send FILE --to A,B,...|all           send one design to several machines at once\n"
    "  name ADDR TEXT                      name a machine of the table (\"\" clears it)\n"
    "  jog | lever | confirm | release | palette | status   operator commands\n"
    "  params --design-id N [...]          layout parameters and colour sequence\n"
    "  watch [--interval S] [--count N] [--json]   every machine of the table, round after round\n"
    "  serve [--listen ADDR:PORT] [--token-file F] [--designs DIR]   the fleet as a live web page\n"
    "\nProduction history:\n"
    "  report [--since DATE] [--until DATE] [--machine A] [--by day|shift|design]\n"
    "         [--csv|--json] [--chart OUT.svg|OUT.png]   what the machines sewed\n"
    "\n"
    "Global options:\n"
    "  --config FILE         configuration file (default: HOOPWATCH_CONFIG, else beside the tool)\n"
    "  --machine-port N      machines' UDP port (default 8040)\n"
    "  --listen-port N       local UDP port for answers (default 8040)\n"
    "  --key K               16-character cipher key\n"
    "\n"
    "Exit codes: 0 done, 1 unreadable or refused file (over 40960000 bytes, changed while\n"
    "  read) or a settings file that could not be written, 2 usage,\n"
    "  3 no or invalid target, 4 the machine did not answer or acknowledge everything;\n"
    "  watch, serve: 130 when ended with Ctrl+C.\n"
    "Run 'hoopwatch-cli COMMAND --help' for a command's options.\n";

} // namespace

int main(int argc, char** argv)
{
    console::useUtf8Output();
    ArgList all(console::utf8Arguments(argc, argv));
    GlobalOptions global;
    if (auto v = all.take("--config"))
        global.configPath = *v;
    if (auto v = all.take("--key"))
        global.key = *v;
    for (auto [name, slot] : {std::pair{"--machine-port", &global.machinePort},
                              std::pair{"--listen-port", &global.listenPort}}) {
        if (auto v = all.take(name)) {
            auto port = parseInt(*v);
            if (!port || *port <= 0 || *port > 65535) {
                std::fprintf(stderr, "hoopwatch-cli: %s needs a port number, not '%s'\n", name,
                             v->c_str());
                return 2;
            }
            *slot = *port;
        }
    }

    std::vector<std::string> rest = all.rest();
    if (rest.empty() || rest.front() == "--help" || rest.front() == "-h") {
        std::fputs(kUsage, rest.empty() ? stderr : stdout);
        return rest.empty() ? 2 : 0;
    }
    const std::string command = rest.front();
    ArgList args({rest.begin() + 1, rest.end()});
    if (command == "info")
        return cmdInfo(global, std::move(args));
    if (command == "dump")
        return cmdDump(global, std::move(args));
    if (command == "render")
        return cmdRender(global, std::move(args));
    if (command == "search")
        return cmdSearch(global, std::move(args));
    if (command == "name")
        return cmdName(global, std::move(args));
    if (command == "watch")
        return cmdWatch(global, std::move(args));
    if (command == "serve")
        return cmdServe(global, std::move(args));
    if (command == "report")
        return cmdReport(global, std::move(args));
    if (isLinkCommand(command))
        return cmdLink(command, global, std::move(args));
    std::fprintf(stderr, "hoopwatch-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
