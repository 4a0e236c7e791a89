#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/FleetMonitor.h"
#include "control/FleetPolling.h"
#include "tests/support/TempFolder.h"

using namespace std::chrono_literals;

namespace {

struct Poll
{
    std::string address;
    FleetTime time;
};

// A monitor on an injected clock whose polls and events are recorded.
class Fleet
{
public:
    explicit Fleet(FleetSettings settings = {})
        : monitor(
              std::move(settings), [this] { return now; },
              [this](const std::string& address) {
                  // The sending thread may be held up after the monitor read its clock.
                  if (holdUpEvery > 0 && (polls.size() + 1) % holdUpEvery == 0)
                      now += holdUp;
                  polls.push_back({address, now});
                  return true;
              },
              [this](const FleetEvent& event) { events.push_back(event); })
    {
    }

    // Ticks every `step` until `until` (exclusive).
    void runUntil(FleetTime until, std::chrono::milliseconds step)
    {
        for (; now < until; now += step)
            monitor.tick(now);
    }
    void answer(const std::string& address, std::uint8_t work, std::int32_t stitch,
                std::int32_t designId = 0)
    {
        MachineStatus status;
        status.workState = work;
        status.embroideryState = 1;
        status.currentStitch = stitch;
        ASSERT_TRUE(monitor.onStatus(address, status, designId, now));
    }
    FleetMachine machine(const std::string& address) const
    {
        for (const FleetMachine& m : monitor.machines(now)) {
            if (m.address == address)
                return m;
        }
        ADD_FAILURE() << "no machine " << address;
        return {};
    }

    FleetTime now{};
    std::size_t holdUpEvery = 0;
    FleetTime::duration holdUp{};
    std::vector<Poll> polls;
    std::vector<FleetEvent> events;
    FleetMonitor monitor;
};

std::vector<std::string> addresses(int count)
{
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i)
        out.push_back("127.0.0." + std::to_string(i));
    return out;
}

const std::string kMachine = "127.0.0.7";

