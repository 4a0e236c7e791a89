#include "records/RecordsWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>

namespace {

constexpr const char* kLastRetention = "retention.last";
// Each writer says every minute that it is still watching, under a key of its own.
constexpr const char* kWatcherPrefix = "watcher.";
constexpr auto kBeatEvery = std::chrono::minutes(1);
// A watcher not heard of for this long has ended (a killed one leaves its key behind).
constexpr std::int64_t kWatcherGoneMillis = 3 * 60 * 1000;

std::int64_t millis(const std::string& text)
{
    try {
        return std::stoll(text);
    } catch (...) {
        return 0;
    }
}

std::string newWatcherKey()
{
    std::random_device random;
    char text[40];
    std::snprintf(text, sizeof text, "%s%08x%08x", kWatcherPrefix, random(), random());
    return text;
}
// A write that fails is tried this often (other writers may hold the file), then given up.
constexpr int kWriteAttempts = 3;

} // namespace

std::optional<KilledWatchers> killedWatchers(RecordsDatabase& database, std::int64_t now,
                                             const std::string& ownKey)
{
    KilledWatchers out;
    const auto watchers = database.metaStartingWith(kWatcherPrefix);
    for (const auto& [key, value] : watchers.value_or(std::map<std::string, std::string>{})) {
        if (key == ownKey)
            continue;
        const std::int64_t heard = millis(value);
        // Another program watches: the machines are its to tell of.
        if (now - heard < kWatcherGoneMillis)
            return std::nullopt;
        out.keys.push_back(key);
        out.lastHeard = std::max(out.lastHeard, heard);
    }
    if (out.keys.empty())
        return std::nullopt;
    return out;
}

RecordsWriter::RecordsWriter(RecordsWriterSettings settings, FaultFn fault)
    : m_settings(std::move(settings)), m_fault(std::move(fault)), m_key(newWatcherKey()),
      m_thread([this](std::stop_token stop) { run(stop); })
{
}

RecordsWriter::~RecordsWriter()
{
    m_thread.request_stop();
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool RecordsWriter::push(std::vector<EventRow> events, std::vector<RunRow> runs)
{
    {
        std::unique_lock lock(m_mutex);
        if (m_stopped)
            return false;
        if (m_queue.size() >= m_settings.maxQueued) {
            // Told once; recording goes on as the queue drains.
            const bool first = m_dropped++ == 0;
            lock.unlock();
            if (first && m_fault)
                m_fault(RecordsFault::Overflow, {});
            return false;
        }
        m_queue.push_back({std::move(events), std::move(runs)});
    }
    m_wake.notify_all();
    return true;
}

void RecordsWriter::flush()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stopped || (m_ready && m_queue.empty() && !m_busy); });
}

bool RecordsWriter::stopped() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped;
}

std::size_t RecordsWriter::dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void RecordsWriter::fail(RecordsFault fault, const std::string& detail)
{
    // Told before anyone waiting in flush() goes on, so the report is never late.
    if (m_fault)
        m_fault(fault, detail);
    {
        std::lock_guard lock(m_mutex);
        m_dropped += m_queue.size();
        m_queue.clear();
        m_stopped = true;
        m_busy = false;
    }
    m_idle.notify_all();
}

void RecordsWriter::keepRetention(RecordsDatabase& database)
{
    const std::int64_t now = wallClockMillis();
    const std::int64_t lastAt = millis(database.meta(kLastRetention).value_or("0"));
    if (now - lastAt < kRetentionEveryMillis && lastAt <= now)
        return;
    const std::int64_t keep = std::int64_t{m_settings.keepDays} * 24 * 3600 * 1000;
    if (database.removeOlderThan(now - keep))
        database.setMeta(kLastRetention, std::to_string(now));
    // The keys killed watchers left.
    for (const auto& [key, value] : database.metaStartingWith(kWatcherPrefix).value_or(std::map<std::string, std::string>{}))
        if (now - millis(value) > kRetentionEveryMillis)
            database.removeMeta(key);
}

void RecordsWriter::endKilledWatchers(RecordsDatabase& database)
{
    // Nobody watched since the last of them was heard of.
    if (const auto killed = killedWatchers(database, wallClockMillis(), m_key))
        database.endWatching(killed->lastHeard, killed->keys);
}

bool RecordsWriter::othersWatching(RecordsDatabase& database) const
{
    const std::int64_t now = wallClockMillis();
    const auto watchers = database.metaStartingWith(kWatcherPrefix).value_or(std::map<std::string, std::string>{});
    return std::any_of(watchers.begin(), watchers.end(), [&](const auto& watcher) {
        return watcher.first != m_key && now - millis(watcher.second) < kWatcherGoneMillis;
    });
}

void RecordsWriter::run(std::stop_token stop)
{
    RecordsDatabase database;
    const RecordsFault fault =
        database.open(m_settings.path, RecordsDatabase::Mode::ReadWrite, true);
    if (fault != RecordsFault::None) {
        fail(fault, database.detail());
        return;
    }
    const auto beat = [&] {
        if (m_settings.watching)
            database.setMeta(m_key, std::to_string(wallClockMillis()));
    };
    // A watcher killed since the last program watched left its machines in the state it last
    // recorded: that ends where it was last heard of, before this one says it watches.
    endKilledWatchers(database);
    beat();
    keepRetention(database);
    {
        std::lock_guard lock(m_mutex);
        m_ready = true;
    }
    m_idle.notify_all();
    auto nextRetention = std::chrono::steady_clock::now() + std::chrono::hours(1);
    auto nextBeat = std::chrono::steady_clock::now() + kBeatEvery;
    for (;;) {
        std::deque<Batch> work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, stop, std::min(nextRetention, nextBeat),
                              [this] { return !m_queue.empty(); });
            if (m_queue.empty() && stop.stop_requested())
                break;
            work.swap(m_queue);
            m_busy = !work.empty();
        }
        if (std::chrono::steady_clock::now() >= nextBeat) {
            beat();
            nextBeat = std::chrono::steady_clock::now() + kBeatEvery;
        }
        if (std::chrono::steady_clock::now() >= nextRetention) {
            keepRetention(database);
            nextRetention = std::chrono::steady_clock::now() + std::chrono::hours(1);
        }
        if (work.empty())
            continue;
        // Everything waiting goes in one transaction: fewer syncs when events come in bursts.
        Batch all;
        for (Batch& batch : work) {
            std::move(batch.events.begin(), batch.events.end(), std::back_inserter(all.events));
            std::move(batch.runs.begin(), batch.runs.end(), std::back_inserter(all.runs));
        }
        // While another program still watches the machines, this one ending tells nothing
        // about them: that program records what they do next, and the runs it ends are its own.
        const auto unwatched = [](const EventRow& row) { return row.kind == RecordKind::Unwatched; };
        if (std::any_of(all.events.begin(), all.events.end(), unwatched) && othersWatching(database)) {
            std::erase_if(all.runs, [&](const RunRow& run) {
                return !run.finished &&
                       std::any_of(all.events.begin(), all.events.end(), [&](const EventRow& row) {
                           return unwatched(row) && row.address == run.address && row.at == run.ended;
                       });
            });
            std::erase_if(all.events, unwatched);
        }
        bool written = false;
        for (int attempt = 0; attempt < kWriteAttempts && !written; ++attempt)
            written = database.append(all.events, all.runs);
        if (!written) {
            fail(RecordsFault::Busy, database.detail());
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
    }
    if (m_settings.watching)
        database.removeMeta(m_key);
    std::lock_guard lock(m_mutex);
    m_busy = false;
    m_idle.notify_all();
}
