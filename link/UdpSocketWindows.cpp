#include "link/UdpSocket.h"

#include <cstdio>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>

namespace {

// Not every SDK's headers name this control code.
constexpr DWORD kUdpConnReset = _WSAIOW(IOC_VENDOR, 12);

// Winsock is started once per process, before the first socket, and stays up until exit.
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::optional<in_addr> toInAddr(std::string_view text)
{
    const auto value = parseIpv4(text);
    if (!value)
        return std::nullopt;
    in_addr addr{};
    addr.s_addr = htonl(*value);
    return addr;
}

SOCKET socketOf(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

} // namespace

void UdpSocket::close()
{
    if (m_handle != kClosed)
        ::closesocket(socketOf(m_handle));
    m_handle = kClosed;
}

bool UdpSocket::bind(std::string_view address, std::uint16_t port, bool shareAddress)
{
    close();
    auto addr = toInAddr(address);
    if (!addr || !winsockStarted())
        return false;
    const SOCKET s =
        ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return false;
    const BOOL yes = TRUE;
    if (shareAddress)
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    // Without this, an ICMP "port unreachable" for an earlier send makes the next receive
    // fail with WSAECONNRESET, and a search of addresses without a machine would stop early.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, kUdpConnReset, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr,
               nullptr);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr = *addr;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::closesocket(s);
        return false;
    }
    m_handle = static_cast<std::intptr_t>(s);
    return true;
}

std::uint16_t UdpSocket::localPort() const
{
    if (m_handle == kClosed)
        return 0;
    sockaddr_in local{};
    int len = sizeof local;
    if (::getsockname(socketOf(m_handle), reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::sendTo(std::string_view address, std::uint16_t port,
                       std::span<const std::uint8_t> bytes) const
{
    if (m_handle == kClosed || bytes.size() > 65535)
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
    const int sent =
        ::sendto(socketOf(m_handle), reinterpret_cast<const char*>(bytes.data()), int(bytes.size()),
                 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == int(bytes.size());
}

std::optional<UdpSocket::Received> UdpSocket::receive(std::span<std::uint8_t> buffer,
                                                      std::chrono::milliseconds timeout) const
{
    if (m_handle == kClosed)
        return std::nullopt;
    WSAPOLLFD p{};
    p.fd = socketOf(m_handle);
    p.events = POLLRDNORM;
    const int ready = ::WSAPoll(&p, 1, int(timeout.count()));
    if (ready <= 0 || !(p.revents & POLLRDNORM))
        return std::nullopt;
    sockaddr_in from{};
    int fromLen = sizeof from;
    const int capacity = buffer.size() > 65536 ? 65536 : int(buffer.size());
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is dropped whole.
    const int n = ::recvfrom(socketOf(m_handle), reinterpret_cast<char*>(buffer.data()), capacity,
                             0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0)
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
    std::vector<WSAPOLLFD> fds;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (!sockets[i] || !sockets[i]->isOpen())
            continue;
        WSAPOLLFD p{};
        p.fd = socketOf(sockets[i]->m_handle);
        p.events = POLLRDNORM;
        fds.push_back(p);
        index.push_back(i);
    }
    std::vector<std::size_t> ready;
    if (fds.empty()) {
        ::Sleep(DWORD(timeout.count()));
        return ready;
    }
    if (::WSAPoll(fds.data(), ULONG(fds.size()), int(timeout.count())) <= 0)
        return ready;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents & POLLRDNORM)
            ready.push_back(index[i]);
    }
    return ready;
}
