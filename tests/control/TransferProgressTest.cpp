#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/DesignDelivery.h"
#include "control/StatusDisplay.h"
#include "control/StitchRate.h"
#include "control/TransferAcks.h"
#include "control/ViewProgress.h"
#include "link/UdpSocket.h"
#include "tests/support/TempFolder.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kTarget = "127.0.0.21";

Reply chunkAck(const std::string& sender = kTarget, std::int32_t designId = 4,
               std::size_t length = 64)
{
    Reply reply;
    reply.kind = ReplyKind::DesignChunkAck;
    reply.code = 2;
    reply.sender = sender;
    reply.designId = designId;
    reply.length = length;
    return reply;
}

using Verdict = TransferAcks::Verdict;

// One step of a transfer as the window and the receiver drive it.
struct Step
{
    enum Kind { Sent, Ack, AckFrom, CutAck, OtherReply, EndWhole, EndStopped } kind;
    Verdict expected = Verdict::NotOurs;
};

} // namespace

TEST(TransferAcks, CountsOnlyTheTargetsWholeAcknowledgementsAndTellsCompletionOnce)
{
    using S = Step;
    struct Case
    {
        const char* name;
        std::vector<Step> steps;
        std::optional<AckCount> expired; // what the grace time's end reports
    };
    const Case cases[] = {
        {"acknowledged while sending, complete when sending ends",
         {{S::Sent},
          {S::Ack, Verdict::Counted},
          {S::Sent},
          {S::Ack, Verdict::Counted},
          {S::EndWhole, Verdict::Complete}},
         std::nullopt},
        {"the last acknowledgement after the end completes it; a further one is not ours",
         {{S::Sent},
          {S::Sent},
          {S::Ack, Verdict::Counted},
          {S::EndWhole, Verdict::Counted},
          {S::Ack, Verdict::Complete},
          {S::Ack, Verdict::NotOurs}},
         std::nullopt},
        {"an acknowledgement may overtake the count of its datagram",
         {{S::Ack, Verdict::Counted}, {S::Sent}, {S::EndWhole, Verdict::Complete}},
         std::nullopt},
        {"another machine, a cut reply and other kinds do not count",
         {{S::Sent},
          {S::AckFrom, Verdict::NotOurs},
          {S::CutAck, Verdict::NotOurs},
          {S::OtherReply, Verdict::NotOurs},
          {S::EndWhole, Verdict::Counted}},
         AckCount{0, 1}},
        {"one of three missing is reported at the end of the grace time",
         {{S::Sent},
          {S::Sent},
          {S::Sent},
          {S::Ack, Verdict::Counted},
          {S::Ack, Verdict::Counted},
          {S::EndWhole, Verdict::Counted}},
         AckCount{2, 3}},
        {"a stopped transfer takes its acknowledgements silently and reports nothing",
         {{S::Sent},
          {S::Sent},
          {S::EndStopped, Verdict::Counted},
          {S::Ack, Verdict::Counted},
          {S::Ack, Verdict::Counted},
          {S::Ack, Verdict::NotOurs}},
         std::nullopt},
        {"nothing sent, nothing to report",
         {{S::EndWhole, Verdict::Counted}, {S::Ack, Verdict::NotOurs}},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TransferAcks acks;
        EXPECT_EQ(acks.take(chunkAck()), Verdict::NotOurs) << "no transfer yet";
        const std::uint64_t id = acks.begin(kTarget);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            std::optional<Verdict> got;
            switch (step.kind) {
            case S::Sent:
                acks.chunkSent(id);
                break;
            case S::Ack:
                got = acks.take(chunkAck());
                break;
            case S::AckFrom:
                got = acks.take(chunkAck("127.0.0.22"));
                break;
            case S::CutAck:
                got = acks.take(chunkAck(kTarget, 4, 32));
                break;
            case S::OtherReply: {
                Reply jog = chunkAck();
                jog.kind = ReplyKind::JogAck;
                got = acks.take(jog);
                break;
            }
            case S::EndWhole:
                got = acks.endSending(id, true);
                break;
            case S::EndStopped:
                got = acks.endSending(id, false);
                break;
            }
            if (got) {
                EXPECT_EQ(*got, step.expected) << "step " << i;
            }
        }
        EXPECT_EQ(acks.expire(id), c.expired);
        EXPECT_EQ(acks.expire(id), std::nullopt) << "told once";
        EXPECT_FALSE(acks.active());
        EXPECT_EQ(acks.take(chunkAck()), Verdict::NotOurs) << "the transfer is over";
    }
}