double secondsOf(FleetTime::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The most polls sent (by the sender's clock) within any one-second window.
std::size_t busiestSecond(const std::vector<Poll>& polls)
{
    std::size_t worst = 0;
    for (std::size_t i = 0; i < polls.size(); ++i) {
        std::size_t inWindow = 0;
        for (std::size_t j = 0; j < polls.size(); ++j)
            inWindow += polls[j].time >= polls[i].time && polls[j].time < polls[i].time + 1s;
        worst = std::max(worst, inWindow);
    }
    return worst;
}

// The shortest time between two polls of one machine.
FleetTime::duration shortestRepeat(const std::vector<Poll>& polls)
{
    std::map<std::string, FleetTime> last;
    auto shortest = FleetTime::duration::max();
    for (const Poll& poll : polls) {
        const auto [found, first] = last.try_emplace(poll.address, poll.time);
        if (!first)
            shortest = std::min(shortest, poll.time - std::exchange(found->second, poll.time));
    }
    return shortest;
}

} // namespace

TEST(FleetMonitor, PollsAFullSubnetWithinTheRateBoundWhateverTheTickPeriod)
{
    for (const auto step : {1ms, 7ms, 20ms, 33ms, 50ms}) {
        SCOPED_TRACE("tick every " + std::to_string(step.count()) + " ms");
        Fleet fleet;
        ASSERT_EQ(fleet.monitor.setMachines(addresses(254)), 254u);
        fleet.runUntil(FleetTime{} + 12s, step);

        EXPECT_LE(busiestSecond(fleet.polls), 50u);

        // No machine twice within a second; every machine reached in about five seconds.
        std::map<std::string, std::vector<FleetTime>> byMachine;
        for (const Poll& poll : fleet.polls)
            byMachine[poll.address].push_back(poll.time);
        ASSERT_EQ(byMachine.size(), 254u);
        FleetTime lastFirstPoll{};
        EXPECT_GE(shortestRepeat(fleet.polls), 1s);
        for (const auto& [address, times] : byMachine) {
            lastFirstPoll = std::max(lastFirstPoll, times.front());
            // The rotation goes on: every machine has its second poll by ten seconds.
            ASSERT_GE(times.size(), 2u) << address;
            EXPECT_LE(secondsOf(times[1] - FleetTime{}), 10.2 + 4 * secondsOf(step)) << address;
        }
        // Polls leave only at ticks, so a coarse tick loses a little of the rate.
        EXPECT_LE(secondsOf(lastFirstPoll - FleetTime{}),
                  step <= 20ms ? 5.1 : 5.06 + 2 * secondsOf(step));
        // And the rate is used, not wasted: close to 50 a second over the run.
        EXPECT_GE(fleet.polls.size(), 570u);
    }
}

// However long the sending thread is held up between reading the clock and sending, the
// polls never leave in a burst that breaks the bound.
TEST(FleetMonitor, ASenderHeldUpDoesNotCatchUpInABurst)
{
    struct Case
    {
        std::size_t every;
        std::chrono::milliseconds holdUp;
    };
    for (const Case c : {Case{2, 30ms}, Case{5, 120ms}, Case{23, 300ms}, Case{49, 700ms},
                         Case{97, 990ms}, Case{150, 2500ms}}) {
        SCOPED_TRACE("every " + std::to_string(c.every) + " polls held up " +
                     std::to_string(c.holdUp.count()) + " ms");
        Fleet fleet;
        fleet.holdUpEvery = c.every;
        fleet.holdUp = c.holdUp;
        fleet.monitor.setMachines(addresses(254));
        fleet.runUntil(FleetTime{} + 12s, 20ms);
        EXPECT_LE(busiestSecond(fleet.polls), 50u);
        EXPECT_GE(shortestRepeat(fleet.polls), 1s);
        EXPECT_GE(fleet.polls.size(), 100u) << "held up, but still polling";
    }
}

// The same with the ticker's own thread on the real clock, which a busy computer may hold up
// anywhere: by the sender's clock the bound still holds exactly.
TEST(FleetMonitor, TheTickerThreadKeepsTheBoundByTheSendersClock)
{
    std::mutex mutex;
    std::vector<Poll> polls;
    FleetMonitor monitor(
        {}, [] { return std::chrono::steady_clock::now(); },
        [&](const std::string& address) {
            std::lock_guard lock(mutex);
            polls.push_back({address, std::chrono::steady_clock::now()});
            return true;
        });
    monitor.setMachines(addresses(254));
    {
        FleetTicker ticker(monitor);
        ticker.start();
        std::this_thread::sleep_for(2s);
    }
    EXPECT_LE(busiestSecond(polls), 50u);
    EXPECT_GE(shortestRepeat(polls), 1s);
    EXPECT_GE(polls.size(), 20u) << "it polls";
}

TEST(FleetMonitor, PollsASmallFleetOnceASecondEach)
{
    Fleet fleet;
    fleet.monitor.setMachines(addresses(3));
    fleet.runUntil(FleetTime{} + 10s, 20ms);
    for (const std::string& address : addresses(3)) {
        EXPECT_EQ(std::count_if(fleet.polls.begin(), fleet.polls.end(),
                                [&](const Poll& p) { return p.address == address; }),
                  10)
            << address;
    }
}

TEST(FleetMonitor, MachineListSkipsBadAndRepeatedAddressesAndKeepsKnownMachines)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    fleet.answer(kMachine, 1, 40);

    EXPECT_EQ(fleet.monitor.setMachines(
                  {"127.0.0.5", "0,0,0,0", "127.0.0.007", kMachine, "127.0.0.256", " 127.0.0.9 "}),
              3u);
    const std::vector<FleetMachine> machines = fleet.monitor.machines(fleet.now);
    ASSERT_EQ(machines.size(), 3u);
    EXPECT_EQ(machines[0].address, "127.0.0.5");
    EXPECT_EQ(machines[1].address, kMachine);
    EXPECT_EQ(machines[2].address, "127.0.0.9");
    EXPECT_TRUE(machines[1].online);
    EXPECT_EQ(machines[1].stitch, 40);
    EXPECT_FALSE(machines[0].answered);
}

