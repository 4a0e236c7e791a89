#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "link/UdpSocket.h"
#include "tests/support/MachineTableText.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
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

// A fresh 127.0.0.x for each simulated machine, so parallel tests never share one.
std::string randomLoopback()
{
    return "127.0." + std::to_string(std::uniform_int_distribution<int>(1, 254)(rng())) + "." +
           std::to_string(std::uniform_int_distribution<int>(2, 254)(rng()));
}

// One field of a sim log line: the text after "name": up to the next comma or brace.
std::string field(const std::string& line, const std::string& name)
{
    std::smatch m;
    const std::regex re("\"" + name + "\":(\\[[^\\]]*\\]|\"[^\"]*\"|[^,}]*)");
    if (!std::regex_search(line, m, re))
        return {};
    std::string v = m[1];
    if (v.size() >= 2 && v.front() == '"')
        v = v.substr(1, v.size() - 2);
    return v;
}

class LinkCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir.path() / "saved");
        m_machinePort = randomPort();
        m_listenPort = randomPort();
    }
    void TearDown() override { m_sim.reset(); }

    std::string path(const std::string& name) const { return m_dir.file(name); }

    // Machine table: one entry per address with its IsChoose value.
    void writeTable(const std::vector<std::pair<std::string, int>>& machines)
    {
        writeBytes(path("ZUZiruro.ini"),
                   "[Z62Language]\nLanguage=2\n" + machineTableText(machines));
    }

    void startSim(const std::vector<std::string>& addresses, double speed = 200)
    {
        std::vector<std::string> argv = {binPath("z62-sim"),
                                         "--port",
                                         std::to_string(m_machinePort),
                                         "--reply-port",
                                         std::to_string(m_listenPort),
                                         "--log",
                                         path("sim.log"),
                                         "--save-dir",
                                         path("saved"),
                                         "--speed",
                                         std::to_string(speed),
                                         "--exit-after",
                                         "120"};
        for (const auto& a : addresses) {
            argv.push_back("--address");
            argv.push_back(a);
        }
        m_sim = std::make_unique<SimulatedMachines>(argv, path("sim.out"));
        ASSERT_TRUE(m_sim->ready()) << m_sim->errors();
    }

    std::vector<std::string> cliArgs(std::vector<std::string> args, int listenPort = 0) const
    {
        std::vector<std::string> argv = {binPath("hoopwatch-cli"),
                                         "--config",
                                         path("ZUZiruro.ini"),
                                         "--machine-port",
                                         std::to_string(m_machinePort),
                                         "--listen-port",
                                         std::to_string(listenPort ? listenPort : m_listenPort)};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    ProcessResult cli(std::vector<std::string> args)
    {
        return runProcess(cliArgs(std::move(args)), m_dir.path().string());
    }

    // The sim's log lines for requests of `code` (all requests when 0).
    std::vector<std::string> logLines(int code = 0) const
    {
        std::vector<std::string> lines;
        std::istringstream in(readText(path("sim.log")));
        for (std::string line; std::getline(in, line);)
            if (field(line, "code") != "" &&
                (code == 0 || field(line, "code") == std::to_string(code)))
                lines.push_back(line);
        return lines;
    }

    std::string writeFile(const std::string& name, std::size_t size, unsigned seed = 1)
    {
        std::vector<char> bytes(size);
        std::mt19937 r(seed);
        for (auto& b : bytes)
            b = static_cast<char>(r());
        std::ofstream(path(name), std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(size));
        return path(name);
    }

    TempFolder m_dir;
    int m_machinePort = 0;
    int m_listenPort = 0;
    std::unique_ptr<SimulatedMachines> m_sim;
};

