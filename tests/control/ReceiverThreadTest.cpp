#include "control/ReceiverThread.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "control/ControlSession.h"
#include "control/MachineCommands.h"
#include "link/ByteOrder.h"
#include "link/CommandPacket.h"
#include "tests/control/ControlTestSupport.h"

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file a first start leaves behind, byte for byte.
const std::string kReceiverDefaultsText = "[Z62_Net_0]\nIp=192.168.7.100\nIsChoose=1\n"
                                          "BackUp_Name=Z62_0\n[Z62_Net_Count]\ncount=1\n";

std::vector<std::uint8_t> reply(CommandCode code, std::int32_t designId, std::size_t length)
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

std::vector<std::uint8_t> statusReply(std::uint8_t work, std::uint8_t emb, std::int32_t stitch,
                                      std::uint8_t marker, std::int32_t designId = 0)
{
    auto bytes = reply(CommandCode::StatusReply, designId, 112);
    MachineStatus status;
    status.raw[5] = 0xEE; // a byte nobody interprets still travels with the block
    status.workState = work;
    status.embroideryState = emb;
    status.currentStitch = stitch;
    status.changeMarker = marker;
    status.encode(std::span(bytes).subspan(kHeaderSize));
    return bytes;
}

class Receiver : public testing::Test
{
protected:
    void SetUp() override
    {
        // An existing file, so the receiver's first-run defaults stay out of the table.
        config.writeText("Z62_Net_Count", "count", "0");
        settings.listenPort = 0;
        settings.configPath = config.path();
        receiver = std::make_unique<ControlSession>(settings, state, listener);
        ASSERT_TRUE(receiver->startReceiver());
        // As after a sweep of 127.0.0. and a command to the machine below. Where every
        // loopback sender reads as 127.0.0.1 (Wine), the machine lives there.
        const std::string address = loopbackSendersKept() ? "127.0.0.61" : "127.0.0.1";
        receiver->beginSweep("127.0.0.");
        receiver->noteCommandTarget(address);
        machine = std::make_unique<FakeMachine>(address, receiver->listenPort());
        ASSERT_TRUE(machine->bound());
    }

    // Everything sent before has been handled once this returns true.
    bool sync()
    {
        const std::int32_t id = ++m_marker + 900000;
        machine->send(reply(CommandCode::DesignIdReport, id, 80));
        return waitFor([&] { return state.currentDesignId == id; });
    }

    TempFolder dir;
    ConfigFile config{dir.file("ZUZiruro.ini")};
    MachineTable table{config};
    LinkSettings settings;
    LinkState state;
    RecordingListener listener;
    std::unique_ptr<ControlSession> receiver;
    std::unique_ptr<FakeMachine> machine;

private:
    int m_marker = 0;
};

} // namespace

TEST_F(Receiver, AcknowledgementsSetDesignIdAndReportTheirMessage)
{
    struct Case
    {
        CommandCode code;
        TextId text;
        int repaintAfter; // -1: untouched
    };
    const std::vector<Case> cases = {
        {CommandCode::DesignChunkAck, TextId::DesignSent, -1},
        {CommandCode::ParametersAck, TextId::DesignParamSent, -1},
        {CommandCode::JogAck, TextId::JogDone, -1},
        {CommandCode::LeverAck, TextId::LeverDone, -1},
        {CommandCode::EmbReleaseAck, TextId::EmbReleaseDone, 0},
        {CommandCode::EmbConfirmAck, TextId::EmbConfirmDone, 1},
    };
    std::int32_t id = 40;
    for (const auto& c : cases) {
        ++id;
        const bool before = state.repaintRequested;
        const std::size_t seen = listener.messages().size();
        ASSERT_TRUE(machine->send(reply(c.code, id, 16)));
        ASSERT_TRUE(waitFor([&] { return listener.messages().size() == seen + 1; })) << int(c.code);
        EXPECT_EQ(listener.messages().back(), c.text);
        EXPECT_EQ(state.currentDesignId, id);
        EXPECT_EQ(state.repaintRequested, c.repaintAfter < 0 ? before : c.repaintAfter == 1);
    }
}

TEST_F(Receiver, SearchAndStatusRepliesLeaveTheDesignIdAlone)
{
    ASSERT_TRUE(sync());
    const std::int32_t id = state.currentDesignId;
    machine->send(reply(CommandCode::SearchReply, 123, 64));
    machine->send(statusReply(1, 1, 10, 0, 124));
    ASSERT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch == 10; }));
    EXPECT_EQ(state.currentDesignId, id);
    EXPECT_EQ(table.count(), 1);
}

