#include "control/TransferAcks.h"

#include <utility>

#include "control/DesignTransfer.h"

std::uint64_t TransferAcks::begin(std::string target)
{
    std::lock_guard lock(m_mutex);
    m_id = ++m_lastId;
    m_target = std::move(target);
    m_count = {};
    m_sendingEnded = false;
    m_whole = false;
    m_designId = 0;
    // The first datagram goes out at once.
    m_lastSent = std::chrono::steady_clock::now() - kTransferPause;
    return m_id;
}

void TransferAcks::chunkSent(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    if (id == m_id && id != 0 && !m_sendingEnded) {
        ++m_count.sent;
        m_lastSent = std::chrono::steady_clock::now();
    }
}

TransferAcks::Verdict TransferAcks::endSending(std::uint64_t id, bool whole)
{
    std::lock_guard lock(m_mutex);
    if (id != m_id || id == 0 || m_sendingEnded)
        return Verdict::NotOurs;
    m_sendingEnded = true;
    m_whole = whole && m_count.sent > 0;
    return completeIfDone();
}

TransferAcks::Verdict TransferAcks::take(const Reply& reply)
{
    // A cut acknowledgement or one from another machine says nothing about this transfer.
    if (reply.kind != ReplyKind::DesignChunkAck || !reply.isFullLength())
        return Verdict::NotOurs;
    std::lock_guard lock(m_mutex);
    if (m_id == 0 || reply.sender != m_target)
        return Verdict::NotOurs;
    // While datagrams still go out, an acknowledgement may overtake the count of the datagram it
    // answers. Once sending has ended, acknowledgements beyond the datagrams sent are not ours to
    // swallow: a machine answering twice, or a transfer from another program, still shows.
    if (m_sendingEnded && m_count.acknowledged >= m_count.sent)
        return Verdict::NotOurs;
    // An acknowledgement names no datagram, so one that would cover more datagrams than have
    // gone out is a repeat and counts for nothing: counted, it would hide a lost one. The next
    // datagram counts as gone out once its pause has passed, since its acknowledgement can
    // overtake the note that it was sent.
    const bool nextDue =
        !m_sendingEnded && std::chrono::steady_clock::now() - m_lastSent >= kTransferPause;
    if (m_count.acknowledged >= m_count.sent + (nextDue ? 1 : 0))
        return Verdict::Counted;
    ++m_count.acknowledged;
    m_designId = reply.designId;
    return completeIfDone();
}

TransferAcks::Verdict TransferAcks::completeIfDone()
{
    if (!m_sendingEnded || !m_whole || m_count.acknowledged < m_count.sent)
        return Verdict::Counted;
    m_id = 0; // told once; later acknowledgements are no longer this transfer's
    return Verdict::Complete;
}

std::optional<AckCount> TransferAcks::expire(std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    if (id != m_id || id == 0)
        return std::nullopt;
    m_id = 0;
    if (!m_whole || m_count.acknowledged >= m_count.sent)
        return std::nullopt;
    return m_count;
}

AckCount TransferAcks::count() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

bool TransferAcks::active() const
{
    std::lock_guard lock(m_mutex);
    return m_id != 0;
}

std::int32_t TransferAcks::designId() const
{
    std::lock_guard lock(m_mutex);
    return m_designId;
}

std::string TransferAcks::target() const
{
    std::lock_guard lock(m_mutex);
    return m_target;
}
