// Fault injection against the tool's send and status: an in-process machine on 127.0.0.x
// that drops, duplicates, reorders, never acknowledges or answers from another address.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "link/CommandPacket.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempFolder.h"

using namespace std::chrono_literals;
using test_support::FakeMachine;

namespace {

enum class Fault {
    None,
    DropSecond,
    DuplicateFirstDropThird, // as many acknowledgements as chunks, yet one chunk unanswered
    Reorder,                 // the first acknowledgement comes after the second
    DuplicateAll,
    Silent,
    OtherAddress, // every answer comes from a machine nobody asked
};

std::vector<std::uint8_t> answer(CommandCode code, std::int32_t designId, std::size_t length)
{
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(length, kHeaderSize), 0);
    CommandPacket header;
    header.code = std::int32_t(code);
    header.length = std::int32_t(length);
    header.designId = designId;
    header.encode(bytes);
    if (code == CommandCode::StatusReply) {
        MachineStatus status;
        status.workState = 1;
        status.embroideryState = 1;
        status.currentStitch = 4242;
        status.encode(std::span(bytes).subspan(kHeaderSize));
    }
    return bytes;
}

// A machine at `address` whose answers go wrong as `fault` says.
class FaultyMachine
{
public:
    FaultyMachine(const std::string& address, const std::string& other, std::uint16_t port,
                  std::uint16_t replyPort, Fault fault)
        : m_fault(fault), m_other(other, replyPort, 0, false),
          m_machine(address, replyPort, port, false)
    {
        if (bound())
            m_machine.serve([this](FakeMachine&, const FakeMachine::Datagram& d) { take(d); });
    }
    bool bound() const { return m_machine.bound() && m_other.bound(); }
    int chunks() const { return m_chunks; }

private:
    void send(CommandCode code, std::int32_t designId, std::size_t length)
    {
        (m_fault == Fault::OtherAddress ? m_other : m_machine).send(answer(code, designId, length));
    }
    void ack(int chunk) { send(CommandCode::DesignChunkAck, chunk, kHeaderSize); }
    void onChunk(int k)
    {
        switch (m_fault) {
        case Fault::None:
            ack(k);
            break;
        case Fault::DropSecond:
            if (k != 2)
                ack(k);
            break;
        case Fault::DuplicateFirstDropThird:
            if (k == 1)
                ack(k);
            if (k != 3)
                ack(k);
            break;
        case Fault::Reorder:
            if (k == 2)
                ack(2);
            if (k >= 2)
                ack(k == 2 ? 1 : k);
            break;
        case Fault::DuplicateAll:
            ack(k);
            ack(k);
            break;
        case Fault::Silent:
            break;
        case Fault::OtherAddress:
            ack(k);
            break;
        }
    }
    void take(const FakeMachine::Datagram& datagram)
    {
        if (datagram.bytes.size() < kHeaderSize)
            return;
        const auto header = CommandPacket::decode(std::span(datagram.bytes).first(kHeaderSize));
        if (!header)
            return;
        if (header->code == std::int32_t(CommandCode::DesignChunk))
            onChunk(++m_chunks);
        else if (header->code == std::int32_t(CommandCode::StatusQuery) && m_fault != Fault::Silent)
            send(CommandCode::StatusReply, 7, 112);
    }

    Fault m_fault;
    std::atomic<int> m_chunks{0};
    FakeMachine m_other;   // answers from here for Fault::OtherAddress
    FakeMachine m_machine; // last, so its thread stops before what it uses goes
};

std::uint16_t freePort()
{
    UdpSocket probe;
    return probe.bind("0.0.0.0", 0, false) ? probe.localPort() : 0;
}

// A fresh 127.0.x.y pair for each case, so parallel runs never share an address.
std::string randomLoopback(std::mt19937& r)
{
    return "127.0." + std::to_string(std::uniform_int_distribution<int>(1, 254)(r)) + "." +
           std::to_string(std::uniform_int_distribution<int>(2, 254)(r));
}

class FaultCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_machinePort = freePort();
        m_listenPort = freePort();
        ASSERT_NE(m_machinePort, 0);
        ASSERT_NE(m_listenPort, 0);
        m_address = randomLoopback(m_random);
        do
            m_other = randomLoopback(m_random);
        while (m_other == m_address);
        // Three chunks: 10240 + 10240 + 1 bytes.
        std::ofstream(m_dir.file("three.dst"), std::ios::binary) << std::string(20481, 'x');
    }

    ProcessResult cli(std::vector<std::string> args, const std::string& config = {})
    {
        std::vector<std::string> argv = {binPath("hoopwatch-cli"),
                                         "--config",
                                         config.empty() ? m_dir.file("ZUZiruro.ini") : config,
                                         "--machine-port",
                                         std::to_string(m_machinePort),
                                         "--listen-port",
                                         std::to_string(m_listenPort)};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv, m_dir.path().string());
    }

    std::mt19937 m_random{
        static_cast<unsigned>(::getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    TempFolder m_dir;
    std::uint16_t m_machinePort = 0;
    std::uint16_t m_listenPort = 0;
    std::string m_address;
    std::string m_other;
};

} // namespace

TEST_F(FaultCli, SendSucceedsOnlyWhenEveryChunkIsAcknowledgedByTheTarget)
{
    struct Case
    {
        Fault fault;
        int exitCode;
        const char* says; // on stderr; empty for none
    };
    const std::vector<Case> cases = {
        {Fault::None, 0, ""},
        {Fault::Reorder, 0, ""},
        {Fault::DuplicateAll, 0, ""},
        {Fault::DropSecond, 4, "chunks 3 to 3 of 3 not acknowledged"},
        {Fault::DuplicateFirstDropThird, 4, "chunks 3 to 3 of 3 not acknowledged"},
        {Fault::Silent, 4, "chunks 1 to 3 of 3 not acknowledged"},
        {Fault::OtherAddress, 4, "chunks 1 to 3 of 3 not acknowledged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        FaultyMachine machine(m_address, m_other, m_machinePort, m_listenPort, c.fault);
        ASSERT_TRUE(machine.bound());
        const auto r = cli({"send", m_dir.file("three.dst"), "--to", m_address, "--wait", "0.4"});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(machine.chunks(), 3);
        if (*c.says)
            EXPECT_NE(r.err.find(std::string(c.says) + " by " + m_address), std::string::npos)
                << r.err;
        else
            EXPECT_EQ(r.err.find("not acknowledged"), std::string::npos) << r.err;
    }
}

TEST_F(FaultCli, StatusBelievesOnlyTheMachineAsked)
{
    struct Case
    {
        Fault fault;
        int exitCode;
    };
    for (const Case c :
         {Case{Fault::None, 0}, Case{Fault::OtherAddress, 4}, Case{Fault::Silent, 4}}) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        FaultyMachine machine(m_address, m_other, m_machinePort, m_listenPort, c.fault);
        ASSERT_TRUE(machine.bound());
        const auto r = cli({"status", "--to", m_address, "--wait", "0.5"});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out.find("current stitch: 4242") != std::string::npos, c.exitCode == 0)
            << r.out;
    }
}

TEST_F(FaultCli, AcknowledgedSendWhoseSettingsCannotBeWrittenFails)
{
    // The receiver's first-run defaults cannot be written into a folder that does not exist.
    FaultyMachine machine(m_address, m_other, m_machinePort, m_listenPort, Fault::None);
    ASSERT_TRUE(machine.bound());
    const auto r = cli({"send", m_dir.file("three.dst"), "--to", m_address, "--wait", "0.4"},
                       m_dir.file("missing/ZUZiruro.ini"));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(m_dir.file("missing/ZUZiruro.ini")), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not acknowledged"), std::string::npos) << r.err;
}
