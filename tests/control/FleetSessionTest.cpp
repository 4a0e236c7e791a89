#include "control/FleetSession.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "control/ControlSession.h"
#include "link/CommandPacket.h"
#include "tests/control/ControlTestSupport.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::uint8_t> statusReplyBytes(std::int32_t stitch, std::int32_t designId)
{
    std::vector<std::uint8_t> bytes(112, 0);
    CommandPacket header;
    header.code = std::int32_t(CommandCode::StatusReply);
    header.length = 112;
    header.designId = designId;
    header.encode(bytes);
    MachineStatus status;
    status.workState = 1;
    status.embroideryState = 1;
    status.currentStitch = stitch;
    status.encode(std::span(bytes).subspan(kHeaderSize));
    return bytes;
}

Reply ackFrom(const std::string& sender, std::int32_t designId)
{
    Reply reply;
    reply.kind = ReplyKind::DesignChunkAck;
    reply.sender = sender;
    reply.designId = designId;
    return reply;
}

std::optional<FleetMachine> row(const FleetMonitor& monitor, const std::string& address)
{
    for (const FleetMachine& machine : monitor.machines())
        if (machine.address == address)
            return machine;
    return std::nullopt;
}

// A machine port nobody listens on, never the machines' own.
std::uint16_t unusedMachinePort()
{
    static std::mt19937 random(std::random_device{}());
    return static_cast<std::uint16_t>(30000 + random() % 20000);
}

} // namespace

TEST(LinkState, MainViewTakesOnlyThePolledMachinesStatus)
{
    struct Case
    {
        std::optional<std::string> polled; // nullopt: never named
        std::string sender;
        bool moves;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "127.0.0.5", true}, // nothing polled: every sender counts
        {"127.0.0.5", "127.0.0.5", true},
        {"127.0.0.5", "127.0.0.6", false},    // another machine, e.g. answering the fleet
        {"127.000.0.005", "127.0.0.5", true}, // the table's spelling is not the sender's
        {"", "127.0.0.5", false},             // the poller has not read its machine yet
        {"0,0,0,0", "127.0.0.5", false},      // an entry without an address polls nobody
        {"127.0.0.5", "", false},
    };
    for (const Case& c : cases) {
        LinkState state;
        if (c.polled)
            state.setPolledAddress(*c.polled);
        state.statusChanged = false;
        Reply reply;
        reply.kind = ReplyKind::StatusReply;
        reply.sender = c.sender;
        MachineStatus status;
        status.workState = 1;
        status.currentStitch = 777;
        reply.status = status;
        state.applyReply(reply);
        const MachineStatus now = state.machineStatus.snapshot();
        EXPECT_EQ(now.currentStitch == 777, c.moves) << c.polled.value_or("-") << " " << c.sender;
        EXPECT_EQ(state.statusChanged.load(), c.moves) << c.polled.value_or("-") << " " << c.sender;
    }
}

class FleetOverLoopback : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!loopbackSendersKept())
            GTEST_SKIP() << kSendersNotKept;
        config.writeText("Z62_Net_Count", "count", "0");
        ASSERT_TRUE(table.append("127.0.0.71"));
        ASSERT_TRUE(table.append("127.0.0.72"));
        settings.listenPort = 0;
        settings.machinePort = unusedMachinePort();
        settings.configPath = config.path();
        session = std::make_unique<ControlSession>(settings, state, listener);
        ASSERT_TRUE(session->startReceiver());
        polled = std::make_unique<FakeMachine>("127.0.0.71", session->listenPort());
        other = std::make_unique<FakeMachine>("127.0.0.72", session->listenPort());
        ASSERT_TRUE(polled->bound() && other->bound());
    }

    TempFolder dir;
    ConfigFile config{dir.file("ZUZiruro.ini")};
    MachineTable table{config};
    LinkSettings settings;
    LinkState state;
    RecordingListener listener;
    std::unique_ptr<ControlSession> session;
    std::unique_ptr<FakeMachine> polled;
    std::unique_ptr<FakeMachine> other;
};

TEST_F(FleetOverLoopback, AnotherMachinesStatusMovesItsRowButNotTheMainView)
{
    state.setPolledAddress("127.0.0.71");
    FleetSession& fleet = session->startFleet();
    ASSERT_EQ(fleet.monitor().machines().size(), 2u);

    ASSERT_TRUE(other->send(statusReplyBytes(4321, 3)));
    ASSERT_TRUE(waitFor([&] {
        auto r = row(fleet.monitor(), "127.0.0.72");
        return r && r->stitch == 4321;
    }));
    EXPECT_EQ(state.machineStatus.snapshot().currentStitch, 0);
    EXPECT_FALSE(row(fleet.monitor(), "127.0.0.71")->answered);

    ASSERT_TRUE(polled->send(statusReplyBytes(120, 3)));
    ASSERT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch == 120; }));
    ASSERT_TRUE(waitFor([&] { return row(fleet.monitor(), "127.0.0.71")->stitch == 120; }));
    EXPECT_EQ(row(fleet.monitor(), "127.0.0.72")->stitch, 4321);
    // The listener still hears every reply, as before.
    EXPECT_EQ(listener.replies().size(), 2u);
}