TEST(TransferAcks, ANewTransferForgetsTheLastOne)
{
    TransferAcks acks;
    const std::uint64_t first = acks.begin(kTarget);
    acks.chunkSent(first);
    const std::uint64_t second = acks.begin("127.0.0.22");
    EXPECT_EQ(acks.endSending(first, true), Verdict::NotOurs);
    EXPECT_EQ(acks.expire(first), std::nullopt) << "the first transfer's timer judges nothing";
    EXPECT_EQ(acks.take(chunkAck()), Verdict::NotOurs) << "the old target no longer counts";
    acks.chunkSent(second);
    EXPECT_EQ(acks.take(chunkAck("127.0.0.22", 9)), Verdict::Counted);
    EXPECT_EQ(acks.endSending(second, true), Verdict::Complete);
    EXPECT_EQ(acks.designId(), 9);
    EXPECT_EQ(acks.target(), "127.0.0.22");
}

TEST(StitchRate, SharesAndTimeLeft)
{
    struct Case
    {
        std::int32_t stitch, total;
        std::optional<double> perMinute;
        std::optional<double> percent;
        std::optional<std::int64_t> left;
    };
    const Case cases[] = {
        {0, 1000, 600.0, 0.0, 100},
        {250, 1000, 600.0, 25.0, 75},
        {999, 1000, 7.0, 99.9, 9}, // 8.57 s rounds up
        {1000, 1000, std::nullopt, 100.0, 0},
        {1200, 1000, 600.0, 100.0, 0}, // past the end stays at 100 %
        {10, 1000, std::nullopt, 1.0, std::nullopt},
        {10, 1000, 0.0, 1.0, std::nullopt}, // a machine that does not advance
        {-1, 1000, 600.0, std::nullopt, 101},
        {5, 0, 600.0, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.stitch << " of " << c.total);
        const auto percent = sewnPercent(c.stitch, c.total);
        ASSERT_EQ(percent.has_value(), c.percent.has_value());
        if (percent) {
            EXPECT_NEAR(*percent, *c.percent, 1e-9);
        }
        EXPECT_EQ(secondsLeft(c.stitch, c.total, c.perMinute), c.left);
    }
}

TEST(StitchRate, ANewDesignStartsANewEstimateAnEqualStitchDoesNot)
{
    const FleetTime t0{};
    StitchRate rate;
    rate.add(t0, true, 100, false);
    rate.add(t0 + 3s, true, 130, false);
    ASSERT_TRUE(rate.perMinute());
    EXPECT_NEAR(*rate.perMinute(), 600.0, 1e-9);
    // A second poller, or a short pause, repeats the stitch number: the speed stays known.
    rate.add(t0 + 3200ms, true, 130, false);
    EXPECT_NEAR(rate.perMinute().value_or(0), 600.0, 40.0);
    // The next design starts at a higher number than the last one ended at: still a new run.
    rate.add(t0 + 6s, true, 500, true);
    EXPECT_FALSE(rate.perMinute());
    rate.add(t0 + 9s, true, 560, false);
    EXPECT_NEAR(rate.perMinute().value_or(0), 1200.0, 1e-9);
}

namespace {

MachineStatus sewing(std::int32_t stitch, std::uint8_t work = 1)
{
    MachineStatus status;
    status.workState = work;
    status.embroideryState = 1;
    status.currentStitch = stitch;
    return status;
}

} // namespace

