#include "control/FleetMonitor.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/Platform.h"

namespace {

using Seconds = std::chrono::duration<double>;

// How many poll spacings a late tick may catch up at once.
constexpr int kPacingSlack = 3;

} // namespace

FleetMonitor::FleetMonitor(FleetSettings settings, Clock clock, Sender send, Listener listener)
    : m_settings(std::move(settings)), m_clock(std::move(clock)), m_send(std::move(send)),
      m_listener(std::move(listener)), m_store(m_settings.storePath)
{
    m_settings.maxPollsPerSecond = std::max(1, m_settings.maxPollsPerSecond);
    m_settings.missedPollsOffline = std::max(1, m_settings.missedPollsOffline);
    if (!m_settings.storePath.empty())
        m_designs = m_store.load();
}

std::size_t FleetMonitor::setMachines(const std::vector<std::string>& addresses,
                                      const std::vector<std::string>& names)
{
    std::lock_guard lock(m_mutex);
    std::vector<Tracked> next;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string& text = addresses[i];
        const std::optional<std::string> address = canonicalAddress(text);
        if (!address || std::any_of(next.begin(), next.end(),
                                    [&](const Tracked& m) { return m.address == *address; }))
            continue;
        if (Tracked* known = findMachine(*address)) {
            next.push_back(std::move(*known));
        } else {
            next.push_back(Tracked{});
            next.back().address = *address;
            next.back().rate = StitchRate(m_settings.speedWindow);
        }
        next.back().name = i < names.size() ? names[i] : std::string();
    }
    m_machines = std::move(next);
    m_cursor = m_machines.empty() ? 0 : m_cursor % m_machines.size();
    return m_machines.size();
}

FleetTime::duration FleetMonitor::pollSpacing() const
{
    return std::chrono::duration_cast<FleetTime::duration>(std::chrono::seconds(1)) /
           m_settings.maxPollsPerSecond;
}

bool FleetMonitor::mayPollAny(FleetTime now)
{
    const auto spacing = pollSpacing();
    // The hard bound: never more than the maximum within any one second. A poll still being
    // sent counts as well, and each sent one by when its send returned, so a thread held up
    // between reading the clock and sending cannot make the polls bunch up.
    if (m_recentPolls.size() + m_pollsSending >=
        static_cast<std::size_t>(m_settings.maxPollsPerSecond))
        return false;
    // Polls are spread evenly rather than sent in bursts; a little slack lets a caller that
    // ticks every 20 to 60 ms still reach the full rate, in runs of at most four.
    return !m_pacedUntil || now + kPacingSlack * spacing >= *m_pacedUntil;
}

int FleetMonitor::tick(FleetTime now)
{
    std::vector<std::string> polls;
    std::vector<FleetEvent> events;
    {
        std::lock_guard lock(m_mutex);
        judgePolls(now, events);
        while (!m_recentPolls.empty() && m_recentPolls.front() <= now - std::chrono::seconds(1))
            m_recentPolls.pop_front();
        const auto spacing = pollSpacing();
        const std::size_t count = m_machines.size();
        // One pass over the table at most, starting where the last one stopped, so that every
        // machine gets its turn however large the table is.
        for (std::size_t scanned = 0; scanned < count && mayPollAny(now); ++scanned) {
            Tracked& machine = m_machines[m_cursor];
            m_cursor = (m_cursor + 1) % count;
            if (machine.lastPoll && now - *machine.lastPoll < m_settings.machineInterval)
                continue;
            if (machine.pendingSince)
                countMissed(machine, events);
            machine.lastPoll = now;
            machine.pendingSince = now;
            ++m_pollsSending;
            m_pacedUntil = std::max(m_pacedUntil.value_or(now), now) + spacing;
            polls.push_back(machine.address);
        }
    }
    std::vector<FleetTime> sentAt;
    sentAt.reserve(polls.size());
    for (const std::string& address : polls) {
        // A poll that cannot be sent goes unanswered, which is what the operator should see.
        if (m_send)
            (void)m_send(address);
        sentAt.push_back(m_clock ? std::max(now, m_clock()) : now);
    }
    if (!polls.empty())
        polled(polls, sentAt);
    report(events);
    return static_cast<int>(polls.size());
}

