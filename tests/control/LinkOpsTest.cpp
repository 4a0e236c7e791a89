#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigFile.h"
#include "link/ByteOrder.h"
#include "link/CommandPacket.h"
#include "control/DesignTransfer.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "link/PacketCipher.h"
#include "control/PollThread.h"
#include "control/StatusDisplay.h"
#include "link/UdpSocket.h"
#include "tests/support/MachineTableText.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::FakeMachine;

namespace {

LinkSettings settingsFor(const FakeMachine& machine, const std::string& config = {})
{
    LinkSettings s;
    EXPECT_TRUE(machine.bound());
    s.machinePort = machine.port();
    s.configPath = config;
    return s;
}

// Rewrites the file under the settings lock, as the program's own writers do: a poll thread
// reading it while it was rewritten could find it empty (and end) on a loaded machine, and on
// Windows a file open for reading cannot be replaced.
void writeTable(const std::string& path, const std::vector<std::pair<std::string, int>>& machines)
{
    const auto guard = ConfigFile::lock();
    writeBytes(path, machineTableText(machines));
}

std::vector<std::uint8_t> pattern(std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = std::uint8_t(i * 7 + 3);
    return v;
}

TEST(DesignTransfer, UnusableFilesAreRefusedWithTheirText)
{
    TempFolder dir;
    const std::string exact = dir.file("exact.dst");
    const std::string over = dir.file("over.dst");
    // Sparse files: the sizes cost no disk space.
    std::ofstream(exact).close();
    fs::resize_file(exact, kMaxDesignFileSize);
    std::ofstream(over).close();
    fs::resize_file(over, kMaxDesignFileSize + 1);
    fs::create_directories(dir.file("folder.dst"));

    const std::vector<std::pair<std::string, std::optional<TextId>>> cases = {
        {"", TextId::DesignPathEmpty},
        {dir.file("missing.dst"), TextId::DesignFileUnreadable},
        {dir.file("folder.dst"), TextId::DesignFileUnreadable},
        {over, TextId::DesignFileTooLarge},
        {exact, std::nullopt},
    };
    for (const auto& [path, error] : cases) {
        const DesignFileBytes file = readDesignFile(path);
        EXPECT_EQ(file.error, error) << path;
        EXPECT_EQ(file.bytes.size(), error ? 0u : kMaxDesignFileSize) << path;
    }
}

TEST(DesignTransfer, FileRewrittenWhileReadIsOneVersionOrRefused)
{
    // Another program rewrites the file in place, alternating a long and a short version, while
    // it is read again and again: every copy is one whole version or refused, never a mix.
    TempFolder dir;
    const std::string path = dir.file("moving.dst");
    const std::vector<char> longer(3'000'000, 'L');
    const std::vector<char> shorter(2'000'000, 'S');
    writeBytes(path, std::string(longer.begin(), longer.end()));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 100000 && !done; ++round) {
            const std::vector<char>& version = round % 2 ? shorter : longer;
            // Emptied first, then filled: the shorter version grows into the longer one's size
            // while a reader may be half way through.
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(version.data(), std::streamsize(version.size()));
        }
    });
    int refused = 0;
    // 80 reads, or as many as 4 seconds allow: on a loaded machine (under Wine every file call
    // of both threads queues at one server) the writer can starve the reader for minutes.
    const auto until = std::chrono::steady_clock::now() + 4s;
    for (int i = 0; i < 80 && (i < 3 || std::chrono::steady_clock::now() < until); ++i) {
        const DesignFileBytes file = readDesignFile(path);
        if (file.error) {
            EXPECT_EQ(file.error, TextId::DesignFileChanged);
            EXPECT_TRUE(file.bytes.empty());
            ++refused;
            continue;
        }
        if (file.bytes.empty())
            continue;
        // A copy may be a version the writer is still filling (its size and time unchanged
        // while it was read: no reader can tell that apart), but never bytes of two versions.
        const auto first = file.bytes.front();
        const bool oneVersion =
            (first == 'L' || first == 'S') &&
            std::all_of(file.bytes.begin(), file.bytes.end(), [&](auto c) { return c == first; }) &&
            file.bytes.size() <= (first == 'L' ? longer.size() : shorter.size());
        EXPECT_TRUE(oneVersion) << "try " << i << ": " << file.bytes.size() << " bytes";
    }
    done = true;
    writer.join();
    RecordProperty("refused", refused);
}

