#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/FleetStore.h"
#include "control/StitchRate.h"
#include "link/CommandPacket.h"

struct FleetSettings
{
    // Shortest time between two polls of one machine.
    std::chrono::milliseconds machineInterval{1000};
    // Polls of all machines together in any one-second window.
    int maxPollsPerSecond = 50;
    // A poll without an answer for this long counts as unanswered.
    std::chrono::milliseconds answerTimeout{1000};
    // A machine that answered none of its last this many polls is offline.
    int missedPollsOffline = 3;
    // Stitches per minute are taken over the answers of this window.
    std::chrono::seconds speedWindow{30};
    // The fleet file; empty keeps sent designs in memory only.
    std::string storePath;
};

enum class FleetEventKind {
    Started,     // the work state went from standing to working
    Stopped,     // it went back to standing before the design's end
    Finished,    // the current stitch reached the end of the design sent from this PC
    WentOffline, // a machine that was online answered none of its last polls
    CameBack,    // a machine that had gone offline answers again
};

struct FleetEvent
{
    FleetEventKind kind = FleetEventKind::Started;
    std::string address;
    // WentOffline: the machine was working at its last answer, so a design may be stuck.
    bool whileWorking = false;
    // The operator's name for the machine; empty when it has none.
    std::string name{};

    bool operator==(const FleetEvent&) const = default;
};

// One machine as the monitor knows it at one moment.
struct FleetMachine
{
    std::string address;
    std::string name; // the operator's name for it; empty when it has none
    bool online = false;
    // False until the first answer; the state fields below mean nothing before.
    bool answered = false;
    // Answered none of its last polls (missedPollsOffline), whether or not it ever answered;
    // neither online nor offline while the first polls wait for their verdict.
    bool offline = false;
    std::uint8_t work = 0;
    std::uint8_t embroidery = 0;
    std::int32_t designId = 0; // as the machine reports it
    std::int32_t stitch = 0;
    std::optional<FleetTime> lastAnswer;
    std::optional<double> secondsSinceAnswer;
    std::optional<SentDesign> design;
    // Null when the design is unknown or the machine reports another design than the one sent.
    std::optional<double> percent;
    // Null while there are too few answers to tell, and while offline; 0 while standing.
    std::optional<double> stitchesPerMinute;
    // Null until known, while standing (unless at the end) and while offline.
    std::optional<std::int64_t> secondsLeft;
};

// Watches every machine of the table at once: polls each with a status query at a bounded
// rate, takes the answers routed to it by sender, keeps per-machine state and reports changes.
// The logic is deterministic: time comes from the caller, datagrams go out through a callback.
// All methods may be called from any thread; the callbacks run without the lock held.
class FleetMonitor
{
public:
    using Clock = std::function<FleetTime()>;
    // Sends one status query to the address; false when it could not be sent.
    using Sender = std::function<bool(const std::string& address)>;
    using Listener = std::function<void(const FleetEvent&)>;
    // A machine's first answer: the state watching found it in.
    using FirstAnswer = std::function<void(const FleetMachine&)>;

    FleetMonitor(FleetSettings settings, Clock clock, Sender send, Listener listener = {});
    FleetMonitor(const FleetMonitor&) = delete;
    FleetMonitor& operator=(const FleetMonitor&) = delete;

    // The machines to watch, in polling order. Malformed and repeated addresses are skipped;
    // machines that stay keep their state. `names` (when given) are the operator's names of
    // the machines, by position. Returns the number of machines watched.
    std::size_t setMachines(const std::vector<std::string>& addresses,
                            const std::vector<std::string>& names = {});

    // Sends the polls that are due at `now` and judges polls left unanswered; call it every
    // 20 ms or so (up to 60 ms still reaches the full rate). Returns the number of polls sent.
    int tick(FleetTime now);
    int tick() { return tick(m_clock()); }

    // A StatusReply from `sender` with the design number of its header. False, and nothing
    // changed, when the sender is not a watched machine.
    bool onStatus(const std::string& sender, const MachineStatus& status, std::int32_t designId,
                  FleetTime now);
    bool onStatus(const std::string& sender, const MachineStatus& status, std::int32_t designId)
    {
        return onStatus(sender, status, designId, m_clock());
    }

    // Remembers the design that was just sent to a machine (after the machine confirmed it)
    // and writes the fleet file. False when the address is malformed or the file could not be
    // written; the design is still shown until the program ends in the latter case.
    bool recordSentDesign(const std::string& address, const SentDesign& design);

    // False when the fleet file exists but is not one this program may replace.
    bool storeWritable() const;

    // Reads the fleet file again, so designs another process recorded meanwhile show. False
    // when there is no fleet file path or the file is not a fleet file.
    bool reloadStore();

    // Told, without the lock held, of each machine's first answer from then on.
    void setFirstAnswer(FirstAnswer listener);

    std::vector<FleetMachine> machines(FleetTime now) const;
    std::vector<FleetMachine> machines() const { return machines(m_clock()); }

private:
    struct Tracked
    {
        std::string address;
        std::string name;
        std::optional<FleetTime> lastPoll;
        std::optional<FleetTime> pendingSince; // the poll not yet answered nor judged
        int missed = 0;                        // polls in a row without an answer
        bool online = false;
        bool answered = false;
        MachineStatus status;
        std::int32_t designId = 0;
        std::optional<FleetTime> lastAnswer;
        StitchRate rate;
        bool finishReported = false;
    };

    // Marks polls unanswered once their time is up; may take a machine offline.
    void judgePolls(FleetTime now, std::vector<FleetEvent>& events);
    void countMissed(Tracked& machine, std::vector<FleetEvent>& events);
    FleetTime::duration pollSpacing() const;
    bool mayPollAny(FleetTime now);
    // Counts polls that were just sent, each at the time its send returned.
    void polled(const std::vector<std::string>& addresses, const std::vector<FleetTime>& sentAt);
    Tracked* findMachine(const std::string& canonical);
    const SentDesign* designFor(const Tracked& machine) const;
    // The design sent from this PC when the machine still reports that design.
    const SentDesign* currentDesign(const Tracked& machine) const;
    FleetMachine snapshot(const Tracked& machine, FleetTime now) const;
    void report(const std::vector<FleetEvent>& events) const;

    FleetSettings m_settings;
    Clock m_clock;
    Sender m_send;
    Listener m_listener;
    FleetStore m_store;

    mutable std::mutex m_mutex;
    std::vector<Tracked> m_machines;
    std::size_t m_cursor = 0;              // where the round-robin search for the next poll starts
    std::deque<FleetTime> m_recentPolls;   // send times within the last second, in order
    std::size_t m_pollsSending = 0;        // polls let through whose send has not returned
    std::optional<FleetTime> m_pacedUntil; // earliest time of the next evenly spaced poll
    SentDesignMap m_designs;
    FirstAnswer m_firstAnswer;

    mutable std::mutex m_storeMutex; // keeps whole record-and-write steps in order
};