void FleetMonitor::polled(const std::vector<std::string>& addresses,
                          const std::vector<FleetTime>& sentAt)
{
    std::lock_guard lock(m_mutex);
    m_pollsSending -= addresses.size();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        // Kept in order of time, which another thread's tick may have overtaken.
        m_recentPolls.insert(
            std::upper_bound(m_recentPolls.begin(), m_recentPolls.end(), sentAt[i]), sentAt[i]);
        // A machine's next poll and its answer time are counted from when the poll left.
        if (Tracked* machine = findMachine(addresses[i])) {
            machine->lastPoll = std::max(machine->lastPoll.value_or(sentAt[i]), sentAt[i]);
            if (machine->pendingSince)
                machine->pendingSince = std::max(*machine->pendingSince, sentAt[i]);
        }
    }
}

void FleetMonitor::judgePolls(FleetTime now, std::vector<FleetEvent>& events)
{
    for (Tracked& machine : m_machines) {
        if (machine.pendingSince && now - *machine.pendingSince >= m_settings.answerTimeout)
            countMissed(machine, events);
    }
}

void FleetMonitor::countMissed(Tracked& machine, std::vector<FleetEvent>& events)
{
    machine.pendingSince.reset();
    ++machine.missed;
    if (machine.online && machine.missed >= m_settings.missedPollsOffline) {
        machine.online = false;
        machine.rate.clear();
        events.push_back({FleetEventKind::WentOffline, machine.address,
                          machine.status.workState != 0, machine.name});
    }
}

bool FleetMonitor::onStatus(const std::string& sender, const MachineStatus& status,
                            std::int32_t designId, FleetTime now)
{
    const std::optional<std::string> address = canonicalAddress(sender);
    if (!address)
        return false;
    std::vector<FleetEvent> events;
    std::optional<FleetMachine> firstSeen;
    FirstAnswer firstAnswer;
    {
        std::lock_guard lock(m_mutex);
        Tracked* machine = findMachine(*address);
        if (!machine)
            return false;
        const bool first = !machine->answered;
        if (!first && !machine->online)
            events.push_back({FleetEventKind::CameBack, machine->address, false, machine->name});
        const MachineStatus previous = machine->status;
        const std::int32_t previousDesign = machine->designId;

        machine->status = status;
        machine->designId = designId;
        machine->answered = true;
        machine->online = true;
        machine->missed = 0;
        machine->pendingSince.reset();
        machine->lastAnswer = now;

        machine->rate.add(now, status.workState != 0, status.currentStitch,
                          designId != previousDesign);

        const SentDesign* design = currentDesign(*machine);
        const bool atEnd =
            design && design->stitches > 0 && status.currentStitch >= design->stitches;
        if (first) {
            // What happened before the first answer is not known, so nothing is reported.
            machine->finishReported = atEnd;
        } else {
            const bool working = status.workState != 0;
            const bool wasWorking = previous.workState != 0;
            if (atEnd && !machine->finishReported)
                events.push_back(
                    {FleetEventKind::Finished, machine->address, false, machine->name});
            machine->finishReported = atEnd;
            if (working && !wasWorking)
                events.push_back({FleetEventKind::Started, machine->address, false, machine->name});
            // Standing at the end of the design is a finish, not a stop.
            if (!working && wasWorking && !atEnd)
                events.push_back({FleetEventKind::Stopped, machine->address, false, machine->name});
        }
        if (first && m_firstAnswer) {
            firstSeen = snapshot(*machine, now);
            firstAnswer = m_firstAnswer;
        }
    }
    report(events);
    if (firstSeen)
        firstAnswer(*firstSeen);
    return true;
}

void FleetMonitor::setFirstAnswer(FirstAnswer listener)
{
    std::lock_guard lock(m_mutex);
    m_firstAnswer = std::move(listener);
}

