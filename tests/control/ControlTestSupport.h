#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/UiTexts.h"
#include "control/ReceiverThread.h"
#include "control/ReplyText.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/TempFolder.h"

using test_support::FakeMachine;

// Polls until `done` holds or about two seconds have passed.
inline bool waitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 400; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

class RecordingListener : public ReceiverListener
{
public:
    // The texts the window would show for the replies.
    void onReply(const Reply& reply) override
    {
        std::lock_guard lock(m_mutex);
        if (auto id = replyText(reply.kind))
            m_messages.push_back(*id);
        m_replies.push_back(reply);
    }
    void onIgnored(const Reply& reply) override
    {
        std::lock_guard lock(m_mutex);
        m_ignored.push_back(reply);
    }
    void onSocketFailed() override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(kListenFailedText);
    }
    std::vector<Reply> replies() const
    {
        std::lock_guard lock(m_mutex);
        return m_replies;
    }
    std::vector<Reply> ignored() const
    {
        std::lock_guard lock(m_mutex);
        return m_ignored;
    }
    void onMachineFound(const std::string& address) override
    {
        std::lock_guard lock(m_mutex);
        m_found.push_back(address);
    }
    std::vector<TextId> messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::string> found() const
    {
        std::lock_guard lock(m_mutex);
        return m_found;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<TextId> m_messages;
    std::vector<std::string> m_found;
    std::vector<Reply> m_replies;
    std::vector<Reply> m_ignored;
};

// Whether a datagram from a socket bound to 127.0.0.63 arrives with that sender. Wine binds
// every loopback address but 127.0.0.1 as 0.0.0.0, so there all senders read as 127.0.0.1.
inline bool probeLoopbackSenders()
{
    UdpSocket to;
    UdpSocket from;
    if (!to.bind("127.0.0.1", 0) || !from.bind("127.0.0.63", 0))
        return false;
    const std::vector<std::uint8_t> probe = {1, 2, 3};
    if (!from.sendTo("127.0.0.1", to.localPort(), probe))
        return false;
    std::vector<std::uint8_t> buffer(16);
    const auto received = to.receive(buffer, std::chrono::milliseconds(1000));
    return received && received->sender == "127.0.0.63";
}

inline bool loopbackSendersKept()
{
    static const bool kept = probeLoopbackSenders();
    return kept;
}

// Tests that tell machines apart by their loopback address cannot run where senders are not kept.
constexpr const char* kSendersNotKept = "this system reports every loopback sender as 127.0.0.1";
