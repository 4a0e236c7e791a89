#pragma once

// Shared helpers of the panel tests: the window tests' QApplication and settings file, and an
// in-process machine that records what arrives on a loopback port.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigFile.h"
#include "control/LinkSettings.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "UiTestSupport.h"

namespace panel_test {

using ui_test::ensureApplication;
using ui_test::TempConfig;

// A machine on 127.0.0.1 and a free port that keeps every datagram, decrypted as far as
// whole cipher blocks go, with its arrival time.
class FakeMachine
{
public:
    struct Datagram
    {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point arrived;
    };

    explicit FakeMachine(const std::string& address = "127.0.0.1", std::uint16_t port = 0)
        : m_cipher(defaultCipherKey())
    {
        m_socket.bind(address, port);
        m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    std::uint16_t port() const { return m_socket.localPort(); }

    LinkSettings settings(const ConfigFile& config) const
    {
        LinkSettings s;
        s.machinePort = m_socket.localPort();
        s.listenPort = 0;
        s.configPath = config.path();
        return s;
    }

    std::vector<Datagram> received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    // Waits (bounded) until at least n datagrams have arrived.
    std::vector<Datagram> waitFor(std::size_t n, std::chrono::milliseconds limit) const
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (received().size() >= n) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return received();
    }

private:
    void run(std::stop_token stop)
    {
        std::vector<std::uint8_t> buffer(20000);
        while (!stop.stop_requested()) {
            const auto got = m_socket.receive(buffer, std::chrono::milliseconds(50));
            if (!got) {
                continue;
            }
            Datagram datagram{{buffer.begin(), buffer.begin() + std::ptrdiff_t(got->length)},
                              std::chrono::steady_clock::now()};
            const auto whole = static_cast<std::int32_t>(got->length / 16 * 16);
            m_cipher.decrypt(datagram.bytes.data(), whole);
            std::lock_guard lock(m_mutex);
            m_received.push_back(std::move(datagram));
        }
    }

    PacketCipher m_cipher;
    UdpSocket m_socket;
    mutable std::mutex m_mutex;
    std::vector<Datagram> m_received;
    std::jthread m_thread;
};

inline std::int32_t readI32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::int32_t(std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
                        std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24);
}

} // namespace panel_test