bool FleetMonitor::recordSentDesign(const std::string& address, const SentDesign& design)
{
    const std::optional<std::string> canonical = canonicalAddress(address);
    if (!canonical || design.stitches < 0 || design.colors < 0)
        return false;
    SentDesign clean = design;
    clean.name = cleanDesignName(design.name);

    std::lock_guard storeLock(m_storeMutex);
    // The window and each command of the tool record into one file: the lock and a fresh read
    // keep one process from dropping what another recorded since this one last read it.
    std::optional<platform::FileLock> fileLock;
    SentDesignMap onDisk;
    if (!m_settings.storePath.empty()) {
        fileLock.emplace(m_settings.storePath + ".lock");
        onDisk = m_store.load();
    }
    SentDesignMap designs;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [stored, sent] : onDisk)
            m_designs[stored] = std::move(sent);
        m_designs[*canonical] = clean;
        if (Tracked* machine = findMachine(*canonical)) {
            // A machine still showing the end of its previous design has not finished this one.
            machine->finishReported = machine->answered && clean.stitches > 0 &&
                                      machine->status.currentStitch >= clean.stitches;
        }
        designs = m_designs;
    }
    if (m_settings.storePath.empty())
        return true;
    return m_store.save(designs);
}

bool FleetMonitor::reloadStore()
{
    if (m_settings.storePath.empty())
        return false;
    std::lock_guard storeLock(m_storeMutex);
    SentDesignMap designs = m_store.load();
    std::lock_guard lock(m_mutex);
    for (Tracked& machine : m_machines) {
        const auto before = m_designs.find(machine.address);
        const auto after = designs.find(machine.address);
        const bool changed = after != designs.end() &&
                             (before == m_designs.end() || !(before->second == after->second));
        // As when recording: the end of the previous design does not count as this one's end.
        if (changed)
            machine.finishReported = machine.answered && after->second.stitches > 0 &&
                                     machine.status.currentStitch >= after->second.stitches;
    }
    m_designs = std::move(designs);
    return m_store.writable();
}

bool FleetMonitor::storeWritable() const
{
    std::lock_guard storeLock(m_storeMutex);
    return m_store.writable();
}

std::vector<FleetMachine> FleetMonitor::machines(FleetTime now) const
{
    std::lock_guard lock(m_mutex);
    std::vector<FleetMachine> out;
    out.reserve(m_machines.size());
    for (const Tracked& machine : m_machines)
        out.push_back(snapshot(machine, now));
    return out;
}

FleetMonitor::Tracked* FleetMonitor::findMachine(const std::string& canonical)
{
    const auto found = std::find_if(m_machines.begin(), m_machines.end(),
                                    [&](const Tracked& m) { return m.address == canonical; });
    return found == m_machines.end() ? nullptr : &*found;
}

const SentDesign* FleetMonitor::designFor(const Tracked& machine) const
{
    const auto found = m_designs.find(machine.address);
    return found == m_designs.end() ? nullptr : &found->second;
}

const SentDesign* FleetMonitor::currentDesign(const Tracked& machine) const
{
    const SentDesign* design = designFor(machine);
    if (design && design->designId != 0 && machine.designId != 0 &&
        design->designId != machine.designId)
        return nullptr; // the machine sews something that was not sent from here
    return design;
}

FleetMachine FleetMonitor::snapshot(const Tracked& machine, FleetTime now) const
{
    FleetMachine out;
    out.address = machine.address;
    out.name = machine.name;
    out.online = machine.online;
    out.answered = machine.answered;
    out.offline = !machine.online && machine.missed >= m_settings.missedPollsOffline;
    out.work = machine.status.workState;
    out.embroidery = machine.status.embroideryState;
    out.designId = machine.designId;
    out.stitch = machine.status.currentStitch;
    out.lastAnswer = machine.lastAnswer;
    if (machine.lastAnswer)
        out.secondsSinceAnswer = std::max(0.0, Seconds(now - *machine.lastAnswer).count());
    if (const SentDesign* design = designFor(machine))
        out.design = *design;

    const SentDesign* design = currentDesign(machine);
    const std::int32_t stitch = machine.status.currentStitch;
    const bool known = machine.answered && design && design->stitches > 0 && stitch >= 0;
    if (known)
        out.percent = sewnPercent(stitch, design->stitches);
    if (!machine.online)
        return out;
    const bool working = machine.status.workState != 0;
    out.stitchesPerMinute = working ? machine.rate.perMinute() : std::optional<double>(0.0);
    // Standing before the end, nothing is left to estimate from.
    if (known && (working || stitch >= design->stitches))
        out.secondsLeft = secondsLeft(stitch, design->stitches, out.stitchesPerMinute);
    return out;
}

void FleetMonitor::report(const std::vector<FleetEvent>& events) const
{
    if (!m_listener)
        return;
    for (const FleetEvent& event : events)
        m_listener(event);
}
