#include "link/LocalAddress.h"

#include <vector>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

namespace {

// The adapter list, grown until it fits (the list can change between two calls).
std::vector<unsigned char> adapterList()
{
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        buffer.assign(size, 0);
        const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                            GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
        const ULONG result = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (result == NO_ERROR)
            return buffer;
        if (result != ERROR_BUFFER_OVERFLOW)
            break;
    }
    return {};
}

} // namespace

std::string localAddress()
{
    const std::vector<unsigned char> buffer = adapterList();
    if (buffer.empty())
        return {};
    std::string loopback;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp)
            continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            if (!sa || sa->sa_family != AF_INET)
                continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
            char text[INET_ADDRSTRLEN] = {};
            if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
                continue;
            if (a->IfType != IF_TYPE_SOFTWARE_LOOPBACK)
                return text;
            if (loopback.empty())
                loopback = text;
        }
    }
    return loopback;
}
