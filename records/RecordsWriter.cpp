#include "records/RecordsWriter.h"

#include <chrono>
#include <utility>

namespace {

constexpr const char* kLastRetention = "retention.last";
// A write that fails is tried this often (other writers may hold the file), then given up.
constexpr int kWriteAttempts = 3;

} // namespace

RecordsWriter::RecordsWriter(RecordsWriterSettings settings, FaultFn fault)
    : m_settings(std::move(settings)), m_fault(std::move(fault)),
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
    const std::string last = database.meta(kLastRetention).value_or("0");
    std::int64_t lastAt = 0;
    try {
        lastAt = std::stoll(last);
    } catch (...) {
        lastAt = 0;
    }
    if (now - lastAt < kRetentionEveryMillis && lastAt <= now)
        return;
    const std::int64_t keep = std::int64_t{m_settings.keepDays} * 24 * 3600 * 1000;
    if (database.removeOlderThan(now - keep))
        database.setMeta(kLastRetention, std::to_string(now));
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
    keepRetention(database);
    {
        std::lock_guard lock(m_mutex);
        m_ready = true;
    }
    m_idle.notify_all();
    auto nextRetention = std::chrono::steady_clock::now() + std::chrono::hours(1);
    for (;;) {
        std::deque<Batch> work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, stop, nextRetention, [this] { return !m_queue.empty(); });
            if (m_queue.empty() && stop.stop_requested())
                break;
            work.swap(m_queue);
            m_busy = !work.empty();
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
    std::lock_guard lock(m_mutex);
    m_busy = false;
    m_idle.notify_all();
}