TEST(ViewProgress, ShowsProgressOnlyOnTheDesignLastSentToThePolledMachine)
{
    TempFolder folder;
    const std::string sentPath = folder.write("sent.dst", std::vector<std::uint8_t>(700, 1));
    const std::string otherPath = folder.write("other.dst", std::vector<std::uint8_t>(900, 2));
    const auto sent = designFileStamp(sentPath);
    const auto other = designFileStamp(otherPath);
    ASSERT_TRUE(sent && other);
    const FleetTime t0{};

    struct Case
    {
        const char* name;
        std::optional<DesignFileStamp> recorded; // what the transfer to kTarget left
        std::int32_t ackedId;                    // design number of its acknowledgements
        std::optional<DesignFileStamp> shown;
        const char* statusFrom;
        std::int32_t statusId;
        bool draws;
    };
    const Case cases[] = {
        {"the design sent", sent, 4, sent, kTarget, 4, true},
        {"acknowledgement design number unknown", sent, 0, sent, kTarget, 4, true},
        {"another design imported after it", sent, 4, other, kTarget, 4, false},
        {"nothing sent from here", std::nullopt, 0, sent, kTarget, 4, false},
        {"status of another machine", sent, 4, sent, "127.0.0.22", 4, false},
        {"the machine sews another design number", sent, 4, sent, kTarget, 5, false},
        {"the machine has not reported a number yet", sent, 4, sent, kTarget, 0, true},
        {"no design shown", sent, 4, std::nullopt, kTarget, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewProgress view;
        view.recordSent(kTarget, c.recorded);
        view.recordDesignId(kTarget, c.ackedId);
        view.onStatus(c.statusFrom, sewing(100), c.statusId, t0);
        EXPECT_EQ(view.shown(c.shown, 1000, sewing(100)).drawProgress, c.draws);
    }

    // A stopped transfer leaves the machine holding something unknown.
    ViewProgress view;
    view.recordSent(kTarget, sent);
    view.recordSent(kTarget, std::nullopt);
    view.onStatus(kTarget, sewing(100), 4, t0);
    EXPECT_FALSE(view.shown(sent, 1000, sewing(100)).drawProgress);
}

TEST(ViewProgress, ShareAndTimeLeftOnceTheSpeedIsKnownAndNothingWhileStanding)
{
    TempFolder folder;
    const auto file = designFileStamp(folder.write("a.dst", std::vector<std::uint8_t>(600, 1)));
    ViewProgress view;
    view.recordSent(kTarget, file);
    const FleetTime t0{};

    view.onStatus(kTarget, sewing(100), 4, t0);
    ProgressShown shown = view.shown(file, 1000, sewing(100));
    EXPECT_TRUE(shown.drawProgress);
    EXPECT_FALSE(shown.percent) << "one answer tells no speed";

    view.onStatus(kTarget, sewing(130), 4, t0 + 3s); // 600 a minute
    shown = view.shown(file, 1000, sewing(130));
    EXPECT_EQ(shown.percent, 13);
    EXPECT_EQ(shown.secondsLeft, 87);

    view.onStatus(kTarget, sewing(996, 1), 4, t0 + 6s);
    EXPECT_EQ(view.shown(file, 1000, sewing(996)).percent, 99) << "rounded down, not yet 100";

    view.onStatus(kTarget, sewing(996, 0), 4, t0 + 9s);
    shown = view.shown(file, 1000, sewing(996, 0));
    EXPECT_TRUE(shown.drawProgress);
    EXPECT_FALSE(shown.percent) << "nothing while the machine stands";
    EXPECT_FALSE(shown.secondsLeft);
}

TEST(ViewProgress, AFileRewrittenInPlaceIsAnotherDesign)
{
    TempFolder folder;
    const std::string path = folder.write("a.dst", std::vector<std::uint8_t>(600, 1));
    const auto before = designFileStamp(path);
    folder.write("a.dst", std::vector<std::uint8_t>(601, 1));
    const auto after = designFileStamp(path);
    ASSERT_TRUE(before && after);
    EXPECT_NE(*before, *after);
    EXPECT_FALSE(designFileStamp(folder.file("missing.dst")));
    EXPECT_FALSE(designFileStamp(folder.path().string())) << "a folder is no design file";
}

TEST(StatusDisplay, ProgressTextAndAcknowledgementCount)
{
    struct Case
    {
        std::optional<int> percent;
        std::optional<std::int64_t> left;
        int language;
        const char* text;
    };
    const Case cases[] = {
        {std::nullopt, 90, 2, ""},
        {58, 90, 2, "  58 %  about 2 min left"},
        {58, 120, 2, "  58 %  about 2 min left"},
        {58, 121, 2, "  58 %  about 3 min left"},
        {3, 3700, 2, "  3 %  about 1 h 2 min left"},
        {99, std::nullopt, 2, "  99 %"},
        {100, 0, 2, "  100 %"},
        {58, 90, 1, "  58 %  约剩2分钟"},
        {3, 3700, 1, "  3 %  约剩1小时2分钟"},
    };
    for (const Case& c : cases) {
        ProgressShown shown;
        shown.drawProgress = true;
        shown.percent = c.percent;
        shown.secondsLeft = c.left;
        EXPECT_EQ(progressText(shown, c.language), c.text);
    }
    EXPECT_EQ(transferAckText({2, 3}, 2), "Acknowledged by the machine: 2 of 3");
    EXPECT_EQ(transferAckText({2, 3}, 1), "机器已确认：2 / 3");
}

TEST(TransferAcks, ARepeatedAcknowledgementDoesNotHideALostOne)
{
    TransferAcks acks;
    const std::uint64_t id = acks.begin(kTarget);
    // The first datagram's acknowledgement may overtake the note that it went out.
    EXPECT_EQ(acks.take(chunkAck()), Verdict::Counted);
    acks.chunkSent(id);
    // The machine answers the first datagram twice; the second datagram is not out yet.
    EXPECT_EQ(acks.take(chunkAck()), Verdict::Counted);
    EXPECT_EQ(acks.count(), (AckCount{1, 1}));
    acks.chunkSent(id); // the second datagram goes out, and its acknowledgement is lost
    EXPECT_EQ(acks.endSending(id, true), Verdict::Counted);
    EXPECT_EQ(acks.count(), (AckCount{1, 2}));
    EXPECT_EQ(acks.expire(id), (AckCount{1, 2})) << "the operator is told one is missing";
}

TEST(DesignDelivery, EachMachineHasItsOwnPacedTransferAndOutcome)
{
    // Three machines on one port at three loopback addresses; the middle one never answers.
    const std::vector<std::string> addresses = {"127.0.0.101", "127.0.0.102", "127.0.0.103"};
    std::vector<std::unique_ptr<UdpSocket>> machines;
    for (const std::string& address : addresses) {
        machines.push_back(std::make_unique<UdpSocket>());
        const std::uint16_t port = machines.size() == 1 ? 0 : machines.front()->localPort();
        if (!machines.back()->bind(address, port, false))
            GTEST_SKIP() << "this system cannot bind one port on several loopback addresses";
    }
    LinkSettings settings;
    settings.machinePort = machines.front()->localPort();

    std::mutex mutex;
    std::map<std::string, std::vector<int>> sentSeen; // chunks sent, as reported, per machine
    std::vector<std::string> done;
    DesignDelivery delivery(settings, {[&](const DeliveryProgress& p) {
                                           std::lock_guard lock(mutex);
                                           auto& seen = sentSeen[p.address];
                                           if (seen.empty() || seen.back() != p.chunksSent)
                                               seen.push_back(p.chunksSent);
                                       },
                                       [&](const MachineDelivery& m) {
                                           std::lock_guard lock(mutex);
                                           done.push_back(m.address);
                                       }});
    // The answering machines acknowledge every datagram as it arrives.
    std::vector<std::jthread> answering;
    for (std::size_t i : {std::size_t(0), std::size_t(2)}) {
        answering.emplace_back([&, i](std::stop_token stop) {
            std::vector<std::uint8_t> buffer(16384);
            for (int got = 0; got < 2 && !stop.stop_requested();) {
                if (machines[i]->receive(buffer, std::chrono::milliseconds(50))) {
                    ++got;
                    delivery.take(chunkAck(addresses[i], 7));
                }
            }
        });
    }
    const std::vector<std::uint8_t> bytes(15000, 0x5A); // two datagrams
    const auto start = std::chrono::steady_clock::now();
    const std::vector<MachineDelivery> results =
        delivery.run(bytes, "star.dst", addresses, {}, std::chrono::milliseconds(300));
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(results.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].address, addresses[i]);
        EXPECT_TRUE(results[i].outcome.sent);
        EXPECT_EQ(results[i].acks.sent, 2);
        EXPECT_EQ(sentSeen[addresses[i]], (std::vector<int>{1, 2})) << addresses[i];
    }
    EXPECT_TRUE(results[0].confirmed());
    EXPECT_EQ(results[0].designId, 7);
    EXPECT_TRUE(results[2].confirmed());
    EXPECT_FALSE(results[1].confirmed()) << "the silent machine alone";
    EXPECT_EQ(results[1].acks.acknowledged, 0);
    EXPECT_EQ(done.size(), 3u);
    EXPECT_EQ(done.back(), addresses[1]) << "the silent machine ends last, after its grace time";
    // Side by side: two paced datagrams each take about a second, not three.
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    // Outside a run, no acknowledgement is taken.
    EXPECT_FALSE(delivery.take(chunkAck(addresses[0])));
}
