#include "link/LocalAddress.h"

#include <arpa/inet.h>
#include <array>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

std::string localAddress()
{
    // Room for any host name, with a terminator guaranteed.
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.data(), nullptr, &hints, &found) != 0 || !found)
        return {};
    std::string text;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        char buffer[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer))
            text = buffer;
        break;
    }
    ::freeaddrinfo(found);
    return text;
}
