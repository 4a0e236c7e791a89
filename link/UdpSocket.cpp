#include "link/UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::optional<in_addr> parseAddress(std::string_view text)
{
    if (text.size() > INET_ADDRSTRLEN)
        return std::nullopt;
    const std::string zeroTerminated(text);
    in_addr addr{};
    if (inet_pton(AF_INET, zeroTerminated.c_str(), &addr) != 1)
        return std::nullopt;
    return addr;
}

} // namespace

bool loopbackOnly()
{
    const char* value = std::getenv("HOOPWATCH_LOOPBACK_ONLY");
    return value && std::strcmp(value, "1") == 0;
}

bool isIpv4Address(std::string_view address)
{
    return parseAddress(address).has_value();
}

bool isLoopbackAddress(std::string_view address)
{
    auto addr = parseAddress(address);
    return addr && (ntohl(addr->s_addr) >> 24) == 127;
}

UdpSocket::~UdpSocket()
{
    close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void UdpSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool UdpSocket::open()
{
    return bind("0.0.0.0", 0);
}

bool UdpSocket::bind(std::string_view address, std::uint16_t port, bool shareAddress)
{
    close();
    auto addr = parseAddress(address);
    if (!addr)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int yes = 1;
    if (shareAddress)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr = *addr;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

std::uint16_t UdpSocket::localPort() const
{
    if (m_fd < 0)
        return 0;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::sendTo(std::string_view address, std::uint16_t port,
                       std::span<const std::uint8_t> bytes) const
{
    if (m_fd < 0)
        return false;
    auto addr = parseAddress(address);
    if (!addr)
        return false;
    if ((ntohl(addr->s_addr) >> 24) != 127 && loopbackOnly()) {
        std::fprintf(stderr, "hoopwatch: loopback only, send to %.*s refused\n",
                     int(address.size()), address.data());
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = *addr;
    const ssize_t sent = ::sendto(m_fd, bytes.data(), bytes.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == ssize_t(bytes.size());
}

std::optional<UdpSocket::Received> UdpSocket::receive(std::span<std::uint8_t> buffer,
                                                      std::chrono::milliseconds timeout) const
{
    if (m_fd < 0)
        return std::nullopt;
    pollfd p{};
    p.fd = m_fd;
    p.events = POLLIN;
    const int ready = ::poll(&p, 1, int(timeout.count()));
    if (ready <= 0 || !(p.revents & POLLIN))
        return std::nullopt;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    // MSG_TRUNC reports the datagram's real length, so a longer one is noticed and dropped.
    const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0 || std::size_t(n) > buffer.size())
        return std::nullopt;
    Received r;
    r.length = std::size_t(n);
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text))
        r.sender = text;
    r.senderPort = ntohs(from.sin_port);
    return r;
}