TEST(FleetMonitor, RepliesFromUnknownSendersAreRejected)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    MachineStatus status;
    status.workState = 1;
    status.currentStitch = 999;
    for (const char* sender : {"127.0.0.8", "", "evil", "127.0.0.7.1", "127.0.0.7:8040"})
        EXPECT_FALSE(fleet.monitor.onStatus(sender, status, 3, fleet.now)) << sender;
    const FleetMachine machine = fleet.machine(kMachine);
    EXPECT_FALSE(machine.answered);
    EXPECT_FALSE(machine.online);
    EXPECT_TRUE(fleet.events.empty());
    // Another spelling of a watched address is the same machine.
    EXPECT_TRUE(fleet.monitor.onStatus("127.000.000.007", status, 3, fleet.now));
}

TEST(FleetMonitor, OnlineMeansAnsweredOneOfTheLastThreePolls)
{
    struct Case
    {
        std::string answers; // one character per poll: 'A' answered, '.' not
        std::string online;  // after each poll has been judged
        std::vector<FleetEventKind> events;
        std::string offline; // the verdict: also for a machine that never answered
    };
    const std::vector<Case> cases = {
        {"A...", "1110", {FleetEventKind::WentOffline}, "0001"},
        {"A..A...", "1111110", {FleetEventKind::WentOffline}, "0000001"},
        {"A...A", "11101", {FleetEventKind::WentOffline, FleetEventKind::CameBack}, "00010"},
        {".A..", "0111", {}, "0000"},
        {"....", "0000", {}, "0011"},
        {"A..A..A", "1111111", {}, "0000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers);
        Fleet fleet;
        fleet.monitor.setMachines({kMachine});
        std::string online;
        std::string offline;
        for (std::size_t k = 0; k < c.answers.size(); ++k) {
            // One poll a second; the answer, if any, comes 100 ms later.
            fleet.runUntil(FleetTime{} + std::chrono::seconds(k) + 100ms, 20ms);
            if (c.answers[k] == 'A')
                fleet.answer(kMachine, 0, 0);
            fleet.runUntil(FleetTime{} + std::chrono::seconds(k + 1) + 20ms, 20ms);
            online += fleet.machine(kMachine).online ? '1' : '0';
            offline += fleet.machine(kMachine).offline ? '1' : '0';
        }
        EXPECT_EQ(fleet.polls.size(), c.answers.size() + 1);
        EXPECT_EQ(online, c.online);
        EXPECT_EQ(offline, c.offline);
        std::vector<FleetEventKind> kinds;
        for (const FleetEvent& event : fleet.events)
            kinds.push_back(event.kind);
        EXPECT_EQ(kinds, c.events);
    }
}

TEST(FleetMonitor, OfflineEventTellsWhetherTheMachineWasSewing)
{
    Fleet fleet;
    fleet.monitor.setMachines({"127.0.0.1", "127.0.0.2"});
    fleet.runUntil(FleetTime{} + 100ms, 20ms);
    fleet.answer("127.0.0.1", 1, 500);
    fleet.answer("127.0.0.2", 0, 0);
    fleet.runUntil(FleetTime{} + 10s, 20ms);
    EXPECT_EQ(fleet.events, (std::vector<FleetEvent>{
                                {FleetEventKind::WentOffline, "127.0.0.1", true},
                                {FleetEventKind::WentOffline, "127.0.0.2", false},
                            }));
    // Offline, the last state stays visible but no speed or time left is claimed.
    const FleetMachine machine = fleet.machine("127.0.0.1");
    EXPECT_FALSE(machine.online);
    EXPECT_EQ(machine.stitch, 500);
    EXPECT_FALSE(machine.stitchesPerMinute);
    EXPECT_FALSE(machine.secondsLeft);
    ASSERT_TRUE(machine.secondsSinceAnswer);
    EXPECT_NEAR(*machine.secondsSinceAnswer, 9.9, 0.05);
}

TEST(FleetMonitor, ReportsStartStopAndFinishAgainstTheDesignSentFromHere)
{
    struct Step
    {
        std::uint8_t work;
        std::int32_t stitch;
        std::int32_t designId;
        std::vector<FleetEventKind> events;
    };
    using K = FleetEventKind;
    struct Case
    {
        const char* name;
        std::vector<Step> steps;
    };
    // The design sent from here has 300 stitches and design number 4.
    const std::vector<Case> cases = {
        {"runs to the end",
         {{0, 0, 4, {}},
          {1, 100, 4, {K::Started}},
          {1, 300, 4, {K::Finished}},
          {0, 300, 4, {}},
          {0, 300, 4, {}}}},
        {"stops halfway and goes on",
         {{1, 10, 4, {}}, {0, 150, 4, {K::Stopped}}, {1, 160, 4, {K::Started}}}},
        {"finishes and stops in one answer", {{1, 290, 4, {}}, {0, 300, 4, {K::Finished}}}},
        {"first answer says nothing about the past", {{0, 300, 4, {}}, {0, 300, 4, {}}}},
        {"sews another design than the one sent",
         {{1, 0, 9, {}}, {1, 300, 9, {}}, {0, 400, 9, {K::Stopped}}}},
        {"starts the design again", {{1, 300, 4, {}}, {1, 5, 4, {}}, {1, 300, 4, {K::Finished}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fleet fleet;
        fleet.monitor.setMachines({kMachine});
        ASSERT_TRUE(fleet.monitor.recordSentDesign(kMachine, {"rose.dst", 300, 5, 4, 1700000000}));
        for (const Step& step : c.steps) {
            fleet.events.clear();
            fleet.now += 1s;
            fleet.answer(kMachine, step.work, step.stitch, step.designId);
            std::vector<K> kinds;
            for (const FleetEvent& event : fleet.events) {
                EXPECT_EQ(event.address, kMachine);
                kinds.push_back(event.kind);
            }
            EXPECT_EQ(kinds, step.events) << "at stitch " << step.stitch;
        }
    }
}

TEST(FleetMonitor, NewDesignOnAMachineStillAtTheOldEndIsNotFinished)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    fleet.answer(kMachine, 1, 5000);
    fleet.monitor.recordSentDesign(kMachine, {"small.dst", 300, 2, 0, 1700000000});
    fleet.now += 1s;
    fleet.answer(kMachine, 1, 5000);
    EXPECT_TRUE(fleet.events.empty());
    fleet.now += 1s;
    fleet.answer(kMachine, 1, 10);
    fleet.now += 1s;
    fleet.answer(kMachine, 1, 300);
    EXPECT_EQ(fleet.events, (std::vector<FleetEvent>{{FleetEventKind::Finished, kMachine}}));
}

TEST(FleetMonitor, EstimatesTimeLeftFromTheSewingSpeed)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    fleet.monitor.recordSentDesign(kMachine, {"rose.dst", 6000, 5, 0, 1700000000});
    fleet.answer(kMachine, 0, 0);
    FleetMachine standing = fleet.machine(kMachine);
    EXPECT_EQ(standing.stitchesPerMinute, 0.0);
    EXPECT_FALSE(standing.secondsLeft); // nothing while the machine stands
    ASSERT_TRUE(standing.percent);
    EXPECT_EQ(*standing.percent, 0.0);

    // 600 stitches a minute: 10 a second, answered once a second.
    fleet.answer(kMachine, 1, 0);
    EXPECT_FALSE(fleet.machine(kMachine).secondsLeft); // one answer tells no speed
    for (int t = 1; t <= 10; ++t) {
        fleet.now += 1s;
        fleet.answer(kMachine, 1, 10 * t);
    }
    FleetMachine sewing = fleet.machine(kMachine);
    ASSERT_TRUE(sewing.stitchesPerMinute);
    EXPECT_NEAR(*sewing.stitchesPerMinute, 600.0, 1e-9);
    EXPECT_EQ(sewing.secondsLeft, 590); // (6000 - 100) / 10
    EXPECT_NEAR(*sewing.percent, 100.0 / 60.0, 1e-9);

    // It speeds up to 1200 a minute; after the 30-second window only the new speed counts.
    for (int t = 1; t <= 31; ++t) {
        fleet.now += 1s;
        fleet.answer(kMachine, 1, 100 + 20 * t);
    }
    sewing = fleet.machine(kMachine);
    EXPECT_NEAR(*sewing.stitchesPerMinute, 1200.0, 1e-9);
    EXPECT_EQ(sewing.secondsLeft, (6000 - 720) / 20);

    fleet.now += 1s;
    fleet.answer(kMachine, 0, 720);
    EXPECT_FALSE(fleet.machine(kMachine).secondsLeft);
    fleet.now += 1s;
    fleet.answer(kMachine, 0, 6000);
    EXPECT_EQ(fleet.machine(kMachine).secondsLeft, 0);
    EXPECT_EQ(fleet.machine(kMachine).percent, 100.0);
}

TEST(FleetMonitor, NoEstimateForADesignOtherThanTheOneSent)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    fleet.monitor.recordSentDesign(kMachine, {"rose.dst", 6000, 5, 4, 1700000000});
    for (int t = 0; t <= 5; ++t) {
        fleet.now += 1s;
        fleet.answer(kMachine, 1, 10 * t, 5);
    }
    const FleetMachine machine = fleet.machine(kMachine);
    ASSERT_TRUE(machine.design); // still the design last sent from here
    EXPECT_FALSE(machine.percent);
    EXPECT_FALSE(machine.secondsLeft);
    EXPECT_NEAR(*machine.stitchesPerMinute, 600.0, 1e-9);
}

TEST(FleetMonitor, SentDesignsSurviveARestart)
{
    TempFolder folder;
    FleetSettings settings;
    settings.storePath = FleetStore::pathBeside(folder.file("ZUZiruro.ini"));
    EXPECT_EQ(settings.storePath, folder.file("hoopwatch-fleet.ini"));
    const SentDesign rose{"rose.dst", 6000, 5, 4, 1700000000};
    {
        Fleet old(settings);
        old.monitor.setMachines({kMachine, "127.0.0.8"});
        EXPECT_TRUE(old.monitor.recordSentDesign(
            kMachine, {"/home/op/designs/rose.dst", 6000, 5, 4, 1700000000}));
        EXPECT_TRUE(old.monitor.recordSentDesign("127.0.0.8", {"tulip.dsb", 10, 1, 0, 1}));
        EXPECT_TRUE(old.monitor.recordSentDesign("127.0.0.8", {"lily.tbf", 20, 2, 0, 2}));
        EXPECT_FALSE(old.monitor.recordSentDesign("not an address", rose));
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("ZUZiruro.ini")));

    Fleet restarted(settings);
    restarted.monitor.setMachines({kMachine, "127.0.0.8", "127.0.0.9"});
    EXPECT_EQ(restarted.machine(kMachine).design, rose);
    EXPECT_EQ(restarted.machine("127.0.0.8").design, (SentDesign{"lily.tbf", 20, 2, 0, 2}));
    EXPECT_FALSE(restarted.machine("127.0.0.9").design);
    EXPECT_TRUE(restarted.monitor.storeWritable());
}