TEST_F(FleetOverLoopback, FleetPollsEveryMachineOfTheTableOnItsPort)
{
    UdpSocket machineSide;
    ASSERT_TRUE(machineSide.bind("127.0.0.72", settings.machinePort, false));
    session->startFleet();
    std::array<std::uint8_t, 1024> buffer{};
    const auto received = machineSide.receive(buffer, 2000ms);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->length, 64u);
    session->stop();
    EXPECT_FALSE(session->fleet()->isRunning());
}

class FleetAcks : public testing::Test
{
protected:
    TempFolder dir;
    LinkSettings settings = [this] {
        LinkSettings s;
        s.configPath = dir.file("ZUZiruro.ini");
        s.machinePort = unusedMachinePort();
        return s;
    }();
    LinkState state;
    std::vector<std::pair<std::string, bool>> recorded;
};

TEST_F(FleetAcks, DesignIsRecordedOnlyOnceItsMachineAcknowledges)
{
    auto fleet =
        std::make_unique<FleetSession>(settings, state, FleetSettings{}, FleetMonitor::Listener{},
                                       [this](const std::string& address, bool stored) {
                                           recorded.emplace_back(address, stored);
                                       });
    fleet->monitor().setMachines({"127.0.0.81"});
    SentDesign design{"rose.dst", 900, 4, 0, 0};

    const FleetTime before = std::chrono::steady_clock::now();
    fleet->onReply(ackFrom("127.0.0.81", 5)); // an acknowledgement of an earlier transfer
    const FleetTime since = std::chrono::steady_clock::now() + 1ms;
    fleet->designSent("127.0.0.81", design, since);
    EXPECT_EQ(fleet->waitingDesigns(), 1u);
    EXPECT_FALSE(fleet->monitor().machines()[0].design);

    fleet->onReply(ackFrom("127.0.0.82", 8)); // a stranger's word counts for nothing
    EXPECT_EQ(fleet->waitingDesigns(), 1u);
    fleet->onReply(ackFrom("127.0.0.81", 6));
    EXPECT_EQ(fleet->waitingDesigns(), 0u);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0], std::make_pair(std::string("127.0.0.81"), true));
    const auto kept = fleet->monitor().machines()[0].design;
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->name, "rose.dst");
    EXPECT_EQ(kept->stitches, 900);
    EXPECT_EQ(kept->designId, 6);
    EXPECT_GT(kept->sentAt, 0);

    // An acknowledgement that came while the datagrams were still going out confirms at once.
    fleet->onReply(ackFrom("127.000.0.81", 7));
    fleet->designSent("127.0.0.81", SentDesign{"tulip.dst", 50, 1, 0, 0}, before);
    EXPECT_EQ(recorded.size(), 2u);
    EXPECT_EQ(fleet->monitor().machines()[0].design->designId, 7);

    // The file beside the configuration file brings it back after a restart.
    fleet.reset();
    FleetSession again(settings, state, FleetSettings{});
    again.monitor().setMachines({"127.0.0.81"});
    ASSERT_TRUE(again.monitor().machines()[0].design);
    EXPECT_EQ(again.monitor().machines()[0].design->name, "tulip.dst");
    EXPECT_TRUE(std::filesystem::exists(dir.file("hoopwatch-fleet.ini")));
}

TEST_F(FleetAcks, AFleetFileThatCannotBeWrittenIsReported)
{
    std::filesystem::create_directory(dir.file("taken"));
    FleetSettings fleetSettings;
    fleetSettings.storePath = dir.file("taken"); // a folder is not a file to replace
    FleetSession fleet(settings, state, fleetSettings, {},
                       [this](const std::string& address, bool stored) {
                           recorded.emplace_back(address, stored);
                       });
    fleet.monitor().setMachines({"127.0.0.81"});
    fleet.designSent("127.0.0.81", SentDesign{"rose.dst", 900, 4, 0, 0},
                     std::chrono::steady_clock::now());
    fleet.onReply(ackFrom("127.0.0.81", 2));
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_FALSE(recorded[0].second);
    // Shown all the same until the program ends.
    EXPECT_TRUE(fleet.monitor().machines()[0].design);
}

TEST(FleetSentDesign, StitchesAreThoseAMachineCounts)
{
    Design design;
    design.stitches.count = 40;
    design.summary.colorCount = 3;
    EXPECT_EQ(sentDesignOf("a.dst", design).stitches, 40); // no summary: the records
    design.summary.stitchCount = 35;
    const SentDesign sent = sentDesignOf("a.dst", design);
    EXPECT_EQ(sent.stitches, 35);
    EXPECT_EQ(sent.colors, 3);
    EXPECT_EQ(sent.name, "a.dst");
}