TEST_F(Receiver, PaletteReplyReplacesThePaletteAsItStands)
{
    auto bytes = reply(CommandCode::PaletteReply, 9, 128);
    ColorPalette palette;
    palette.count = 3;
    for (std::size_t i = 0; i < palette.colors.size(); ++i)
        palette.colors[i] = std::uint32_t(0x010203 * (i + 1));
    palette.encode(std::span(bytes).subspan(kHeaderSize));
    machine->send(bytes);
    ASSERT_TRUE(waitFor([&] { return state.paletteReceived.load(); }));
    const ColorPalette got = state.colorPalette.snapshot();
    EXPECT_EQ(got.count, 3);
    EXPECT_EQ(got.colors, palette.colors);
    EXPECT_EQ(state.currentDesignId, 9);
}

TEST_F(Receiver, StatusReplyRequestsRepaintOnlyWhenWatchedBytesChange)
{
    struct Step
    {
        std::uint8_t work, emb;
        std::int32_t stitch;
        std::uint8_t marker;
        bool repaint;
    };
    // The previous status starts as zeros.
    const std::vector<Step> steps = {
        {0, 0, 0, 0, false},  {1, 0, 0, 0, true},   {1, 0, 0, 0, false},   {1, 0, 250, 0, false},
        {1, 0, 250, 7, true}, {1, 2, 250, 7, true}, {1, 2, 251, 7, false},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        state.statusChanged = false;
        state.repaintRequested = !s.repaint;
        machine->send(statusReply(s.work, s.emb, s.stitch, s.marker));
        ASSERT_TRUE(sync());
        EXPECT_EQ(state.repaintRequested, s.repaint) << "step " << i;
        EXPECT_EQ(state.statusChanged, s.repaint) << "step " << i;
        const MachineStatus got = state.machineStatus.snapshot();
        EXPECT_EQ(got.currentStitch, s.stitch);
        EXPECT_EQ(got.embroideryState, s.emb);
        EXPECT_EQ(got.raw[5], 0xEE);
    }
}

TEST_F(Receiver, RepliesTooShortForTheirFieldsAreIgnored)
{
    machine->send(statusReply(1, 1, 500, 3));
    auto palette = reply(CommandCode::PaletteReply, 5, 128);
    ColorPalette custom;
    custom.count = 15;
    custom.colors.fill(0x123456);
    custom.encode(std::span(palette).subspan(kHeaderSize));
    machine->send(palette);
    ASSERT_TRUE(sync());
    state.repaintRequested = true;
    state.paletteReceived = false;

    // The same codes again, cut short: an earlier datagram's bytes must not fill them up.
    machine->send(reply(CommandCode::StatusReply, 0, 96));
    machine->send(reply(CommandCode::PaletteReply, 6, 112));
    machine->send(reply(CommandCode::JogAck, 77, 15));
    FakeMachine other("127.0.0.62", receiver->listenPort());
    other.send(reply(CommandCode::SearchReply, 0, 8));
    ASSERT_TRUE(sync());

    const MachineStatus status = state.machineStatus.snapshot();
    EXPECT_EQ(status.currentStitch, 500);
    EXPECT_EQ(status.workState, 1);
    EXPECT_TRUE(state.repaintRequested);
    EXPECT_FALSE(state.paletteReceived);
    EXPECT_EQ(state.colorPalette.snapshot().colors[0], 0x123456u);
    EXPECT_TRUE(listener.messages().empty());
    EXPECT_EQ(table.count(), 0);
}

TEST_F(Receiver, OversizeDatagramIsDroppedAndTheNextOneHandled)
{
    machine->send(reply(CommandCode::JogAck, 77, 1040));
    ASSERT_TRUE(sync());
    EXPECT_NE(state.currentDesignId, 77);
    EXPECT_TRUE(listener.messages().empty());
    machine->send(reply(CommandCode::JogAck, 78, 1024));
    EXPECT_TRUE(waitFor([&] { return state.currentDesignId == 78; }));
}

TEST_F(Receiver, OwnProbeAndUnknownCodesChangeNothing)
{
    ASSERT_TRUE(sync());
    const std::int32_t id = state.currentDesignId;
    for (auto code : {CommandCode::Search, CommandCode::Jog, CommandCode(13), CommandCode(99)})
        machine->send(reply(code, 55, 64));
    const auto probe = buildPlainCommand(CommandCode::Search, 0);
    machine->send({probe.begin(), probe.end()});
    // The marker below must be the first thing that changes the id.
    machine->send(reply(CommandCode::DesignIdReport, id + 1, 80));
    ASSERT_TRUE(waitFor([&] { return state.currentDesignId != id; }));
    EXPECT_EQ(state.currentDesignId, id + 1);
    EXPECT_EQ(table.count(), 0);
    EXPECT_TRUE(listener.messages().empty());
}