TEST_F(LinkCli, FilesArriveWholeWithTheirChunkNumbering)
{
    const std::string machine = randomLoopback();
    writeTable({{machine, 1}});
    startSim({machine});
    const std::vector<std::size_t> sizes = {1, 5000, 10240, 10241, 20480, 20481};
    // Each file from its own process at once, so the pacing adds up only once.
    std::vector<std::unique_ptr<BackgroundProcess>> runs;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string file =
            writeFile("f" + std::to_string(sizes[i]) + ".dst", sizes[i], unsigned(i + 1));
        runs.push_back(std::make_unique<BackgroundProcess>(
            cliArgs({"send", file, "--wait", "0.3"}, i == 0 ? m_listenPort : randomPort()),
            path("send" + std::to_string(i))));
    }
    // The machine answers on one port only, so only the first run hears its acknowledgements;
    // the others name their chunks as not acknowledged.
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i]->wait(), i == 0 ? 0 : 4)
            << readText(path("send" + std::to_string(i) + ".err"));

    const auto chunks = logLines(1);
    for (std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(size) + ".dst";
        SCOPED_TRACE(name);
        EXPECT_EQ(readText(path("saved/" + name)), readText(path(name)));
        const int count = size <= 10240 ? 1 : int((size + 10239) / 10240);
        std::vector<std::string> mine;
        for (const auto& line : chunks)
            if (field(line, "name") == name)
                mine.push_back(line);
        ASSERT_EQ(int(mine.size()), count);
        std::size_t left = size;
        for (int k = 0; k < count; ++k) {
            EXPECT_EQ(field(mine[k], "number"), std::to_string(k + 1));
            EXPECT_EQ(field(mine[k], "count"), std::to_string(count));
            EXPECT_EQ(field(mine[k], "length"), std::to_string(std::min<std::size_t>(left, 10240)));
            EXPECT_EQ(field(mine[k], "size"), "10576");
            EXPECT_EQ(field(mine[k], "format"), "2");
            left -= std::min<std::size_t>(left, 10240);
        }
        // The chunks of one file go out 500 ms apart.
        for (int k = 1; k < count; ++k) {
            const double gap = std::stod(field(mine[k], "t")) - std::stod(field(mine[k - 1], "t"));
            EXPECT_GT(gap, 0.4);
            EXPECT_LT(gap, 1.2);
        }
    }
}

