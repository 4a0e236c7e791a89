// z62-sim: simulated Z62 machines on local addresses, answering the protocol the way a
// machine does, for tests and demonstrations without hardware.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Utf8Path.h"
#include "link/PacketCipher.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"
#include "sim/SimMachine.h"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}

const char* const kUsage =
    "usage: z62-sim --address A [--address B ...] [--port N] [--reply-port N] [--key K]\n"
    "               [--log FILE] [--save-dir DIR] [--speed N] [--speeds N,N,...]\n"
    "               [--auto-sew] [--start-delay S] [--sewn-log FILE] [--exit-after S]\n"
    "  --address A      local address of one simulated machine (repeatable); a range in the\n"
    "                   last part, such as 127.0.0.1-254, is one machine per address\n"
    "  --port N         UDP port the machines listen on (default 8040)\n"
    "  --reply-port N   port of the sender that answers go to (default 8040)\n"
    "  --key K          16-character cipher key (default: HOOPWATCH_KEY from the\n"
    "                   environment, else the built-in key); other users can read a\n"
    "                   command line, so prefer HOOPWATCH_KEY\n"
    "  --log FILE       one JSON line per decrypted request ('-' for stdout)\n"
    "  --save-dir DIR   where received designs are written\n"
    "  --speed N        stitches per second while working and confirmed (default 200)\n"
    "  --speeds LIST    stitches per second of each machine in address order, separated by\n"
    "                   commas; the last one holds for the machines after it\n"
    "  --auto-sew       each machine confirms and starts sewing once a whole design arrives\n"
    "  --start-delay S  with --auto-sew, start S seconds after the design arrived\n"
    "  --sewn-log FILE  one JSON line per design sewn to its end ('-' for stdout)\n"
    "  --exit-after S   end after S seconds\n";

// More sockets than this would run into the usual limit of open files.
constexpr std::size_t kMaxMachines = 1000;

struct Options
{
    std::vector<std::string> addresses;
    int port = 8040;
    int replyPort = 8040;
    std::optional<std::string> key;
    std::string logPath;
    std::string sewnLogPath;
    double exitAfter = 0.0;
    std::vector<double> speeds;
    SimSettings settings;
};

std::optional<double> parseNumber(const std::string& text)
{
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(d >= 0) || d > 1e9)
        return std::nullopt;
    return d;
}

// The key from the command line, else from HOOPWATCH_KEY, else the built-in one.
std::string chooseKey(const std::optional<std::string>& fromArgs)
{
    if (fromArgs)
        return *fromArgs;
    if (const char* env = std::getenv("HOOPWATCH_KEY"); env && env[0])
        return env;
    return defaultCipherKey();
}

bool parsePort(const char* text, int* port)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v <= 0 || v > 65535)
        return false;
    *port = static_cast<int>(v);
    return true;
}

// 0: run; 1: bad arguments; 2: help printed.
int parseArgs(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
            return 2;
        if (a == "--auto-sew") {
            o->settings.autoSew = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "z62-sim: %s needs a value\n", a.c_str());
            return 1;
        }
        const char* v = argv[++i];
        if (a == "--address") {
            const auto expanded = expandAddressRange(v);
            if (!expanded) {
                std::fprintf(stderr, "z62-sim: '%s' is not an IPv4 address or range\n", v);
                return 1;
            }
            o->addresses.insert(o->addresses.end(), expanded->begin(), expanded->end());
            if (o->addresses.size() > kMaxMachines) {
                std::fprintf(stderr, "z62-sim: at most %zu machines\n", kMaxMachines);
                return 1;
            }
        } else if (a == "--speeds") {
            std::string list = v;
            std::size_t start = 0;
            while (start <= list.size()) {
                const std::size_t comma = std::min(list.find(',', start), list.size());
                const auto d = parseNumber(list.substr(start, comma - start));
                if (!d) {
                    std::fprintf(stderr, "z62-sim: --speeds needs numbers separated by commas\n");
                    return 1;
                }
                o->speeds.push_back(*d);
                start = comma + 1;
            }
        } else if (a == "--port" || a == "--reply-port") {
            if (!parsePort(v, a == "--port" ? &o->port : &o->replyPort)) {
                std::fprintf(stderr, "z62-sim: %s needs a port number\n", a.c_str());
                return 1;
            }
        } else if (a == "--key") {
            o->key = v;
        } else if (a == "--log") {
            o->logPath = v;
        } else if (a == "--sewn-log") {
            o->sewnLogPath = v;
        } else if (a == "--save-dir") {
            o->settings.saveDir = v;
        } else if (a == "--speed" || a == "--exit-after" || a == "--start-delay") {
            const auto d = parseNumber(v);
            if (!d) {
                std::fprintf(stderr, "z62-sim: %s needs a number\n", a.c_str());
                return 1;
            }
            (a == "--speed"        ? o->settings.speed
             : a == "--exit-after" ? o->exitAfter
                                   : o->settings.startDelay) = *d;
        } else {
            std::fprintf(stderr, "z62-sim: unknown option %s\n", a.c_str());
            return 1;
        }
    }
    if (o->addresses.empty()) {
        std::fprintf(stderr, "z62-sim: at least one --address is needed\n");
        return 1;
    }
    return 0;
}

