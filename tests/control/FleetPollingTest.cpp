#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/FleetPolling.h"
#include "link/CommandPacket.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "tests/support/FakeMachine.h"

using namespace std::chrono_literals;
using test_support::FakeMachine;

namespace {

const PacketCipher& cipher()
{
    static const PacketCipher instance(defaultCipherKey());
    return instance;
}

// Answers each status query with a StatusReply at `stitch` to the machine's reply port.
FakeMachine::Answer statusAnswer(std::int32_t stitch)
{
    return [stitch](FakeMachine& machine, const FakeMachine::Datagram&) {
        std::vector<std::uint8_t> reply(112, 0);
        CommandPacket header;
        header.code = std::int32_t(CommandCode::StatusReply);
        header.length = 112;
        header.designId = 6;
        header.encode(reply);
        MachineStatus status;
        status.workState = 1;
        status.currentStitch = stitch;
        status.encode(std::span(reply).subspan(kHeaderSize));
        machine.send(reply);
    };
}

// What the receive loop does with a StatusReply: decrypt, decode, route by sender.
void routeReplies(UdpSocket& socket, FleetMonitor& monitor, std::chrono::milliseconds wait,
                  int* accepted, int* rejected)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
        std::vector<std::uint8_t> buffer(1024, 0);
        const auto received = socket.receive(buffer, 50ms);
        if (!received || received->length != 112)
            continue;
        cipher().decrypt(buffer.data(), 112);
        const auto header = CommandPacket::decode(buffer);
        const auto status = MachineStatus::decode(std::span(buffer).subspan(kHeaderSize, 48));
        if (!header || !status || header->code != std::int32_t(CommandCode::StatusReply))
            continue;
        ++*(monitor.onStatus(received->sender, *status, header->designId) ? accepted : rejected);
    }
}

} // namespace

TEST(FleetPolling, QueriesEveryMachineOverLoopbackAndTakesTheirAnswersBySender)
{
    UdpSocket receiver;
    ASSERT_TRUE(receiver.bind("127.0.0.1", 0, false));
    FakeMachine first("127.0.0.51", receiver.localPort(), 0, false);
    ASSERT_TRUE(first.bound());
    FakeMachine second("127.0.0.52", receiver.localPort(), first.port(), false);
    if (!second.bound())
        GTEST_SKIP() << "port " << first.port() << " is taken on 127.0.0.52";

    LinkSettings settings;
    settings.machinePort = first.port();
    StatusQuerySender sender(settings);
    FleetMonitor monitor(
        {}, [] { return std::chrono::steady_clock::now(); },
        [&](const std::string& address) { return sender.send(address); });
    monitor.setMachines({"127.0.0.51", "127.0.0.52"});

    int accepted = 0, rejected = 0;
    {
        first.serve(statusAnswer(120));
        second.serve(statusAnswer(340));
        FleetTicker ticker(monitor);
        ticker.start();
        // A stranger that answers without being asked.
        std::jthread c([&] {
            std::this_thread::sleep_for(200ms);
            std::array<std::uint8_t, 112> forged{};
            CommandPacket header;
            header.code = std::int32_t(CommandCode::StatusReply);
            header.length = 112;
            header.encode(forged);
            cipher().encrypt(forged.data(), 112);
            UdpSocket socket;
            if (socket.bind("127.0.0.60", 0, false))
                socket.sendTo("127.0.0.1", receiver.localPort(), forged);
        });
        routeReplies(receiver, monitor, 1700ms, &accepted, &rejected);
    }

    const auto query = buildPlainCommand(CommandCode::StatusQuery, 0);
    const auto firstGot = first.received();
    const auto secondGot = second.received();
    for (const auto* got : {&firstGot, &secondGot}) {
        // Once at the start and once a second later, no more.
        ASSERT_GE(got->size(), 1u);
        EXPECT_LE(got->size(), 2u);
        EXPECT_EQ(got->front().bytes, std::vector<std::uint8_t>(query.begin(), query.end()));
    }
    EXPECT_EQ(rejected, 1);
    EXPECT_EQ(accepted, int(firstGot.size() + secondGot.size()));
    const std::vector<FleetMachine> machines = monitor.machines();
    ASSERT_EQ(machines.size(), 2u);
    EXPECT_TRUE(machines[0].online);
    EXPECT_EQ(machines[0].stitch, 120);
    EXPECT_EQ(machines[0].designId, 6);
    EXPECT_TRUE(machines[1].online);
    EXPECT_EQ(machines[1].stitch, 340);
}

TEST(FleetPolling, TickerStopsPromptly)
{
    FleetMonitor monitor(
        {}, [] { return std::chrono::steady_clock::now(); },
        [&](const std::string&) { return true; });
    FleetTicker ticker(monitor, 1000ms);
    ticker.start();
    std::this_thread::sleep_for(50ms);
    const auto before = std::chrono::steady_clock::now();
    ticker.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_FALSE(ticker.isRunning());
}