TEST_F(LinkCli, SendGoesOnlyToTheFirstChosenMachineAndPrintsTheAcknowledgement)
{
    const std::string first = randomLoopback();
    std::string second = randomLoopback();
    while (second == first)
        second = randomLoopback();
    writeTable({{first, 1}, {second, 1}});
    startSim({first, second});
    const auto r = cli({"send", writeFile("rose.DSB", 300), "--wait", "0.5"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto chunks = logLines(1);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(field(chunks[0], "address"), first);
    EXPECT_EQ(field(chunks[0], "format"), "1");
    EXPECT_NE(r.out.find("Successful sending of Design! (design 1)"), std::string::npos) << r.out;
}

TEST_F(LinkCli, NothingIsSentWithoutATargetOrForAnUnusableFile)
{
    const std::string machine = randomLoopback();
    startSim({machine});
    const std::string good = writeFile("a.dst", 100);
    writeTable({{machine, 0}});
    const auto none = cli({"send", good});
    EXPECT_EQ(none.exitCode, 3);

    writeTable({{machine, 1}});
    const auto empty = cli({"send", writeFile("empty.dst", 0), "--wait", "0"});
    EXPECT_EQ(empty.exitCode, 1);
    const auto missing = cli({"send", path("missing.dst"), "--wait", "0"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("The design file cannot be read!"), std::string::npos)
        << missing.err;
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(LinkCli, SendFailsWhenTheTargetIsInvalidOrDoesNotAcknowledge)
{
    // The private address below must be refused by the guard, never sent to.
    ASSERT_TRUE(loopbackOnly());
    const std::string machine = randomLoopback();
    writeTable({{machine, 1}});
    const std::string file = writeFile("big.dst", 20481);
    struct Case
    {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"send", file, "--to", "300.1.2.3", "--wait", "0"}, 3, "not an IPv4 address"},
        {{"send", file, "--to", "10.1.2.3", "--wait", "0"}, 3, "HOOPWATCH_LOOPBACK_ONLY"},
        {{"status", "--to", "machine", "--wait", "0"}, 3, "not an IPv4 address"},
        // Nobody listens at the chosen machine: all three chunks go out unacknowledged.
        {{"send", file, "--wait", "0.2"}, 4, "chunks 1 to 3 of 3 not acknowledged"},
    };
    for (const Case& c : cases) {
        const auto r = cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST_F(LinkCli, BatchKeepsItsOrder)
{
    const std::string machine = randomLoopback();
    writeTable({{machine, 1}});
    startSim({machine});
    const auto r = cli({"send", writeFile("c.dst", 10), writeFile("a.dst", 20),
                        writeFile("b.dst", 30), "--wait", "0.3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto chunks = logLines(1);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(field(chunks[0], "name"), "c.dst");
    EXPECT_EQ(field(chunks[1], "name"), "a.dst");
    EXPECT_EQ(field(chunks[2], "name"), "b.dst");
    // 500 ms after the file's only datagram, then 500 ms after the file.
    const double gap = std::stod(field(chunks[1], "t")) - std::stod(field(chunks[0], "t"));
    EXPECT_GT(gap, 0.95);
    EXPECT_LT(gap, 2.0);
    EXPECT_NE(r.out.find("(design 3)"), std::string::npos) << r.out;
}

TEST_F(LinkCli, CommandsGoToTheFirstTickedEntryOrReportWhyNot)
{
    const std::string a = randomLoopback();
    std::string b = randomLoopback();
    while (b == a)
        b = randomLoopback();
    startSim({a, b});

    writeTable({{a, 0}, {b, 1}});
    const auto jog = cli({"jog"});
    EXPECT_EQ(jog.exitCode, 0) << jog.err;
    EXPECT_NE(jog.out.find("100 degree Successful!"), std::string::npos) << jog.out;
    const auto jogs = logLines(5);
    ASSERT_EQ(jogs.size(), 1u);
    EXPECT_EQ(field(jogs[0], "address"), b);

    writeTable({});
    const auto offline = cli({"lever"});
    EXPECT_EQ(offline.exitCode, 3);
    EXPECT_NE(offline.err.find("The machine is not online!"), std::string::npos) << offline.err;

    writeTable({{a, 0}, {b, 0}});
    const auto unselected = cli({"confirm"});
    EXPECT_EQ(unselected.exitCode, 3);
    EXPECT_NE(unselected.err.find("Unselected Machine!"), std::string::npos) << unselected.err;
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(LinkCli, ParametersArriveAsGivenAndAreRefusedWithoutADesign)
{
    const std::string machine = randomLoopback();
    writeTable({{machine, 1}});
    startSim({machine});
    const auto refused = cli({"params", "--design-id", "0", "--angle", "45"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("No matching design!"), std::string::npos) << refused.err;

    const auto r =
        cli({"params", "--design-id", "7", "--direction", "3", "--angle", "45", "--scale-x", "300",
             "--repeat-x", "300", "--spacing-x", "-50", "--colors", "1,2,15,2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Successful sending of Design param!"), std::string::npos) << r.out;
    const auto params = logLines(9);
    ASSERT_EQ(params.size(), 1u);
    const std::string& p = params[0];
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"designId", "7"},   {"direction", "3"}, {"angle", "45"},     {"scaleX", "300"},
        {"scaleY", "100"},   {"priority", "0"},  {"repeatX", "44"},   {"repeatY", "1"},
        {"spacingX", "-50"}, {"spacingY", "0"},  {"colorCount", "4"}, {"colors", "[1,2,15,2]"}};
    for (const auto& [name, value] : expected)
        EXPECT_EQ(field(p, name), value) << name << " in " << p;
}

// A DST of `stitches` normal stitches one unit apart, then the end record.
std::vector<char> smallDst(int stitches)
{
    std::vector<char> bytes(512, ' ');
    const std::string label = "LA:ops   \r";
    std::copy(label.begin(), label.end(), bytes.begin());
    for (int i = 0; i < stitches; ++i) {
        bytes.push_back(char(0x01));
        bytes.push_back(char(0x00));
        bytes.push_back(char(0x03));
    }
    bytes.push_back(char(0x00));
    bytes.push_back(char(0x00));
    bytes.push_back(char(0xF3));
    return bytes;
}

TEST_F(LinkCli, StatusShowsTheStitchNumberRisingWhileConfirmedAndWorking)
{
    const std::string machine = randomLoopback();
    writeTable({{machine, 1}});
    startSim({machine}, 400);
    const auto dst = smallDst(2000);
    std::ofstream(path("work.dst"), std::ios::binary)
        .write(dst.data(), std::streamsize(dst.size()));
    ASSERT_EQ(cli({"send", path("work.dst"), "--wait", "0.2"}).exitCode, 0);

    const auto idle = cli({"status"});
    EXPECT_NE(idle.out.find("work state: 0"), std::string::npos) << idle.out;
    EXPECT_NE(idle.out.find("current stitch: 0"), std::string::npos) << idle.out;
    ASSERT_EQ(cli({"confirm", "--design-id", "1"}).exitCode, 0);
    ASSERT_EQ(cli({"lever", "--design-id", "1"}).exitCode, 0);

    auto stitchOf = [](const std::string& out) {
        std::smatch m;
        return std::regex_search(out, m, std::regex("current stitch: (\\d+)")) ? std::stoi(m[1])
                                                                               : -1;
    };
    const auto first = cli({"status"});
    EXPECT_NE(first.out.find("work state: 1"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("embroidery state: 1"), std::string::npos) << first.out;
    std::this_thread::sleep_for(300ms);
    const auto second = cli({"status"});
    EXPECT_GT(stitchOf(second.out), stitchOf(first.out)) << first.out << second.out;
    EXPECT_LT(stitchOf(second.out), 2000);

    const auto palette = cli({"palette"});
    EXPECT_EQ(palette.exitCode, 0) << palette.err;
    EXPECT_NE(palette.out.find("colours: 15"), std::string::npos) << palette.out;
}

} // namespace

TEST_F(LinkCli, SendToSeveralMachinesReportsEachAndNamesTheSilentOne)
{
    std::vector<std::string> machines;
    while (machines.size() < 3) {
        const std::string a = randomLoopback();
        if (std::find(machines.begin(), machines.end(), a) == machines.end())
            machines.push_back(a);
    }
    writeTable({{machines[0], 1}, {machines[1], 1}, {machines[2], 1}});
    // The middle machine is not simulated: it never acknowledges.
    startSim({machines[0], machines[2]});
    const auto named = cli({"name", machines[0], "Left"});
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(named.out, "Left (" + machines[0] + ")\n");
    EXPECT_EQ(cli({"name", "127.9.9.9", "X"}).exitCode, 3);
    EXPECT_EQ(cli({"name", machines[0], "bad\tname"}).exitCode, 2);

    const std::string file = writeFile("star.dst", 15000); // two chunks
    const auto all = cli({"send", file, "--to", "all", "--wait", "0.5"});
    EXPECT_EQ(all.exitCode, 4) << all.err;
    EXPECT_NE(all.out.find("Left (" + machines[0] + "): 2 of 2 chunks acknowledged (design"),
              std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find(machines[1] + ": 0 of 2 chunks acknowledged, not confirmed"),
              std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find(machines[2] + ": 2 of 2 chunks acknowledged (design"), std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find("star.dst: 2 of 3 machines acknowledged every chunk"),
              std::string::npos);
    EXPECT_NE(all.err.find("chunks 1 to 2 of 2 not acknowledged by " + machines[1]),
              std::string::npos)
        << all.err;
    EXPECT_EQ(all.err.find("not acknowledged by Left"), std::string::npos);
    // Each machine had its own transfer, side by side.
    EXPECT_EQ(logLines(1).size(), 4u);

    const auto two = cli({"send", file, "--to", machines[0] + "," + machines[2], "--wait", "0.5"});
    EXPECT_EQ(two.exitCode, 0) << two.err;
    // Every address is checked before anything goes out.
    EXPECT_EQ(cli({"send", file, "--to", machines[0] + ",10.1.2.3"}).exitCode, 3);
    EXPECT_EQ(cli({"send", file, "--to", machines[0] + ","}).exitCode, 2);
    EXPECT_EQ(logLines(1).size(), 8u);

    const auto watch = cli({"watch", "--json", "--count", "1", "--interval", "0.5"});
    EXPECT_NE(watch.out.find("\"name\":\"Left\""), std::string::npos) << watch.out;
    EXPECT_NE(watch.out.find("\"name\":null"), std::string::npos) << watch.out;
}