TEST(DesignTransfer, ThreeChunksCarryTheFileBlockAndThePacing)
{
    FakeMachine machine;
    const auto bytes = pattern(20481);
    std::vector<std::pair<int, int>> steps;
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = sendDesignBytes(
        bytes, "longdesignname.dsb", "127.0.0.1", settingsFor(machine),
        [&](const TransferProgress& p) { steps.emplace_back(p.chunksSent, p.chunkCount); });
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.chunksSent, 3);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    // The pause follows the last datagram too.
    EXPECT_GE(took, 1500ms);

    const std::size_t lengths[] = {10240, 10240, 1};
    for (int k = 0; k < 3; ++k) {
        auto d = machine.next(1500ms);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->bytes.size(), kDesignChunkSize);
        const std::span<const std::uint8_t> plain(d->bytes);
        EXPECT_EQ(getU32le(plain, 0), kPacketMagic);
        EXPECT_EQ(getI32le(plain, 4), 1);
        EXPECT_EQ(getI32le(plain, 8), 10576);
        EXPECT_EQ(getI32le(plain, 12), 0);
        const auto block = plain.subspan(64, 272);
        EXPECT_EQ(getU32le(block, 0), kFileBlockMagic);
        EXPECT_EQ(getI32le(block, 4), 1);
        EXPECT_EQ(std::string(block.begin() + 8, block.begin() + 21), "longdesignnam");
        EXPECT_EQ(block[21], 0);
        EXPECT_EQ(getI32le(block, 136), std::int32_t(lengths[k]));
        EXPECT_EQ(getI32le(block, 140), k + 1);
        EXPECT_EQ(getI32le(block, 144), 3);
        const auto data = plain.subspan(336);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + std::ptrdiff_t(lengths[k]),
                               bytes.begin() + std::ptrdiff_t(k * 10240)));
        EXPECT_TRUE(std::all_of(data.begin() + std::ptrdiff_t(lengths[k]), data.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(DesignTransfer, StopEndsTheTransferBetweenDatagrams)
{
    FakeMachine machine;
    std::stop_source stop;
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = sendDesignBytes(
        pattern(40000), "a.dst", "127.0.0.1", settingsFor(machine),
        [&](const TransferProgress&) { stop.request_stop(); }, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.chunksSent, 1);
    EXPECT_TRUE(machine.next(200ms));
    EXPECT_FALSE(machine.next(100ms));
}

TEST(DesignTransfer, BatchGoesOnAfterAFailedFile)
{
    TempFolder dir;
    FakeMachine machine;
    const std::vector<std::string> paths = {dir.write("one.dst", pattern(5)), dir.file("gone.dst"),
                                            dir.write("two.dst", pattern(6))};
    const auto outcomes =
        sendDesignBatch(paths, settingsFor(machine), {}, {}, std::string("127.0.0.1"));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].sent);
    EXPECT_EQ(outcomes[1].error, TextId::DesignFileUnreadable);
    EXPECT_TRUE(outcomes[2].sent);
    for (const char* name : {"one.dst", "two.dst"}) {
        auto d = machine.next();
        ASSERT_TRUE(d);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d->bytes.data() + 72)), name);
    }
}

TEST(DesignTransfer, FileNameIsTheTextAfterTheLastSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\designs\\rose.dst", "rose.dst"},
        {"/home/op/a.b.dst", "a.b.dst"},
        {"plain", "plain"},
        {"dir\\sub/x.dst", "sub/x.dst"},
        {"/trailing/", ""},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(designFileName(path), name) << path;
}

