#pragma once

// A machine stand-in for the tests: one socket on a loopback address that speaks the link's
// cipher. What it takes in is decrypted as far as whole cipher blocks go (a tail stays as it
// came); what it sends is encrypted so. It reads on the test's thread (next) or keeps every
// datagram on a thread of its own, answering each as the test says (serve).

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

namespace test_support {

class FakeMachine
{
public:
    struct Datagram
    {
        std::vector<std::uint8_t> bytes; // decrypted whole blocks, then the tail as it came
        std::string sender;
        std::chrono::steady_clock::time_point arrived;

        // The decrypted whole blocks alone.
        std::vector<std::uint8_t> wholeBlocks() const
        {
            return {bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 16 * 16)};
        }
    };
    // Runs on the machine's thread for each datagram, before it is kept.
    using Answer = std::function<void(FakeMachine&, const Datagram&)>;

    // Bound to (address, port); port 0 picks a free one. send() goes to 127.0.0.1:replyPort.
    explicit FakeMachine(const std::string& address = "127.0.0.1", std::uint16_t replyPort = 0,
                         std::uint16_t port = 0, bool shareAddress = true)
        : m_cipher(defaultCipherKey()), m_replyPort(replyPort)
    {
        m_bound = m_socket.bind(address, port, shareAddress);
    }
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    bool bound() const { return m_bound; }
    std::uint16_t port() const { return m_socket.localPort(); }

    // Encrypts the whole blocks of `plain` (the rest goes as it is) and sends it.
    bool send(std::vector<std::uint8_t> plain)
    {
        m_cipher.encrypt(plain.data(), std::int32_t(plain.size() / 16 * 16));
        return m_socket.sendTo("127.0.0.1", m_replyPort, plain);
    }

    // The next datagram within `wait`, on the caller's thread.
    std::optional<Datagram> next(std::chrono::milliseconds wait = std::chrono::milliseconds(1500))
    {
        std::vector<std::uint8_t> buffer(20000, 0);
        const auto got = m_socket.receive(buffer, wait);
        if (!got)
            return std::nullopt;
        buffer.resize(got->length);
        m_cipher.decrypt(buffer.data(), std::int32_t(buffer.size() / 16 * 16));
        return Datagram{std::move(buffer), got->sender, std::chrono::steady_clock::now()};
    }

    // Keeps every datagram from now on, on a thread of its own, answering each with `answer`.
    void serve(Answer answer = {})
    {
        m_thread = std::jthread([this, answer = std::move(answer)](std::stop_token stop) {
            while (!stop.stop_requested()) {
                auto datagram = next(std::chrono::milliseconds(50));
                if (!datagram)
                    continue;
                if (answer)
                    answer(*this, *datagram);
                std::lock_guard lock(m_mutex);
                m_received.push_back(std::move(*datagram));
            }
        });
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
        while (received().size() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return received();
    }

private:
    PacketCipher m_cipher;
    UdpSocket m_socket;
    std::uint16_t m_replyPort;
    bool m_bound = false;
    mutable std::mutex m_mutex;
    std::vector<Datagram> m_received;
    std::jthread m_thread; // last, so it stops before the socket goes
};

} // namespace test_support
