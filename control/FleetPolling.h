#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "control/FleetMonitor.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

// Sends the fleet's status queries: the plain StatusQuery command, encrypted, to the machine
// port of each address, all from one socket that stays open. The answers come back to the
// receiver like those of every other request.
class StatusQuerySender
{
public:
    // `state`, when given, supplies the design number the queries carry, as for the main view.
    explicit StatusQuerySender(LinkSettings settings, const LinkState* state = nullptr);
    StatusQuerySender(const StatusQuerySender&) = delete;
    StatusQuerySender& operator=(const StatusQuerySender&) = delete;

    // False when the socket cannot be opened or the datagram cannot be sent (a refused
    // address included).
    bool send(const std::string& address);

private:
    LinkSettings m_settings;
    const LinkState* m_state;
    PacketCipher m_cipher;
    std::mutex m_mutex;
    UdpSocket m_socket;
};

// Calls the monitor's tick() every period on a thread of its own.
class FleetTicker
{
public:
    static constexpr std::chrono::milliseconds kDefaultPeriod{20};

    explicit FleetTicker(FleetMonitor& monitor, std::chrono::milliseconds period = kDefaultPeriod);
    // Stops and joins.
    ~FleetTicker();
    FleetTicker(const FleetTicker&) = delete;
    FleetTicker& operator=(const FleetTicker&) = delete;

    void start();
    // Returns within one period.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

private:
    FleetMonitor& m_monitor;
    std::chrono::milliseconds m_period;
    std::jthread m_thread;
};
