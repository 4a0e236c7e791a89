#include "link/UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::optional<in_addr> toInAddr(std::string_view text)
{
    const auto value = parseIpv4(text);
    if (!value)
        return std::nullopt;
    in_addr addr{};
    addr.s_addr = htonl(*value);
    return addr;
}

int fdOf(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

} // namespace

void UdpSocket::close()
{
    if (m_handle != kClosed)
        ::close(fdOf(m_handle));
    m_handle = kClosed;
}

bool UdpSocket::bind(std::string_view address, std::uint16_t port, bool shareAddress)
{
    close();
    auto addr = toInAddr(address);
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
    m_handle = fd;
    return true;
}

std::uint16_t UdpSocket::localPort() const
{
    if (m_handle == kClosed)
        return 0;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fdOf(m_handle), reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::sendTo(std::string_view address, std::uint16_t port,
                       std::span<const std::uint8_t> bytes) const
{
    if (m_handle == kClosed)
        return false;
    auto addr = toInAddr(address);
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
    const ssize_t sent = ::sendto(fdOf(m_handle), bytes.data(), bytes.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == ssize_t(bytes.size());
}

std::optional<UdpSocket::Received> UdpSocket::receive(std::span<std::uint8_t> buffer,
                                                      std::chrono::milliseconds timeout) const
{
    if (m_handle == kClosed)
        return std::nullopt;
    pollfd p{};
    p.fd = fdOf(m_handle);
    p.events = POLLIN;
    const int ready = ::poll(&p, 1, int(timeout.count()));
    if (ready <= 0 || !(p.revents & POLLIN))
        return std::nullopt;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    // MSG_TRUNC reports the datagram's real length, so a longer one is noticed and dropped.
    const ssize_t n =
        ::recvfrom(fdOf(m_handle), buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
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

std::vector<std::size_t> UdpSocket::waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout)
{
    std::vector<pollfd> fds(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        const bool open = sockets[i] && sockets[i]->isOpen();
        // A negative descriptor is skipped by poll.
        fds[i] = {open ? fdOf(sockets[i]->m_handle) : -1, POLLIN, 0};
    }
    std::vector<std::size_t> ready;
    if (::poll(fds.data(), fds.size(), int(timeout.count())) <= 0)
        return ready;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents & POLLIN)
            ready.push_back(i);
    }
    return ready;
}
