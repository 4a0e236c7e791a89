#include "link/UdpSocket.h"

#include <cstdlib>
#include <cstring>

// The parts every platform shares: ownership of the socket, the loopback guard and the address
// text.

UdpSocket::~UdpSocket()
{
    close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = kClosed;
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        other.m_handle = kClosed;
    }
    return *this;
}

bool UdpSocket::open()
{
    return bind(bindAddressFor("0.0.0.0"), 0);
}

bool loopbackOnly()
{
    const char* value = std::getenv("HOOPWATCH_LOOPBACK_ONLY");
    return value && std::strcmp(value, "1") == 0;
}

std::string_view bindAddressFor(std::string_view address)
{
    if (loopbackOnly() && isIpv4Address(address) && !isLoopbackAddress(address))
        return "127.0.0.1";
    return address;
}

std::optional<std::uint32_t> parseIpv4(std::string_view address)
{
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= address.size() || address[at] != '.')
                return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        std::uint32_t number = 0;
        while (at < address.size() && address[at] >= '0' && address[at] <= '9' && at - start < 3) {
            number = number * 10 + std::uint32_t(address[at] - '0');
            ++at;
        }
        const std::size_t digits = at - start;
        // "010" would be octal to some readers and decimal to others: neither is believed.
        if (digits == 0 || number > 255 || (digits > 1 && address[start] == '0'))
            return std::nullopt;
        value = (value << 8) | number;
    }
    if (at != address.size())
        return std::nullopt;
    return value;
}

bool isIpv4Address(std::string_view address)
{
    return parseIpv4(address).has_value();
}

bool isLoopbackAddress(std::string_view address)
{
    const auto value = parseIpv4(address);
    return value && (*value >> 24) == 127;
}