TEST_F(Receiver, SearchRepliesAppendEachNewAddressOnceInOrder)
{
    if (!loopbackSendersKept())
        GTEST_SKIP() << kSendersNotKept;
    FakeMachine second("127.0.0.62", receiver->listenPort());
    machine->send(reply(CommandCode::SearchReply, 0, 64));
    ASSERT_TRUE(sync());
    // Content beyond the code does not matter, not even the magic.
    auto odd = reply(CommandCode::SearchReply, 0, 16);
    odd[0] = 0;
    second.send(odd);
    machine->send(reply(CommandCode::SearchReply, 0, 64));
    ASSERT_TRUE(sync());

    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.address(0), "127.0.0.61");
    EXPECT_EQ(table.address(1), "127.0.0.62");
    EXPECT_EQ(table.isChoose(0), 1);
    EXPECT_EQ(table.isChoose(1), 1);
    EXPECT_EQ(listener.found(), (std::vector<std::string>{"127.0.0.61", "127.0.0.62"}));
}

TEST(ControlSession, WritesTheReceiverDefaultsWhenTheFileIsMissingAndStopsPromptly)
{
    TempFolder dir;
    LinkSettings settings;
    settings.listenPort = 0;
    settings.configPath = dir.file("ZUZiruro.ini");
    LinkState state;
    RecordingListener listener;
    ControlSession session(settings, state, listener);
    ASSERT_TRUE(session.startReceiver());
    EXPECT_EQ(readAll(settings.configPath), kReceiverDefaultsText);

    const auto before = std::chrono::steady_clock::now();
    session.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

TEST(ControlSession, LeavesAnExistingFileAsItIs)
{
    TempFolder dir;
    LinkSettings settings;
    settings.listenPort = 0;
    settings.configPath = dir.file("ZUZiruro.ini");
    ConfigFile(settings.configPath).writeText("Z62Language", "Language", "2");
    const std::string before = readAll(settings.configPath);
    LinkState state;
    RecordingListener listener;
    ControlSession session(settings, state, listener);
    ASSERT_TRUE(session.startReceiver());
    EXPECT_EQ(readAll(settings.configPath), before);
}

TEST(ReceiverThread, ReportsRepliesWithTheirSenderAndTouchesNoFile)
{
    TempFolder dir;
    LinkSettings settings;
    settings.listenPort = 0;
    settings.configPath = dir.file("ZUZiruro.ini");
    LinkState state;
    RecordingListener listener;
    ReceiverThread receiver(settings, state, listener);
    ASSERT_TRUE(receiver.start());
    if (!loopbackSendersKept())
        GTEST_SKIP() << kSendersNotKept;
    FakeMachine machine("127.0.0.63", receiver.port());
    ASSERT_TRUE(machine.bound());
    machine.send(reply(CommandCode::SearchReply, 0, 64));
    machine.send(reply(CommandCode::Search, 0, 64));
    machine.send(reply(CommandCode::DesignChunkAck, 17, 32));
    ASSERT_TRUE(waitFor([&] { return state.currentDesignId == 17; }));
    receiver.stop();

    const auto replies = listener.replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].kind, ReplyKind::SearchReply);
    EXPECT_EQ(replies[1].kind, ReplyKind::DesignChunkAck);
    EXPECT_EQ(replies[1].designId, 17);
    EXPECT_EQ(replies[1].length, 32u);
    for (const Reply& r : replies)
        EXPECT_EQ(r.sender, "127.0.0.63");
    ASSERT_EQ(listener.ignored().size(), 1u);
    EXPECT_EQ(listener.ignored()[0].ignored, IgnoreReason::RequestCode);
    // The loop itself keeps no machine table: search answers are recorded by the session.
    EXPECT_TRUE(listener.found().empty());
    EXPECT_FALSE(std::filesystem::exists(settings.configPath));
}

TEST(ReceiverThread, TakenPortReportsSocketFailure)
{
    TempFolder dir;
    LinkSettings settings;
    settings.listenPort = 0;
    settings.configPath = dir.file("ZUZiruro.ini");
    LinkState state;
    RecordingListener first;
    ReceiverThread a(settings, state, first);
    ASSERT_TRUE(a.start());
    settings.listenPort = a.port();
    RecordingListener second;
    ControlSession b(settings, state, second);
    EXPECT_FALSE(b.startReceiver());
    EXPECT_EQ(second.messages(), std::vector<TextId>{TextId::ReceiverSocketFailed});
    // Nothing is written while the port cannot be held.
    EXPECT_FALSE(std::filesystem::exists(settings.configPath));
}

class Strangers : public testing::Test
{
protected:
    void SetUp() override
    {
        config.writeText("Z62_Net_Count", "count", "0");
        settings.listenPort = 0;
        settings.configPath = config.path();
        if (!loopbackSendersKept())
            GTEST_SKIP() << kSendersNotKept;
        session = std::make_unique<ControlSession>(settings, state, listener);
        ASSERT_TRUE(session->startReceiver());
    }