TEST(FleetMonitor, ForeignFleetFileIsNeitherBelievedNorReplaced)
{
    TempFolder folder;
    FleetSettings settings;
    settings.storePath = folder.file("hoopwatch-fleet.ini");
    const std::string foreign = "[127.0.0.7]\nname=evil.dst\nstitches=1\n";
    writeBytes(settings.storePath, foreign);

    Fleet fleet(settings);
    fleet.monitor.setMachines({kMachine});
    EXPECT_FALSE(fleet.machine(kMachine).design);
    EXPECT_FALSE(fleet.monitor.storeWritable());
    EXPECT_FALSE(fleet.monitor.recordSentDesign(kMachine, {"rose.dst", 6000, 5, 4, 1}));
    EXPECT_EQ(readBytes(settings.storePath), foreign);
    // The operator still sees what was sent in this run.
    EXPECT_TRUE(fleet.machine(kMachine).design);
}

TEST(FleetMonitor, HostileStitchNumbersNeitherCrashNorMislead)
{
    Fleet fleet;
    fleet.monitor.setMachines({kMachine});
    fleet.monitor.recordSentDesign(kMachine, {"rose.dst", 300, 5, 0, 1});
    fleet.answer(kMachine, 1, -5);
    FleetMachine machine = fleet.machine(kMachine);
    EXPECT_FALSE(machine.percent);
    EXPECT_FALSE(machine.secondsLeft);
    fleet.now += 1s;
    fleet.answer(kMachine, 1, INT32_MAX);
    machine = fleet.machine(kMachine);
    EXPECT_EQ(machine.percent, 100.0);
    EXPECT_EQ(machine.secondsLeft, 0);
    fleet.now += 1s;
    fleet.answer(kMachine, 1, 0); // runs backwards: a new run, no speed from the jump
    fleet.now += 1s;
    fleet.answer(kMachine, 1, 10);
    EXPECT_NEAR(*fleet.machine(kMachine).stitchesPerMinute, 600.0, 1e-9);
}

