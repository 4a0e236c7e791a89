#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "link/LinkSettings.h"
#include "link/LinkState.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

// What the receiver reports. Called on the receiver's own thread (onSocketFailed on the
// thread that calls start()); an implementation hands the work to its UI thread and returns
// at once, so the receiver never waits for the operator.
class ReceiverListener
{
public:
    virtual ~ReceiverListener() = default;
    // A machine's acknowledgement, as one of the system's texts.
    virtual void onMessage(TextId id) = 0;
    // A machine that answered a search and was added to the machine table.
    virtual void onMachineFound(const std::string& address) { (void)address; }
    // The listening socket could not be created; nothing will be received.
    virtual void onSocketFailed() { onMessage(TextId::ReceiverSocketFailed); }
};

// Takes in every answer of the machines on one socket and turns it into machine table
// entries, messages and the shared link state.
class ReceiverThread
{
public:
    ReceiverThread(LinkSettings settings, LinkState& state, ReceiverListener& listener);
    ~ReceiverThread();
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    // Binds 0.0.0.0:listenPort, writes the receiver's first-run defaults when the
    // configuration file is missing, and starts receiving. False (and the listener told) when
    // the socket cannot be created.
    bool start();
    // Ends the thread; returns within about one receive time-out.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The bound listening port (useful with listenPort 0), 0 before start().
    std::uint16_t port() const { return m_port; }

    // Handles one received datagram of `received` bytes in a zeroed 1024-byte buffer: decrypts
    // the whole 16-byte blocks it holds and acts on its code.
    void handleDatagram(std::span<std::uint8_t, kReceiveBufferSize> buffer, std::size_t received,
                        const std::string& sender);

private:
    void run(std::stop_token stop);
    void dispatch(std::span<const std::uint8_t> plain, const std::string& sender);

    LinkSettings m_settings;
    LinkState& m_state;
    ReceiverListener& m_listener;
    PacketCipher m_cipher;
    ConfigFile m_config;
    MachineTable m_table;
    UdpSocket m_socket;
    std::uint16_t m_port = 0;
    std::jthread m_thread;
};
