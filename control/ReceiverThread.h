#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "link/PacketCipher.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"

// What the receive loop reports. Called on the receiver's own thread (onSocketFailed on the
// thread that opens the socket); an implementation hands the work to its UI thread and returns
// at once, so the receiver never waits for the operator. Every report names the sender, so a
// listener can tell the machines apart.
class ReceiverListener
{
public:
    virtual ~ReceiverListener() = default;
    // Asked before a reply changes anything; a reply refused here is reported as ignored
    // (NotAsked) and leaves the shared state alone.
    virtual bool accepts(const Reply& reply)
    {
        (void)reply;
        return true;
    }
    // A reply that was taken in, after the shared link state has been updated from it.
    virtual void onReply(const Reply& reply) = 0;
    // A datagram that was not a reply, with the reason.
    virtual void onIgnored(const Reply& reply) { (void)reply; }
    // A machine that answered a search and was added to the machine table.
    virtual void onMachineFound(const std::string& address) { (void)address; }
    // The listening socket could not be created; nothing will be received.
    virtual void onSocketFailed() {}
};

// The receive loop: takes in every answer of the machines on one socket, decodes it, keeps the
// shared link state up to date and hands the typed reply to the listener.
class ReceiverThread
{
public:
    ReceiverThread(LinkSettings settings, LinkState& state, ReceiverListener& listener);
    ~ReceiverThread();
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    // Binds 0.0.0.0:listenPort. False (and the listener told) when the socket cannot be
    // created.
    bool open();
    // Opens the socket when that has not been done, then starts receiving.
    bool start();
    // Ends the thread; returns within about one receive time-out.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The bound listening port (useful with listenPort 0), 0 before open().
    std::uint16_t port() const { return m_port; }

    // Handles one received datagram of `received` bytes in a zeroed 1024-byte buffer.
    void handleDatagram(std::span<std::uint8_t, kReceiveBufferSize> buffer, std::size_t received,
                        const std::string& sender);

private:
    void run(std::stop_token stop);

    LinkSettings m_settings;
    LinkState& m_state;
    ReceiverListener& m_listener;
    PacketCipher m_cipher;
    UdpSocket m_socket;
    std::uint16_t m_port = 0;
    std::jthread m_thread;
};
