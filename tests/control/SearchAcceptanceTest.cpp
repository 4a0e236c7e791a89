// End to end on loopback: hoopwatch-cli search against z62-sim machines.
#include <array>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/ByteOrder.h"
#include "link/CommandPacket.h"
#include "link/LocalAddress.h"
#include "tests/control/ControlTestSupport.h"
#include "tests/support/ProcessRunner.h"

namespace {

std::uint16_t freePort()
{
    UdpSocket probe;
    return probe.bind("0.0.0.0", 0, false) ? probe.localPort() : 0;
}

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

class SearchAcceptance : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(binPath("z62-sim")) ||
            !std::filesystem::exists(binPath("hoopwatch-cli")))
            GTEST_SKIP() << "z62-sim or hoopwatch-cli not built";
        machinePort = freePort();
        listenPort = freePort();
        ASSERT_NE(machinePort, 0);
        ASSERT_NE(listenPort, 0);
    }

    // A z62-sim process with machines at `addresses`, for the life of the object.
    BackgroundProcess startSim(const std::vector<std::string>& addresses) const
    {
        std::vector<std::string> argv = {binPath("z62-sim"),
                                         "--port",
                                         std::to_string(machinePort),
                                         "--reply-port",
                                         std::to_string(listenPort),
                                         "--exit-after",
                                         "60"};
        for (const auto& a : addresses) {
            argv.push_back("--address");
            argv.push_back(a);
        }
        return BackgroundProcess(argv, dir.file("sim.log"));
    }

    ProcessResult runSearch() const
    {
        return runProcess({binPath("hoopwatch-cli"), "search", "--prefix", "127.0.0.", "--wait",
                           "1", "--config", configPath, "--machine-port",
                           std::to_string(machinePort), "--listen-port",
                           std::to_string(listenPort)},
                          dir.path().string());
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
        BackgroundProcess sim = startSim({"127.0.0.51", "127.0.0.52"});
        ASSERT_TRUE(sim.running());
        ASSERT_TRUE(waitUntilAnswering("127.0.0.52", machinePort, listenPort));
        const ProcessResult run = runSearch();
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
    BackgroundProcess sim = startSim({"127.0.0.52"});
    ASSERT_TRUE(waitUntilAnswering("127.0.0.52", machinePort, listenPort));
    const ProcessResult run = runSearch();
    EXPECT_EQ(run.out, "127.0.0.52\n");
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(table.address(0), "127.0.0.52");
    // The earlier second entry stays in the file but is no longer part of the table.
    EXPECT_EQ(config.readText("Z62_Net_1", "Ip", "unset"), "127.0.0.52");
}

TEST_F(SearchAcceptance, RepeatedReplyAddsNothing)
{
    BackgroundProcess sim = startSim({"127.0.0.51"});
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

    const ProcessResult run = runSearch();
    echo.request_stop();
    EXPECT_EQ(run.exitCode, 0);
    // Two answering processes: which answer comes first is up to the scheduler.
    EXPECT_TRUE(run.out == "127.0.0.51\n127.0.0.53\n" || run.out == "127.0.0.53\n127.0.0.51\n")
        << run.out;
    EXPECT_EQ(MachineTable(ConfigFile(configPath)).count(), 2);
}
