#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// An IPv4 UDP socket that closes itself (POSIX sockets or Winsock 2, chosen at build time). With
// HOOPWATCH_LOOPBACK_ONLY=1 in the environment, sends to addresses outside 127.0.0.0/8 are refused.
class UdpSocket
{
public:
    struct Received
    {
        std::size_t length = 0; // bytes placed in the buffer
        std::string sender;     // dotted-decimal address of the sender
        std::uint16_t senderPort = 0;
    };

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // A socket on an ephemeral port of all local addresses (of 127.0.0.1 alone under
    // HOOPWATCH_LOOPBACK_ONLY=1, see bindAddressFor()).
    bool open();
    // A socket bound to (address, port) exactly as given; port 0 picks a free one. With `shareAddress` it sets
    // SO_REUSEADDR; without, a port that another socket holds makes the bind fail.
    bool bind(std::string_view address, std::uint16_t port, bool shareAddress = true);
    bool isOpen() const { return m_handle != kClosed; }
    void close();
    // The bound local port, 0 when closed.
    std::uint16_t localPort() const;

    // One datagram to a dotted-decimal address. False when the socket is closed, the address
    // text is not an IPv4 address, the destination is refused, or the send fails.
    bool sendTo(std::string_view address, std::uint16_t port,
                std::span<const std::uint8_t> bytes) const;

    // Waits up to `timeout` for one datagram. nullopt on time-out, on error, and for a datagram
    // longer than `buffer` (it is dropped whole; the buffer's content is then undefined).
    std::optional<Received> receive(std::span<std::uint8_t> buffer,
                                    std::chrono::milliseconds timeout) const;

    // Waits up to `timeout` until at least one of `sockets` holds a datagram; the indices of
    // those that do, empty on time-out or error. Closed sockets are never ready.
    static std::vector<std::size_t> waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout);

private:
    // A file descriptor or a Winsock SOCKET, which is pointer-sized.
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed;
};

// True when HOOPWATCH_LOOPBACK_ONLY=1 is set.
bool loopbackOnly();
// The address to bind when `address` is wanted: under HOOPWATCH_LOOPBACK_ONLY=1 any address
// outside 127.0.0.0/8, the wildcard 0.0.0.0 included, becomes 127.0.0.1, so no socket of the
// programs listens beyond loopback. open() and the answer sockets bind through it.
std::string_view bindAddressFor(std::string_view address);
// True for dotted-decimal IPv4 text ("a.b.c.d": four numbers 0 to 255 without leading zeros).
bool isIpv4Address(std::string_view address);
// True for dotted-decimal text inside 127.0.0.0/8.
bool isLoopbackAddress(std::string_view address);
// The four bytes of dotted-decimal IPv4 text, most significant first; nullopt otherwise.
std::optional<std::uint32_t> parseIpv4(std::string_view address);