TEST(FleetMonitor, CallbacksMayCallBackIntoTheMonitor)
{
    FleetMonitor* self = nullptr;
    std::size_t seenBySender = 0, seenByListener = 0;
    FleetTime now{};
    FleetMonitor monitor(
        {}, [&] { return now; },
        [&](const std::string&) {
            seenBySender = self->machines().size();
            return true;
        },
        [&](const FleetEvent&) { seenByListener = self->machines().size(); });
    self = &monitor;
    // The first answer is told once, with the state it found.
    std::vector<std::int32_t> firstStitches;
    monitor.setFirstAnswer([&](const FleetMachine& machine) {
        firstStitches.push_back(self->machines().size() == 1 ? machine.stitch : -1);
    });
    monitor.setMachines({kMachine});
    EXPECT_EQ(monitor.tick(now), 1);
    MachineStatus status;
    status.currentStitch = 42;
    monitor.onStatus(kMachine, status, 0, now);
    status.workState = 1;
    monitor.onStatus(kMachine, status, 0, now);
    EXPECT_EQ(seenBySender, 1u);
    EXPECT_EQ(seenByListener, 1u);
    EXPECT_EQ(firstStitches, std::vector<std::int32_t>{42});
}

TEST(FleetMonitor, ReloadShowsDesignsAnotherProcessRecorded)
{
    TempFolder folder;
    FleetSettings settings;
    settings.storePath = folder.file("hoopwatch-fleet.ini");
    Fleet watcher(settings);
    watcher.monitor.setMachines({kMachine});
    EXPECT_TRUE(watcher.monitor.reloadStore()) << "no file yet is an empty fleet";
    watcher.answer(kMachine, 1, 5000); // still at the end of an older, longer design
    {
        Fleet sender(settings);
        ASSERT_TRUE(sender.monitor.recordSentDesign(kMachine, {"small.dst", 300, 2, 3, 7}));
    }
    EXPECT_FALSE(watcher.machine(kMachine).design) << "the file is read on reload only";
    EXPECT_TRUE(watcher.monitor.reloadStore());
    EXPECT_EQ(watcher.machine(kMachine).design, (SentDesign{"small.dst", 300, 2, 3, 7}));

    // The old end does not finish the new design; reaching its own end does.
    watcher.now += 1s;
    watcher.answer(kMachine, 1, 5000, 3);
    EXPECT_TRUE(watcher.events.empty());
    watcher.now += 1s;
    watcher.answer(kMachine, 1, 10, 3);
    watcher.now += 1s;
    watcher.answer(kMachine, 1, 300, 3);
    EXPECT_EQ(watcher.events, (std::vector<FleetEvent>{{FleetEventKind::Finished, kMachine}}));

    // A file another program put there is not believed.
    writeBytes(settings.storePath, "[127.0.0.7]\nname=evil.dst\nstitches=1\n");
    EXPECT_FALSE(watcher.monitor.reloadStore());
    EXPECT_FALSE(watcher.machine(kMachine).design);
}

TEST(FleetMonitor, ProcessesRecordingIntoOneFileKeepEachOthersEntries)
{
    TempFolder folder;
    FleetSettings settings;
    settings.storePath = folder.file("hoopwatch-fleet.ini");
    // Both read the (empty) file before either records, as the window and a command would.
    Fleet window(settings);
    Fleet command(settings);
    ASSERT_TRUE(window.monitor.recordSentDesign("127.0.0.1", {"a.dst", 10, 1, 1, 1}));
    ASSERT_TRUE(command.monitor.recordSentDesign("127.0.0.2", {"b.dst", 20, 2, 1, 2}));
    ASSERT_TRUE(window.monitor.recordSentDesign("127.0.0.3", {"c.dst", 30, 3, 1, 3}));

    Fleet reader(settings);
    reader.monitor.setMachines({"127.0.0.1", "127.0.0.2", "127.0.0.3"});
    for (const auto& [address, name] :
         {std::pair{"127.0.0.1", "a.dst"}, {"127.0.0.2", "b.dst"}, {"127.0.0.3", "c.dst"}}) {
        const auto design = reader.machine(address).design;
        ASSERT_TRUE(design) << address;
        EXPECT_EQ(design->name, name);
    }
}
