#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/FleetStore.h"
#include "shop/ShopRequest.h"

namespace {

constexpr std::string_view kToken = "k3Y-0123456789abcdef";

// The input's lines are the request's fields in order; missing ones stay empty.
ShopRequest requestOf(std::string_view text)
{
    std::vector<std::string> fields;
    while (fields.size() < 6) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        fields.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
}

bool carriesToken(const ShopRequest& request)
{
    const auto query = parseShopQuery(request.query);
    if (query) {
        const auto it = query->find("token");
        if (it != query->end() && it->second == kToken)
            return true;
    }
    return request.authorization.find(kToken) != std::string::npos;
}

} // namespace

// Whatever a stranger sends: the router answers without crashing, lets nothing through
// without the token when one is set, never without the right Host when none is, and picks
// one of the two languages.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ShopRequest request = requestOf(text);

    const ShopDecision guarded =
        routeShopRequest(request, ShopAccess{std::string(kToken), "127.0.0.2", 8041});
    if (guarded.route != ShopRoute::Error && !carriesToken(request))
        __builtin_trap();
    if ((guarded.route == ShopRoute::Error) == (guarded.status == 200))
        __builtin_trap();

    const ShopDecision open = routeShopRequest(request, ShopAccess{"", "127.0.0.1", 8041});
    std::string host = request.host;
    for (char& c : host)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (open.route != ShopRoute::Error && host.find("127.0.0.1") == std::string::npos &&
        host.find("localhost") == std::string::npos)
        __builtin_trap();
    if (open.route == ShopRoute::Page && open.language != "zh" && open.language != "en")
        __builtin_trap();
    if (open.route == ShopRoute::Drawing && open.address.empty())
        __builtin_trap();

    const std::string language = pickLanguage(text);
    if (language != "zh" && language != "en")
        __builtin_trap();
    if (sameToken(text, kToken) != (text == kToken))
        __builtin_trap();
    if (const auto listen = parseListenAddress(text)) {
        if (listen->port < 0 || listen->port > 65535 ||
            (listen->host != "localhost" && canonicalAddress(listen->host) != listen->host))
            __builtin_trap();
    }
    return 0;
}
