// End to end on loopback: hoopwatch-cli search against z62-sim machines.
#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/ByteOrder.h"
#include "link/CommandPacket.h"
#include "link/LocalAddress.h"
#include "tests/link/LinkTestSupport.h"

extern char** environ;

namespace {

std::string binDir()
{
    const char* dir = std::getenv("HOOPWATCH_BIN_DIR");
    return dir ? dir : HOOPWATCH_BIN_DIR;
}

std::uint16_t freePort()
{
    UdpSocket probe;
    return probe.bind("0.0.0.0", 0, false) ? probe.localPort() : 0;
}

// A z62-sim process for the life of the object.
class SimProcess
{
public:
    SimProcess(const std::vector<std::string>& addresses, std::uint16_t port,
               std::uint16_t replyPort)
    {
        std::vector<std::string> args = {binDir() + "/z62-sim",
                                         "--port",
                                         std::to_string(port),
                                         "--reply-port",
                                         std::to_string(replyPort),
                                         "--exit-after",
                                         "60"};
        for (const auto& a : addresses) {
            args.push_back("--address");
            args.push_back(a);
        }
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// Probes `address` until it answers on `replyPort`, so a test starts only once the machine is up.
bool waitUntilAnswering(const std::string& address, std::uint16_t port, std::uint16_t replyPort)
{
    UdpSocket answers;
    if (!answers.bind("0.0.0.0", replyPort, false))
        return false;
    const PacketCipher cipher(defaultCipherKey());
    auto probe = buildPlainCommand(CommandCode::Search, 0);
    cipher.encrypt(probe.data(), 64);
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    for (int i = 0; i < 100; ++i) {
        answers.sendTo(address, port, probe);
        if (auto got = answers.receive(buffer, std::chrono::milliseconds(50)))
            if (got->sender == address)
                return true;
    }
    return false;
}

struct CliRun
{
    int exitCode = -1;
    std::string out;
};

CliRun runSearch(const std::string& config, std::uint16_t machinePort, std::uint16_t listenPort)
{
    const std::string command = binDir() + "/hoopwatch-cli search --prefix 127.0.0. --wait 1" +
                                " --config '" + config + "' --machine-port " +
                                std::to_string(machinePort) + " --listen-port " +
                                std::to_string(listenPort);
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 256> chunk{};
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        run.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class SearchAcceptance : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(binDir() + "/z62-sim") ||
            !std::filesystem::exists(binDir() + "/hoopwatch-cli"))
            GTEST_SKIP() << "z62-sim or hoopwatch-cli not built";
        machinePort = freePort();
        listenPort = freePort();
        ASSERT_NE(machinePort, 0);
        ASSERT_NE(listenPort, 0);
    }

    TempFolder dir;
    std::string configPath = dir.file("ZUZiruro.ini");
    std::uint16_t machinePort = 0;
    std::uint16_t listenPort = 0;
};

} // namespace

TEST_F(SearchAcceptance, TwoMachinesAreFoundThenOneGoneLeavesOne)
{
    const ConfigFile config(configPath);
    const MachineTable table(config);
    {
        SimProcess sim({"127.0.0.51", "127.0.0.52"}, machinePort, listenPort);
        ASSERT_TRUE(sim.running());
        ASSERT_TRUE(waitUntilAnswering("127.0.0.52", machinePort, listenPort));
        const CliRun run = runSearch(configPath, machinePort, listenPort);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "127.0.0.51\n127.0.0.52\n");
        EXPECT_EQ(table.count(), 2);
        EXPECT_EQ(table.address(0), "127.0.0.51");
        EXPECT_EQ(table.address(1), "127.0.0.52");
        EXPECT_EQ(table.isChoose(0), 1);
        EXPECT_EQ(table.isChoose(1), 1);
        EXPECT_EQ(config.readText("Z62_Net_Local_IP", "IP", "unset"), localAddress());
        // The start-up defaults went in before the search, with the language still unchosen.
        EXPECT_EQ(config.readText("Z62Language", "Language", "unset"), "0");
    }
    SimProcess sim({"127.0.0.52"}, machinePort, listenPort);
    ASSERT_TRUE(waitUntilAnswering("127.0.0.52", machinePort, listenPort));
    const CliRun run = runSearch(configPath, machinePort, listenPort);
    EXPECT_EQ(run.out, "127.0.0.52\n");
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(table.address(0), "127.0.0.52");
    // The earlier second entry stays in the file but is no longer part of the table.
    EXPECT_EQ(config.readText("Z62_Net_1", "Ip", "unset"), "127.0.0.52");
}

TEST_F(SearchAcceptance, RepeatedReplyAddsNothing)
{
    SimProcess sim({"127.0.0.51"}, machinePort, listenPort);
    ASSERT_TRUE(sim.running());
    ASSERT_TRUE(waitUntilAnswering("127.0.0.51", machinePort, listenPort));

    // A machine at 127.0.0.53 that answers its probe twice.
    UdpSocket twice;
    ASSERT_TRUE(twice.bind("127.0.0.53", machinePort));
    std::jthread echo([&](std::stop_token stop) {
        const PacketCipher cipher(defaultCipherKey());
        std::array<std::uint8_t, kReceiveBufferSize> buffer{};
        while (!stop.stop_requested()) {
            auto got = twice.receive(buffer, std::chrono::milliseconds(50));
            if (!got)
                continue;
            auto answer = buildPlainCommand(CommandCode::SearchReply, 0);
            cipher.encrypt(answer.data(), 64);
            twice.sendTo(got->sender, listenPort, answer);
            twice.sendTo(got->sender, listenPort, answer);
        }
    });

    const CliRun run = runSearch(configPath, machinePort, listenPort);
    echo.request_stop();
    EXPECT_EQ(run.exitCode, 0);
    // Two answering processes: which answer comes first is up to the scheduler.
    EXPECT_TRUE(run.out == "127.0.0.51\n127.0.0.53\n" || run.out == "127.0.0.53\n127.0.0.51\n")
        << run.out;
    EXPECT_EQ(MachineTable(ConfigFile(configPath)).count(), 2);
}
