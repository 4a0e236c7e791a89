#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "link/Reply.h"

// How long the machine has, after the last datagram of a transfer went out, to acknowledge the
// rest before the operator is told that it did not.
inline constexpr std::chrono::milliseconds kAckGrace{3000};

// Where the acknowledgements of one transfer stand.
struct AckCount
{
    int acknowledged = 0;
    int sent = 0;
    bool operator==(const AckCount&) const = default;
};

// Counts the acknowledgements of the transfer under way, so that they are reported once for the
// whole design instead of once per datagram. Only whole DesignChunkAck replies of the machine the
// datagrams went to count. The window's thread starts and ends a transfer; the receiver thread
// offers every reply. All methods may be called from any thread.
class TransferAcks
{
public:
    enum class Verdict {
        NotOurs,  // no transfer takes this reply: it is reported as it comes
        Counted,  // one more datagram acknowledged; nothing to tell yet
        Complete, // every datagram of a finished transfer is acknowledged: tell it once
    };

    // Starts counting for a transfer to `target`; any earlier transfer is forgotten. Returns the
    // transfer's number, which the later calls name.
    std::uint64_t begin(std::string target);
    // One more datagram of transfer `id` went out.
    void chunkSent(std::uint64_t id);
    // The transfer sent its last datagram (`whole`) or was stopped before. Complete when every
    // datagram is already acknowledged; a stopped transfer is never complete, and its late
    // acknowledgements are taken in silently until expire().
    Verdict endSending(std::uint64_t id, bool whole);
    // A reply taken in by the receiver.
    Verdict take(const Reply& reply);
    // The grace time after the end of sending is up: the transfer ends. The count when a
    // transfer that sent everything still lacks acknowledgements, so the operator is told once.
    std::optional<AckCount> expire(std::uint64_t id);

    // The count of the transfer under way (zeros when none is).
    AckCount count() const;
    bool active() const;
    // The machine of the transfer under way, or of the last one.
    std::string target() const;
    // The design number the machine gave in the last acknowledgement counted; 0 when none.
    std::int32_t designId() const;

private:
    Verdict completeIfDone();

    mutable std::mutex m_mutex;
    std::uint64_t m_id = 0; // number of the transfer under way; 0 when none
    std::uint64_t m_lastId = 0;
    std::string m_target;
    AckCount m_count;
    bool m_sendingEnded = false;
    bool m_whole = false;
    std::int32_t m_designId = 0;
    std::chrono::steady_clock::time_point m_lastSent;
};
