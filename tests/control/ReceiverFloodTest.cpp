// Fault injection against the receive loop: a flood of random, cut and unasked datagrams from
// strangers on loopback, with the real session filtering senders.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "control/ControlSession.h"
#include "control/LinkState.h"
#include "link/CommandPacket.h"
#include "tests/control/ControlTestSupport.h"

namespace {

std::vector<std::uint8_t> plainReply(CommandCode code, std::int32_t designId, std::size_t length)
{
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(length, kHeaderSize), 0);
    CommandPacket header;
    header.code = std::int32_t(code);
    header.length = std::int32_t(length);
    header.designId = designId;
    header.encode(bytes);
    bytes.resize(length);
    return bytes;
}

// Counts instead of keeping: the flood must not fill the test's memory either.
class CountingListener : public ReceiverListener
{
public:
    void onReply(const Reply& reply) override
    {
        ++m_taken;
        std::lock_guard lock(m_mutex);
        m_senders.insert(reply.sender);
    }
    void onIgnored(const Reply&) override { ++m_ignored; }
    void onMachineFound(const std::string& address) override
    {
        std::lock_guard lock(m_mutex);
        m_found.push_back(address);
    }
    int handled() const { return m_taken + m_ignored; }
    std::set<std::string> senders() const
    {
        std::lock_guard lock(m_mutex);
        return m_senders;
    }
    std::vector<std::string> found() const
    {
        std::lock_guard lock(m_mutex);
        return m_found;
    }

private:
    std::atomic<int> m_taken{0};
    std::atomic<int> m_ignored{0};
    mutable std::mutex m_mutex;
    std::set<std::string> m_senders;
    std::vector<std::string> m_found;
};

} // namespace

TEST(ReceiverFlood, StrangersLeaveNoMachineAndNoDesignNumberBehind)
{
    // Strangers are told apart from the machines by their addresses.
    if (!loopbackSendersKept())
        GTEST_SKIP() << kSendersNotKept;
    TempFolder dir;
    const ConfigFile config(dir.file("ZUZiruro.ini"));
    const MachineTable table(config);
    ASSERT_TRUE(config.writeText("Z62_Net_Count", "count", "0"));
    ASSERT_TRUE(table.append("127.0.2.61"));
    LinkSettings settings;
    settings.listenPort = 0;
    settings.configPath = config.path();
    LinkState state;
    CountingListener listener;
    ControlSession session(settings, state, listener);
    ASSERT_TRUE(session.startReceiver());
    // The sweep asked 127.0.3.0 ... 255; the flood comes from elsewhere.
    session.beginSweep("127.0.3.");

    std::vector<std::unique_ptr<FakeMachine>> strangers;
    for (int i = 0; i < 8; ++i) {
        strangers.push_back(std::make_unique<FakeMachine>("127.0.4." + std::to_string(10 + i),
                                                          session.listenPort()));
        ASSERT_TRUE(strangers.back()->bound());
    }
    std::mt19937 random(20000);
    constexpr int kDatagrams = 20000;
    for (int i = 0; i < kDatagrams; ++i) {
        std::vector<std::uint8_t> plain;
        switch (i % 5) {
        case 0: { // noise of any length, past the receive buffer too
            plain.resize(std::uniform_int_distribution<std::size_t>(0, 1500)(random));
            for (auto& b : plain)
                b = static_cast<std::uint8_t>(random());
            break;
        }
        case 1: // a search answer nobody asked this address for
            plain = plainReply(CommandCode::SearchReply, 0, kHeaderSize);
            break;
        case 2: // whole replies that would set a design number
            plain = plainReply(i % 2 ? CommandCode::DesignChunkAck : CommandCode::JogAck, 999,
                               kHeaderSize);
            break;
        case 3: // a status cut anywhere
            plain = plainReply(CommandCode::StatusReply, 999,
                               std::uniform_int_distribution<std::size_t>(1, 111)(random));
            break;
        default: // a search answer cut short
            plain = plainReply(CommandCode::SearchReply, 0,
                               std::uniform_int_distribution<std::size_t>(0, 63)(random));
            break;
        }
        strangers[std::size_t(i) % strangers.size()]->send(std::move(plain));
    }

    // The machines that were asked still get through, however full the socket was; an
    // answer lost to the full buffer is sent again, as a machine would be asked again.
    FakeMachine asked("127.0.3.7", session.listenPort());
    FakeMachine known("127.0.2.61", session.listenPort());
    ASSERT_TRUE(asked.bound());
    ASSERT_TRUE(known.bound());
    int resent = 0;
    for (; resent < 200 && (table.count() != 2 || state.currentDesignId.load() != 61); ++resent) {
        asked.send(plainReply(CommandCode::SearchReply, 0, kHeaderSize));
        known.send(plainReply(CommandCode::JogAck, 61, kHeaderSize));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(waitFor([&] { return table.count() == 2 && state.currentDesignId.load() == 61; }));
    session.stop();

    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.address(0), "127.0.2.61");
    EXPECT_EQ(table.address(1), "127.0.3.7");
    EXPECT_EQ(listener.found(), std::vector<std::string>{"127.0.3.7"});
    EXPECT_EQ(listener.senders(), (std::set<std::string>{"127.0.2.61", "127.0.3.7"}));
    EXPECT_EQ(state.currentDesignId.load(), 61);
    EXPECT_LE(listener.handled(), kDatagrams + 2 * resent);
    // The file holds two entries and nothing the flood brought.
    EXPECT_LT(std::filesystem::file_size(config.path()), 512u);
}