TEST(MachineCommands, FailuresSendNothingAndNameTheirMessage)
{
    FakeMachine machine;
    const auto settings = settingsFor(machine);
    struct Case
    {
        CommandTarget target;
        std::optional<TextId> message;
    };
    const Case cases[] = {
        {{0, "127.0.0.1"}, TextId::MachineNotOnline},
        {{3, std::nullopt}, TextId::UnselectedMachine},
        {{0, std::nullopt}, TextId::MachineNotOnline},
    };
    for (const auto& c : cases) {
        const auto outcome = sendJog(c.target, 7, settings);
        EXPECT_FALSE(outcome.sent);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_FALSE(sendPaletteQuery(c.target, 7, settings));
    }
    EXPECT_FALSE(machine.next(100ms));
}

TEST(MachineCommands, CommandCarriesItsCodeAndDesignId)
{
    FakeMachine machine;
    const CommandTarget target{2, "127.0.0.1"};
    const auto settings = settingsFor(machine);
    EXPECT_TRUE(sendLever(target, 7, settings).sent);
    EXPECT_TRUE(sendEmbroideryToggle(target, 0, 7, settings).sent);
    EXPECT_TRUE(sendEmbroideryToggle(target, 2, 7, settings).sent);
    EXPECT_TRUE(sendPaletteQuery(target, 0, settings));
    for (auto [code, id] : {std::pair{7, 7}, {15, 7}, {17, 7}, {11, 0}}) {
        auto d = machine.next(1500ms);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->bytes.size(), 64u);
        const auto expected = buildPlainCommand(CommandCode(code), id);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d->bytes.begin())) << code;
    }
}

TEST(MachineCommands, ParametersNeedADesignAndAMachine)
{
    FakeMachine machine;
    const auto settings = settingsFor(machine);
    ParameterBlock block;
    block.angle = 45;
    const std::int32_t colors[] = {3, 1, 300, 9, 9};
    setColorSequence(&block, colors, 3);

    auto refused = sendParameters("127.0.0.1", 2, 0, block, settings);
    EXPECT_EQ(refused.message, TextId::NoMatchingDesign);
    auto offline = sendParameters("127.0.0.1", 0, 5, block, settings);
    EXPECT_EQ(offline.message, TextId::MachineNotOnline);
    EXPECT_FALSE(machine.next(100ms));

    EXPECT_TRUE(sendParameters("127.0.0.1", 1, 5, block, settings).sent);
    auto d = machine.next(1500ms);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bytes.size(), kParametersSize);
    const std::span<const std::uint8_t> plain(d->bytes);
    EXPECT_EQ(getI32le(plain, 4), 9);
    EXPECT_EQ(getI32le(plain, 8), 1114);
    EXPECT_EQ(getI32le(plain, 12), 5);
    const auto p = plain.subspan(64);
    EXPECT_EQ(p[3], 45);
    // Three colours given to the block: the rest of the sequence stays 0; 300 is cut to 44.
    EXPECT_EQ(p[18], 3);
    EXPECT_EQ(p[19], 1);
    EXPECT_EQ(p[20], 44);
    EXPECT_EQ(p[21], 0);
    EXPECT_EQ(getU16le(p, 998), 3);
}

TEST(StatusDisplay, DesignLineFollowsTheTemplate)
{
    DesignSummary s;
    s.stitchCount = 1234;
    s.colorCount = 5;
    s.minX = -100;
    s.maxX = 12245; // 12,345 wide: 123 mm
    s.minY = 0;
    s.maxY = 5099; // 50 mm, truncated
    EXPECT_EQ(designInfoText(s, 2),
              "Design Information：  Needle Count:1234               Color Count  :5"
              "                           Hight:50 mm            Width:123 mm       \r\n"
              "Machine State：      ");
    EXPECT_NE(designInfoText(s, 1).find("高度:50 mm            宽度:123 mm"), std::string::npos);
    s.minX = -2000000000;
    s.maxX = 2000000000;
    EXPECT_NE(designInfoText(s, 2).find("Width:40000000 mm"), std::string::npos);
}

