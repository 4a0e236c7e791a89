#include "control/ReceiverThread.h"

#include <array>
#include <chrono>

namespace {

// Short enough that a stop takes effect promptly.
constexpr std::chrono::milliseconds kReceiveTimeout{100};

} // namespace

ReceiverThread::ReceiverThread(LinkSettings settings, LinkState& state, ReceiverListener& listener)
    : m_settings(std::move(settings)), m_state(state), m_listener(listener),
      m_cipher(m_settings.key)
{
}

ReceiverThread::~ReceiverThread()
{
    stop();
}

bool ReceiverThread::open()
{
    if (m_socket.isOpen())
        return true;
    // Exclusive: a second receiver on the same port (another instance of the application)
    // must fail visibly rather than share the machines' answers unnoticed.
    if (!m_socket.bind(bindAddressFor("0.0.0.0"), m_settings.listenPort, false)) {
        m_listener.onSocketFailed();
        return false;
    }
    m_port = m_socket.localPort();
    return true;
}

bool ReceiverThread::start()
{
    if (m_thread.joinable())
        return true;
    if (!open())
        return false;
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    return true;
}

void ReceiverThread::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_socket.close();
}

void ReceiverThread::run(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        // A fresh zeroed buffer for every datagram: nothing of an earlier one can be read.
        std::array<std::uint8_t, kReceiveBufferSize> buffer{};
        auto received = m_socket.receive(buffer, kReceiveTimeout);
        if (!received)
            continue;
        handleDatagram(buffer, received->length, received->sender);
    }
}

void ReceiverThread::handleDatagram(std::span<std::uint8_t, kReceiveBufferSize> buffer,
                                    std::size_t received, const std::string& sender)
{
    Reply reply = decodeReply(buffer, received, sender, m_cipher);
    if (reply.kind != ReplyKind::Ignored && !m_listener.accepts(reply)) {
        reply.kind = ReplyKind::Ignored;
        reply.ignored = IgnoreReason::NotAsked;
    }
    if (reply.kind == ReplyKind::Ignored) {
        m_listener.onIgnored(reply);
        return;
    }
    m_state.applyReply(reply);
    m_listener.onReply(reply);
}
