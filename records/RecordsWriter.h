#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "records/RecordsDatabase.h"

struct RecordsWriterSettings
{
    std::string path;
    // Rows older than this many days go in the daily retention pass.
    int keepDays = 400;
    // Batches waiting beyond this many are dropped (and counted), so a stuck disk never holds
    // up the caller.
    std::size_t maxQueued = 4096;
    // The writer's program watches the machines: while it runs, another program ending leaves
    // them to it (that program's "unwatched" rows are not kept).
    bool watching = true;
};

// The file's watchers that were killed (their keys, and when the last of them was last heard
// of), when no other program watches now; nothing when one does or none was killed.
struct KilledWatchers
{
    std::vector<std::string> keys;
    std::int64_t lastHeard = 0;
};
std::optional<KilledWatchers> killedWatchers(RecordsDatabase& database, std::int64_t now,
                                             const std::string& ownKey = {});

// Writes history rows on a thread of its own, so the caller (the UI thread, the fleet monitor)
// never waits for the disk. A file that cannot be used is reported once through `fault`;
// recording then stops and everything else goes on. Rows dropped from a full queue are reported
// once too (RecordsFault::Overflow), from the caller's thread, and recording goes on.
class RecordsWriter
{
public:
    using FaultFn = std::function<void(RecordsFault fault, const std::string& detail)>;

    RecordsWriter(RecordsWriterSettings settings, FaultFn fault);
    // Writes what is queued, then ends the thread.
    ~RecordsWriter();
    RecordsWriter(const RecordsWriter&) = delete;
    RecordsWriter& operator=(const RecordsWriter&) = delete;

    // Queues one batch, written in one transaction. False when it was dropped: the queue is
    // full or recording has stopped.
    bool push(std::vector<EventRow> events, std::vector<RunRow> runs);
    // Waits until every batch queued so far is written or dropped.
    void flush();
    // True once recording stopped for good.
    bool stopped() const;
    std::size_t dropped() const;

private:
    struct Batch
    {
        std::vector<EventRow> events;
        std::vector<RunRow> runs;
    };
    void run(std::stop_token stop);
    void fail(RecordsFault fault, const std::string& detail);
    void keepRetention(RecordsDatabase& database);
    // Ends the watching of killed watchers when no other program watches.
    void endKilledWatchers(RecordsDatabase& database);
    // Another writer of the file said within the last minutes that it watches.
    bool othersWatching(RecordsDatabase& database) const;

    RecordsWriterSettings m_settings;
    FaultFn m_fault;
    std::string m_key; // this writer's key among the file's watchers

    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::condition_variable m_idle;
    std::deque<Batch> m_queue;
    bool m_ready = false; // the file was opened, or refused
    bool m_busy = false;  // a batch is being written
    bool m_stopped = false;
    std::size_t m_dropped = 0;
    std::jthread m_thread;
};

// How long retention waits between passes, shared by every writer through the file.
inline constexpr std::int64_t kRetentionEveryMillis = 24LL * 3600 * 1000;
