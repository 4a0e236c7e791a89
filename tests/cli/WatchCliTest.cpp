#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "tests/support/MachineTableText.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempFolder.h"

using namespace std::chrono_literals;

namespace {

std::mt19937& rng()
{
    static std::mt19937 r(
        static_cast<unsigned>(::getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return r;
}

int randomPort()
{
    return std::uniform_int_distribution<int>(20000, 59999)(rng());
}

// A fresh 127.0.x. prefix, so parallel tests never share an address.
std::string randomPrefix()
{
    return "127.0." + std::to_string(std::uniform_int_distribution<int>(1, 254)(rng())) + ".";
}

// The value of "name": in one JSON line: an object, a string (without quotes) or a plain value.
std::string field(const std::string& line, const std::string& name)
{
    std::smatch m;
    const std::regex re("\"" + name + "\":(\\{[^}]*\\}|\"[^\"]*\"|[^,}]*)");
    if (!std::regex_search(line, m, re))
        return "<missing>";
    std::string v = m[1];
    if (v.size() >= 2 && v.front() == '"')
        v = v.substr(1, v.size() - 2);
    return v;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

class WatchCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_machinePort = randomPort();
        m_listenPort = randomPort();
        m_prefix = randomPrefix();
    }

    std::string path(const std::string& name) const { return m_dir.file(name); }
    std::string address(int n) const { return m_prefix + std::to_string(n); }

    void writeTable(const std::vector<std::string>& addresses)
    {
        std::vector<std::pair<std::string, int>> machines;
        for (const auto& a : addresses)
            machines.emplace_back(a, machines.empty() ? 1 : 0);
        writeBytes(path("ZUZiruro.ini"),
                   "[Z62Language]\nLanguage=2\n" + machineTableText(machines));
    }

    // One z62-sim for `addresses` (ranges allowed), sewing by itself once a design arrives.
    void startSim(const std::vector<std::string>& addresses, std::vector<std::string> extra = {},
                  const std::string& envKey = "")
    {
        std::vector<std::string> argv;
        if (!envKey.empty())
            argv = {"/usr/bin/env", "HOOPWATCH_KEY=" + envKey};
        argv.insert(argv.end(), {binPath("z62-sim"), "--port", std::to_string(m_machinePort),
                                 "--reply-port", std::to_string(m_listenPort), "--log",
                                 path("sim.log"), "--exit-after", "120"});
        argv.insert(argv.end(), extra.begin(), extra.end());
        for (const auto& a : addresses)
            argv.insert(argv.end(), {"--address", a});
        m_sim = std::make_unique<SimulatedMachines>(argv, path("sim.out"));
        ASSERT_TRUE(m_sim->ready()) << m_sim->errors();
    }

    std::vector<std::string> cliArgs(std::vector<std::string> args) const
    {
        std::vector<std::string> argv = {binPath("hoopwatch-cli"),      "--config",
                                         path("ZUZiruro.ini"),          "--machine-port",
                                         std::to_string(m_machinePort), "--listen-port",
                                         std::to_string(m_listenPort)};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    ProcessResult cli(std::vector<std::string> args, std::chrono::seconds limit = 60s)
    {
        return runProcess(cliArgs(std::move(args)), m_dir.path().string(), limit);
    }

    std::string fleetFile() const { return readText(path("hoopwatch-fleet.ini")); }

    TempFolder m_dir;
    int m_machinePort = 0;
    int m_listenPort = 0;
    std::string m_prefix;
    std::unique_ptr<SimulatedMachines> m_sim;
};

const std::string kSample = HOOPWATCH_SAMPLES_DIR "/flower.dst";

TEST_F(WatchCli, JsonRoundsCarryEveryFieldOfEachMachine)
{
    writeTable({address(1), address(2)});
    startSim({address(1) + "-2"}, {"--auto-sew", "--speeds", "40,10"});
    const ProcessResult sent = cli({"send", kSample, "--to", address(1)});
    ASSERT_EQ(sent.exitCode, 0) << sent.err;

    const ProcessResult watch = cli({"watch", "--json", "--count", "2", "--interval", "1.5"});
    ASSERT_EQ(watch.exitCode, 0) << watch.err;
    const auto rounds = lines(watch.out);
    ASSERT_EQ(rounds.size(), 4u) << watch.out;
    // Each round names every machine once, in table order, with the fields in one order.
    const std::vector<std::string> keys = {
        "address", "online", "work",    "embroidery",        "designId",
        "stitch",  "design", "percent", "stitchesPerMinute", "secondsLeft"};
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        SCOPED_TRACE(rounds[i]);
        EXPECT_EQ(field(rounds[i], "address"), address(int(i % 2) + 1));
        EXPECT_EQ(rounds[i].front(), '{');
        EXPECT_EQ(rounds[i].back(), '}');
        std::size_t at = 0;
        for (const auto& key : keys) {
            const std::size_t next = rounds[i].find("\"" + key + "\":", at);
            ASSERT_NE(next, std::string::npos) << key;
            at = next;
        }
        EXPECT_EQ(field(rounds[i], "online"), "true");
    }
    const std::string& sewing = rounds[2];
    const std::string& idle = rounds[3];
    EXPECT_EQ(field(sewing, "work"), "1");
    EXPECT_EQ(field(sewing, "embroidery"), "1");
    EXPECT_EQ(field(sewing, "designId"), "1");
    EXPECT_GT(std::stoi(field(sewing, "stitch")), std::stoi(field(rounds[0], "stitch")));
    const std::string design = field(sewing, "design");
    EXPECT_NE(design.find("\"name\":\"flower.dst\""), std::string::npos) << design;
    EXPECT_NE(design.find("\"stitches\":285"), std::string::npos) << design;
    EXPECT_NE(design.find("\"colors\":8"), std::string::npos) << design;
    const double percent = std::stod(field(sewing, "percent"));
    EXPECT_GT(percent, 0.0);
    EXPECT_LT(percent, 100.0);

    EXPECT_EQ(field(idle, "work"), "0");
    EXPECT_EQ(field(idle, "stitch"), "0");
    EXPECT_EQ(field(idle, "design"), "null");
    EXPECT_EQ(field(idle, "percent"), "null");
    EXPECT_EQ(field(idle, "secondsLeft"), "null");
}

TEST_F(WatchCli, PlainOutputIsOneLinePerMachinePerRoundAndAnUnansweredMachineIsNotOnline)
{
    writeTable({address(1), address(9)}); // nothing answers for the second
    startSim({address(1)});
    const ProcessResult watch = cli({"watch", "--count", "10", "--interval", "0.2"});
    ASSERT_EQ(watch.exitCode, 0) << watch.err;
    // Rounds faster than a second still ask each machine at most once a second: in about
    // 2 s, polls at 0, 1 and 2 s.
    const auto log = lines(readText(path("sim.log")));
    const auto queries = std::count_if(log.begin(), log.end(), [&](const std::string& line) {
        return field(line, "code") == "19" && field(line, "address") == address(1);
    });
    EXPECT_LE(queries, 3) << "status queries the machine received";
    const auto out = lines(watch.out);
    ASSERT_EQ(out.size(), 20u) << watch.out;
    for (std::size_t i = 0; i < out.size(); i += 2) {
        EXPECT_EQ(out[i].rfind(address(1) + " online standing", 0), 0u) << out[i];
        EXPECT_EQ(out[i + 1].rfind(address(9) + " ", 0), 0u) << out[i + 1];
        EXPECT_EQ(out[i + 1].find(" online"), std::string::npos) << out[i + 1];
    }
    EXPECT_EQ(watch.out.find('\x1b'), std::string::npos) << "no terminal codes into a pipe";
}

TEST_F(WatchCli, OnATerminalTheTableIsRedrawnInPlace)
{
    writeTable({address(1), address(2)});
    startSim({address(1) + "-2"});
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    std::string shown;
    {
        BackgroundProcess watch(cliArgs({"watch", "--count", "2", "--interval", "0.5"}), terminal);
        const auto until = std::chrono::steady_clock::now() + 10s;
        char buffer[4096];
        while (std::chrono::steady_clock::now() < until) {
            pollfd ready{master, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break; // the terminal closed with the last writer
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(watch.wait(5s), 0);
    }
    ::close(master);
    // Each round starts at the top of a cleared screen, then the heading and both machines.
    const std::string clear = "\x1b[H\x1b[2J";
    std::size_t rounds = 0;
    for (std::size_t at = shown.find(clear); at != std::string::npos;
         at = shown.find(clear, at + 1)) {
        ++rounds;
        const std::string round = shown.substr(at + clear.size());
        EXPECT_EQ(round.rfind("ADDRESS", 0), 0u) << round;
        EXPECT_NE(round.find(address(1)), std::string::npos);
        EXPECT_NE(round.find(address(2)), std::string::npos);
    }
    EXPECT_EQ(rounds, 2u) << shown;
}

TEST_F(WatchCli, EndsOnCtrlCWithItsDocumentedCodeAndOwnsItsAnswerPort)
{
    writeTable({address(1)});
    startSim({address(1)});
    BackgroundProcess watch(cliArgs({"watch", "--json", "--interval", "0.5"}), path("watch.out"));
    // Waits for the first round, so the handler is in place and output has begun.
    for (int i = 0; i < 300 && readText(path("watch.out")).empty(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(readText(path("watch.out")).empty());

    // A second watch cannot hear answers on the same port and says so.
    const ProcessResult second = cli({"watch", "--count", "1", "--interval", "0.3"}, 10s);
    EXPECT_EQ(second.exitCode, 4);
    EXPECT_NE(second.err.find("cannot listen"), std::string::npos) << second.err;
    EXPECT_TRUE(second.out.empty());

    const auto sentAt = std::chrono::steady_clock::now();
    ::kill(watch.pid(), SIGINT);
    EXPECT_EQ(watch.wait(10s), 130) << readText(path("watch.out.err"));
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, 2s);
    const auto out = lines(readText(path("watch.out")));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().back(), '}') << "no line is cut off";
}

TEST_F(WatchCli, RefusesBadUsageAndATableWithoutUsableMachines)
{
    struct Case
    {
        const char* what;
        std::string table; // empty: no configuration file at all
        std::vector<std::string> args;
        int exitCode;
    };
    const std::string one = "[Z62Language]\nLanguage=2\n" + machineTableText({{address(1), 1}});
    const Case cases[] = {
        {"interval too short", one, {"--interval", "0.01"}, 2},
        {"interval not a number", one, {"--interval", "soon"}, 2},
        {"count zero", one, {"--count", "0"}, 2},
        {"unknown option", one, {"--colour"}, 2},
        {"stray argument", one, {"127.0.0.1"}, 2},
        {"no configuration file", "", {"--count", "1"}, 3},
        {"empty table", machineTableText({}), {"--count", "1"}, 3},
        {"only addresses that cannot be machines here",
         machineTableText({{"198.51.100.7", 1}, {"not-an-address", 1}}),
         {"--count", "1"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(path("ZUZiruro.ini").c_str());
        if (!c.table.empty())
            writeBytes(path("ZUZiruro.ini"), c.table);
        std::vector<std::string> args = {"watch", "--interval", "0.3"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = cli(args, 10s);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_FALSE(r.err.empty()) << "every refusal says why";
        if (c.table.empty()) {
            EXPECT_NE(r.err.find("no settings file"), std::string::npos) << r.err;
        }
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(WatchCli, SendRecordsTheDesignOnlyWhenEveryChunkWasAcknowledged)
{
    writeTable({address(1)});
    // Nobody answers yet: the send is not confirmed and leaves no record.
    const ProcessResult unanswered = cli({"send", kSample, "--to", address(1), "--wait", "0.3"});
    EXPECT_EQ(unanswered.exitCode, 4) << unanswered.err;
    EXPECT_EQ(fleetFile().find("[" + address(1) + "]"), std::string::npos) << fleetFile();

    startSim({address(1)});
    const std::time_t before = std::time(nullptr);
    const ProcessResult answered = cli({"send", kSample, "--to", address(1)});
    ASSERT_EQ(answered.exitCode, 0) << answered.err;
    const std::string file = fleetFile();
    const std::size_t entry = file.find("[" + address(1) + "]");
    ASSERT_NE(entry, std::string::npos) << file;
    const std::string section = file.substr(entry);
    for (const char* expected :
         {"name=flower.dst\n", "stitches=285\n", "colors=8\n", "designId=1\n"})
        EXPECT_NE(section.find(expected), std::string::npos) << expected << " in\n" << file;
    const std::size_t sentAt = section.find("sentAt=");
    ASSERT_NE(sentAt, std::string::npos);
    const long long when = std::stoll(section.substr(sentAt + 7));
    EXPECT_GE(when, static_cast<long long>(before));
    EXPECT_LE(when, static_cast<long long>(std::time(nullptr)));
}

TEST_F(WatchCli, ARecordThatCannotBeWrittenIsReportedAndTheForeignFileKept)
{
    writeTable({address(1)});
    const std::string foreign = "[SomethingElse]\nkey=value\n";
    writeBytes(path("hoopwatch-fleet.ini"), foreign);
    startSim({address(1)});
    const ProcessResult r = cli({"send", kSample, "--to", address(1)});
    EXPECT_EQ(r.exitCode, 0) << "the design did arrive";
    EXPECT_NE(r.err.find("could not be recorded"), std::string::npos) << r.err;
    EXPECT_EQ(fleetFile(), foreign);
}

TEST_F(WatchCli, OneSimulatorAnswersFromEachOfItsAddresses)
{
    std::vector<std::string> table;
    for (int n = 1; n <= 12; ++n)
        table.push_back(address(n));
    writeTable(table);
    startSim({address(1) + "-12"});
    const ProcessResult watch = cli({"watch", "--json", "--count", "1", "--interval", "1"});
    ASSERT_EQ(watch.exitCode, 0) << watch.err;
    const auto out = lines(watch.out);
    ASSERT_EQ(out.size(), table.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(field(out[i], "address"), table[i]);
        EXPECT_EQ(field(out[i], "online"), "true") << out[i];
    }
}

TEST_F(WatchCli, SimulatorTakesItsKeyFromTheEnvironment)
{
    writeTable({address(1)});
    const std::string key = "Zq7Wm2Rk9Tb4Xc1V";
    startSim({address(1)}, {}, key);
    struct Case
    {
        const char* what;
        std::vector<std::string> keyArgs;
        int exitCode;
    };
    const Case cases[] = {
        {"the same key", {"--key", key}, 0},
        {"the built-in key", {}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = c.keyArgs;
        args.insert(args.end(), {"status", "--to", address(1), "--wait", "0.5"});
        const ProcessResult r = cli(args, 10s);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    }
}

} // namespace

// The machines' own counts (z62-sim --sewn-log) against what watch recorded and report shows.
TEST_F(WatchCli, ReportAgreesWithWhatTheSimulatedMachinesSewed)
{
    writeTable({address(1), address(2), address(3)});
    ASSERT_EQ(cli({"name", address(2), "Ring 二"}).exitCode, 0);
    startSim({address(1) + "-3"}, {"--auto-sew", "--speeds", "100,120,150", "--start-delay", "3",
                                   "--sewn-log", path("sewn.log")});
    const std::string rings = HOOPWATCH_SAMPLES_DIR "/rings.dst";
    for (const auto& [n, file] : {std::pair{1, kSample}, std::pair{2, rings}, std::pair{3, kSample}}) {
        const ProcessResult sent = cli({"send", file, "--to", address(n)});
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
    }
    // Every machine starts after its delay and is done well within the watch.
    const ProcessResult watch = cli({"watch", "--count", "24", "--interval", "0.5"});
    ASSERT_EQ(watch.exitCode, 0) << watch.err;

    std::map<std::string, std::pair<int, long>> sewn; // address: designs finished, stitches
    for (const std::string& line : lines(readText(path("sewn.log")))) {
        auto& [runs, stitches] = sewn[field(line, "address")];
        ++runs;
        stitches = std::stol(field(line, "sewn"));
    }
    ASSERT_EQ(sewn.size(), 3u) << readText(path("sewn.log"));

    const ProcessResult report = cli({"report", "--json", "--by", "design", "--chart", path("c.svg")});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const std::string machinesPart = report.out.substr(report.out.find("\"machines\":"));
    for (const auto& [address, counts] : sewn) {
        SCOPED_TRACE(address);
        std::smatch m;
        const std::regex re("\"" + address + "\":\\{\"name\":[^,]*,\"runsFinished\":(\\d+),"
                            "\"pieces\":\\{[^}]*\\},"
                            "\"stitchesSewn\":(\\d+)");
        ASSERT_TRUE(std::regex_search(machinesPart, m, re)) << report.out;
        EXPECT_EQ(std::stoi(m[1]), counts.first);
        EXPECT_EQ(std::stol(m[2]), counts.second);
    }
    EXPECT_NE(report.out.find("\"rings.dst\":1"), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("\"name\":\"Ring 二\""), std::string::npos) << report.out;
    const std::string svg = readText(path("c.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("Ring 二"), std::string::npos);
    EXPECT_NE(svg.find(address(3)), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);

    // The same figures as CSV, one line per machine and design plus the totals.
    const ProcessResult csv = cli({"report", "--csv", "--by", "design"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(lines(csv.out).size(), 1u + 3u + 1u) << csv.out;
    EXPECT_NE(csv.out.find("\n*,,,3,"), std::string::npos) << csv.out;
}

// The window or watch restarted while a machine sews: the sewing after the restart counts,
// although the machine changed nothing when the second watch began.
TEST_F(WatchCli, AMachineSewingOnWhileWatchingRestartsCountsFromTheRestart)
{
    writeTable({address(1)});
    startSim({address(1)}, {"--auto-sew", "--speed", "100", "--sewn-log", path("sewn.log")});
    ASSERT_EQ(cli({"send", HOOPWATCH_SAMPLES_DIR "/rings.dst", "--to", address(1)}).exitCode, 0);
    // 759 stitches at 100 a second: started, then the first watch ends while it sews.
    ASSERT_EQ(cli({"watch", "--count", "4", "--interval", "0.5"}).exitCode, 0);
    ASSERT_EQ(cli({"watch", "--count", "16", "--interval", "0.5"}).exitCode, 0);
    ASSERT_EQ(lines(readText(path("sewn.log"))).size(), 1u) << "sewn to its end while watched";
    const ProcessResult report = cli({"report", "--json"});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    std::smatch m;
    const std::string machines = report.out.substr(report.out.find("\"machines\":"));
    ASSERT_TRUE(std::regex_search(machines, m, std::regex("\"runsFinished\":(\\d+),\"pieces\""
                                                          ":\\{[^}]*\\},\"stitchesSewn\":(\\d+)")))
        << report.out;
    EXPECT_EQ(m[1], "1");
    // Lost: only what was sewn before each watch's first answer (a few tenths of a second at
    // 100 a second; before, all of it: neither watch saw the machine start).
    EXPECT_GT(std::stol(m[2]), 759 - 250) << report.out;
}

TEST_F(WatchCli, ReportRefusesBadArgumentsAMissingHistoryAndFilesNotItsOwn)
{
    writeTable({address(1)});
    EXPECT_EQ(cli({"report"}).exitCode, 1) << "no history yet";
    const struct
    {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"report", "--by", "week"}, 2},
        {{"report", "--since", "2026-02-31"}, 2},
        {{"report", "--csv", "--json"}, 2},
        {{"report", "--chart", path("c.gif")}, 2},
        {{"report", "--since", "2026-12-07", "--until", "2026-12-06"}, 2},
        {{"report", "--machine", "machine-one"}, 3},
    };
    for (const auto& c : cases) {
        const ProcessResult r = cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back() << "\n" << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    // Someone else's file by that name is reported and left as it was, by report and watch.
    writeBytes(path("hoopwatch-history.sqlite"), "not a database of ours");
    const ProcessResult r = cli({"report"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not a Hoopwatch history file"), std::string::npos) << r.err;
    const ProcessResult w = cli({"watch", "--count", "1", "--interval", "0.2"});
    EXPECT_EQ(w.exitCode, 0) << w.err;
    EXPECT_NE(w.err.find("nothing is recorded"), std::string::npos) << w.err;
    EXPECT_EQ(readText(path("hoopwatch-history.sqlite")), "not a database of ours");
}