// The largest request a machine takes: a DesignChunk of 10576 bytes fits with room to spare.
constexpr std::size_t kRequestBufferSize = 65536;

// One bound socket per machine; the socket closes itself with the endpoint.
struct Endpoint
{
    UdpSocket socket;
    std::unique_ptr<SimSettings> settings; // the machine keeps a reference
    std::unique_ptr<SimMachine> machine;
};

bool bindMachineSocket(UdpSocket& socket, const std::string& address, int port)
{
    if (!isIpv4Address(address)) {
        std::fprintf(stderr, "z62-sim: '%s' is not an IPv4 address\n", address.c_str());
        return false;
    }
    if (loopbackOnly() && !isLoopbackAddress(address)) {
        std::fprintf(stderr, "z62-sim: %s is not a loopback address (HOOPWATCH_LOOPBACK_ONLY=1)\n",
                     address.c_str());
        return false;
    }
    if (!socket.bind(address, static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "z62-sim: cannot bind %s:%d: %s\n", address.c_str(), port,
                     std::strerror(errno));
        return false;
    }
    return true;
}

// Answers one waiting request, if there is one; false when nothing was waiting.
bool serve(Endpoint& ep, const PacketCipher& cipher, int replyPort, std::vector<std::uint8_t>& buf)
{
    const auto received = ep.socket.receive(buf, std::chrono::milliseconds(0));
    if (!received)
        return false;
    if (received->length == 0)
        return true;
    // Only whole cipher blocks can be decrypted; a Parameters datagram loses its cut tail.
    const auto request = decryptWholeBlocks(buf, received->length, cipher);
    auto answer = ep.machine->handle(request, received->sender, SimMachine::Clock::now());
    if (!answer || (loopbackOnly() && !isLoopbackAddress(received->sender)))
        return true;
    cipher.encrypt(answer->data(), static_cast<std::int32_t>(answer->size()));
    // A lost answer is what a real machine's would be: the asker sees no reply and says so.
    (void)ep.socket.sendTo(received->sender, static_cast<std::uint16_t>(replyPort), *answer);
    return true;
}

// "-" is standard output, an empty path nothing; false (and a message) when it cannot be opened.
// The log named in UTF-8 (on Windows the C library would read the name in the ANSI code page).
std::FILE* openForAppend(const std::string& path)
{
#ifdef _WIN32
    return _wfopen(pathFromUtf8(path).c_str(), L"a");
#else
    return std::fopen(path.c_str(), "a");
#endif
}

bool openOutput(const std::string& path, std::FILE** file)
{
    if (path == "-")
        *file = stdout;
    else if (!path.empty() && !(*file = openForAppend(path))) {
        std::fprintf(stderr, "z62-sim: cannot open %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    // The arguments as UTF-8 whatever the system hands over (Windows: its wide command line),
    // after the program's own name.
    std::vector<std::string> args = console::utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv{argc > 0 ? argv[0] : nullptr};
    for (std::string& arg : args)
        utf8Argv.push_back(arg.data());
    if (const int r = parseArgs(int(utf8Argv.size()), utf8Argv.data(), &options); r != 0) {
        std::fputs(kUsage, r == 2 ? stdout : stderr);
        return r == 2 ? 0 : 2;
    }
    const std::string key = chooseKey(options.key);
    if (key.size() != 16) {
        std::fprintf(stderr,
                     "z62-sim: the key (--key, else HOOPWATCH_KEY) must have 16 characters\n");
        return 2;
    }
    std::FILE* log = nullptr;
    std::FILE* sewnLog = nullptr;
    if (!openOutput(options.logPath, &log) || !openOutput(options.sewnLogPath, &sewnLog))
        return 1;
    options.settings.log = log;
    options.settings.sewnLog = sewnLog;

    std::vector<Endpoint> endpoints(options.addresses.size());
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        if (!bindMachineSocket(endpoints[i].socket, options.addresses[i], options.port))
            return 1;
        endpoints[i].settings = std::make_unique<SimSettings>(options.settings);
        if (!options.speeds.empty())
            endpoints[i].settings->speed = options.speeds[std::min(i, options.speeds.size() - 1)];
        endpoints[i].machine =
            std::make_unique<SimMachine>(options.addresses[i], *endpoints[i].settings);
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const PacketCipher cipher(key);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(options.exitAfter));
    std::fprintf(stderr, "z62-sim: %zu machine(s) on port %d, answering to port %d\n",
                 endpoints.size(), options.port, options.replyPort);

    std::vector<std::uint8_t> buffer(kRequestBufferSize);
    std::vector<const UdpSocket*> sockets;
    for (const Endpoint& endpoint : endpoints)
        sockets.push_back(&endpoint.socket);
    while (!g_stop) {
        if (options.exitAfter > 0 && std::chrono::steady_clock::now() >= deadline)
            break;
        bool served = false;
        for (Endpoint& endpoint : endpoints)
            served = serve(endpoint, cipher, options.replyPort, buffer) || served;
        // An idle wait that ends with the next request, short enough for signals and the
        // exit time to take effect promptly.
        if (!served)
            (void)UdpSocket::waitReadable(sockets, std::chrono::milliseconds(100));
    }
    if (log && log != stdout)
        std::fclose(log);
    if (sewnLog && sewnLog != stdout)
        std::fclose(sewnLog);
    return 0;
}