TEST(StatusDisplay, StateTextsAndLabelsFollowTheStatusBytes)
{
    struct Case
    {
        std::uint8_t work, emb;
        const char* strip;
        const char* embButton;
        const char* leverButton;
    };
    const Case cases[] = {
        {0, 0, "Emb State:Emb Release", "Emb Release", "Start Work"},
        {1, 1, "Emb State:Emb Confirm", "Emb Confirm", "Stop Work"},
        {7, 2, "Emb State:Emb Release", "Emb Confirm", "Stop Work"},
    };
    for (const auto& c : cases) {
        MachineStatus status;
        status.workState = c.work;
        status.embroideryState = c.emb;
        status.currentStitch = 250;
        EXPECT_EQ(embroideryStateText(status, 2), c.strip);
        EXPECT_EQ(embroideryButtonLabel(status, 0), c.embButton);
        EXPECT_EQ(leverButtonLabel(status, 2), c.leverButton);
        EXPECT_EQ(currentStitchText(status, 2), "Current number of needle:250");
    }
    MachineStatus confirmed;
    confirmed.embroideryState = 1;
    EXPECT_EQ(embroideryStateText(confirmed, 1), "刺绣状态:刺绣确认");
}

TEST(PollThread, EndsAtOnceWithAnEmptyTableOrNoChosenMachine)
{
    TempFolder dir;
    FakeMachine machine;
    LinkState state;
    for (const auto& table : {std::vector<std::pair<std::string, int>>{},
                              std::vector<std::pair<std::string, int>>{{"127.0.0.1", 0}}}) {
        writeTable(dir.file("t.ini"), table);
        PollThread poll(settingsFor(machine, dir.file("t.ini")), state, 20ms);
        poll.start();
        for (int i = 0; i < 100 && poll.isRunning(); ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_FALSE(poll.isRunning());
        EXPECT_EQ(poll.queriesSent(), 0);
    }
    EXPECT_FALSE(machine.next(100ms));
}

TEST(PollThread, KeepsPollingTheLastChosenMachineUntilTheTableEmpties)
{
    TempFolder dir;
    FakeMachine machine;
    LinkState state;
    state.currentDesignId = 42;
    writeTable(dir.file("t.ini"), {{"127.0.0.9", 0}, {"127.0.0.1", 1}});
    PollThread poll(settingsFor(machine, dir.file("t.ini")), state, 30ms);
    poll.start();
    auto d = machine.next();
    ASSERT_TRUE(d);
    const auto expected = buildPlainCommand(CommandCode::StatusQuery, 42);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), d->bytes.begin()));

    writeTable(dir.file("t.ini"), {{"127.0.0.9", 0}, {"127.0.0.1", 0}});
    std::this_thread::sleep_for(60ms);
    EXPECT_TRUE(poll.isRunning());
    EXPECT_TRUE(machine.next());

    writeTable(dir.file("t.ini"), {});
    for (int i = 0; i < 100 && poll.isRunning(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(poll.isRunning());
}

TEST(PollThread, StopsPromptlyDuringItsPause)
{
    TempFolder dir;
    FakeMachine machine;
    LinkState state;
    writeTable(dir.file("t.ini"), {{"127.0.0.1", 1}});
    // A pause far longer than any scheduling delay: a stop that waited for its end would take
    // 20 s, a prompt one takes milliseconds (a loaded machine may make them hundreds).
    PollThread poll(settingsFor(machine, dir.file("t.ini")), state, 20s);
    poll.start();
    ASSERT_TRUE(machine.next());
    const auto start = std::chrono::steady_clock::now();
    poll.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_FALSE(poll.isRunning());
}

} // namespace