    // Sends from `address` and waits until the receiver has handled it.
    void sendFrom(const std::string& address, std::vector<std::uint8_t> plain)
    {
        const std::size_t before = listener.replies().size() + listener.ignored().size();
        FakeMachine from(address, session->listenPort());
        ASSERT_TRUE(from.send(std::move(plain)));
        ASSERT_TRUE(waitFor(
            [&] { return listener.replies().size() + listener.ignored().size() > before; }));
    }

    TempFolder dir;
    ConfigFile config{dir.file("ZUZiruro.ini")};
    MachineTable table{config};
    LinkSettings settings;
    LinkState state;
    RecordingListener listener;
    std::unique_ptr<ControlSession> session;
};

TEST_F(Strangers, SearchAnswersCountOnlyFromTheSweptAddressesOnceEach)
{
    // No sweep yet: nobody was asked.
    sendFrom("127.0.0.71", reply(CommandCode::SearchReply, 0, 64));
    session->beginSweep("127.0.0.");
    sendFrom("127.0.1.71", reply(CommandCode::SearchReply, 0, 64)); // outside the prefix
    sendFrom("127.0.0.72", reply(CommandCode::SearchReply, 0, 64));
    sendFrom("127.0.0.72", reply(CommandCode::SearchReply, 0, 64)); // again in the same sweep
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(table.address(0), "127.0.0.72");
    EXPECT_EQ(listener.found(), std::vector<std::string>{"127.0.0.72"});
    ASSERT_EQ(listener.replies().size(), 1u);
    const auto ignored = listener.ignored();
    ASSERT_EQ(ignored.size(), 3u);
    for (const Reply& r : ignored)
        EXPECT_EQ(r.ignored, IgnoreReason::NotAsked);

    // A new sweep takes the same machine again, into the emptied table.
    table.reset();
    session->beginSweep("127.0.0.");
    sendFrom("127.0.0.72", reply(CommandCode::SearchReply, 0, 64));
    EXPECT_EQ(table.count(), 1);
}

TEST_F(Strangers, RepliesCountOnlyFromTableMachinesOrTheLastCommandTarget)
{
    struct Step
    {
        const char* what;
        std::function<void()> before;
        bool taken;
    };
    const std::vector<Step> steps = {
        {"a stranger", [] {}, false},
        {"the last command's target", [&] { session->noteCommandTarget("127.0.0.81"); }, true},
        {"a machine no longer targeted", [&] { session->noteCommandTarget("127.0.0.82"); }, false},
        {"a machine of the table", [&] { table.append("127.0.0.81"); }, true},
    };
    std::int32_t id = 500;
    for (const Step& step : steps) {
        step.before();
        state.currentDesignId = 0;
        state.repaintRequested = false;
        sendFrom("127.0.0.81", reply(CommandCode::EmbConfirmAck, ++id, 64));
        EXPECT_EQ(state.currentDesignId, step.taken ? id : 0) << step.what;
        EXPECT_EQ(state.repaintRequested.load(), step.taken) << step.what;
    }
    EXPECT_EQ(listener.messages().size(), 2u);
}

TEST(AwaitReply, TakesOnlyTheWholeAnswerOfTheMachineAsked)
{
    if (!loopbackSendersKept())
        GTEST_SKIP() << kSendersNotKept;
    UdpSocket answers;
    ASSERT_TRUE(answers.bind("0.0.0.0", 0, false));
    FakeMachine asked("127.0.0.91", answers.localPort());
    FakeMachine other("127.0.0.92", answers.localPort());
    other.send(statusReply(1, 1, 70, 0));               // not the machine asked
    asked.send(reply(CommandCode::StatusReply, 0, 96)); // cut short
    asked.send(reply(CommandCode::JogAck, 3, 64));      // another answer
    asked.send(statusReply(1, 0, 250, 0));
    const PacketCipher cipher(defaultCipherKey());
    const AwaitedReply got =
        awaitReply(answers, cipher, ReplyKind::StatusReply, "127.0.0.91", std::chrono::seconds(2));
    ASSERT_TRUE(got.reply);
    EXPECT_EQ(got.reply->status->currentStitch, 250);
    EXPECT_EQ(got.skipped, 3);

    // Nothing from the machine asked: no answer once the time is up.
    other.send(statusReply(1, 1, 70, 0));
    const AwaitedReply none = awaitReply(answers, cipher, ReplyKind::StatusReply, "127.0.0.91",
                                         std::chrono::milliseconds(200));
    EXPECT_FALSE(none.reply);
    EXPECT_EQ(none.skipped, 1);
}
