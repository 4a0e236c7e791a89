#include "shop/ShopRequest.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "control/FleetStore.h"

namespace {

constexpr std::size_t kMaxQueryPairs = 16;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        char c = text[at];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (at + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[at + 1]);
            const int low = hexValue(text[at + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            at += 2;
        }
        if (c == '\0')
            return std::nullopt;
        out += c;
    }
    return out;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The Host header names this server: the listen host (or, on 127.0.0.1, "localhost"), with
// this port or none.
bool hostMatches(std::string_view header, const ShopAccess& access)
{
    const std::string host = lower(trim(header));
    const std::string port = std::to_string(access.port);
    std::vector<std::string> names{lower(access.listenHost)};
    if (isTokenFreeHost(access.listenHost)) {
        names.push_back("127.0.0.1");
        names.push_back("localhost");
    }
    for (const std::string& name : names) {
        if (host == name || host == name + ":" + port)
            return true;
    }
    return false;
}

std::string tokenOf(const ShopRequest& request, const std::map<std::string, std::string>& query)
{
    if (const auto it = query.find("token"); it != query.end())
        return it->second;
    const std::string_view header = trim(request.authorization);
    constexpr std::string_view bearer = "Bearer ";
    if (header.size() > bearer.size() && lower(header.substr(0, bearer.size())) == "bearer ")
        return std::string(trim(header.substr(bearer.size())));
    return {};
}

ShopDecision fail(int status)
{
    ShopDecision decision;
    decision.status = status;
    return decision;
}

bool validToken(std::string_view token)
{
    if (token.size() < kMinShopToken || token.size() > kMaxShopToken)
        return false;
    return std::all_of(token.begin(), token.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u != 0x7F;
    });
}

} // namespace

std::optional<std::map<std::string, std::string>> parseShopQuery(std::string_view query)
{
    if (query.size() > kMaxShopQuery)
        return std::nullopt;
    std::map<std::string, std::string> pairs;
    while (!query.empty()) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        if (pair.empty())
            continue;
        const std::size_t equals = std::min(pair.find('='), pair.size());
        auto name = percentDecode(pair.substr(0, equals));
        auto value = percentDecode(pair.substr(std::min(equals + 1, pair.size())));
        if (!name || !value || name->empty() || pairs.size() >= kMaxQueryPairs)
            return std::nullopt;
        if (!pairs.emplace(std::move(*name), std::move(*value)).second)
            return std::nullopt;
    }
    return pairs;
}

bool sameToken(std::string_view given, std::string_view expected)
{
    // Every byte of the expected token is looked at whatever the given one holds, and a
    // length difference only adds to the difference found.
    std::size_t difference = given.size() ^ expected.size();
    for (std::size_t at = 0; at < expected.size(); ++at) {
        const auto g = at < given.size() ? static_cast<unsigned char>(given[at]) : 0u;
        difference |= g ^ static_cast<unsigned char>(expected[at]);
    }
    return difference == 0;
}

std::string pickLanguage(std::string_view acceptLanguage)
{
    double bestZh = 0.0;
    double bestOther = 0.0;
    std::size_t position = 0;
    while (!acceptLanguage.empty() && position < 32) {
        const std::size_t end = std::min(acceptLanguage.find(','), acceptLanguage.size());
        const std::string_view item = trim(acceptLanguage.substr(0, end));
        acceptLanguage.remove_prefix(std::min(end + 1, acceptLanguage.size()));
        ++position;
        const std::size_t semicolon = std::min(item.find(';'), item.size());
        const std::string tag = lower(trim(item.substr(0, semicolon)));
        double q = 1.0;
        const std::string params = lower(item.substr(semicolon));
        if (const std::size_t at = params.find("q="); at != std::string::npos) {
            char* stop = nullptr;
            const std::string number = params.substr(at + 2, 5);
            q = std::strtod(number.c_str(), &stop);
            if (stop == number.c_str() || !(q >= 0.0 && q <= 1.0))
                q = 0.0;
        }
        // An earlier entry of equal weight wins: a tiny loss per position keeps the order.
        q -= static_cast<double>(position) * 1e-6;
        if (tag == "zh" || tag.rfind("zh-", 0) == 0)
            bestZh = std::max(bestZh, q);
        else if (!tag.empty() && tag != "*")
            bestOther = std::max(bestOther, q);
    }
    return bestZh > 0.0 && bestZh > bestOther ? "zh" : "en";
}

bool isTokenFreeHost(std::string_view host)
{
    return host == "127.0.0.1" || host == "localhost";
}

std::optional<std::string> loadShopToken(const std::optional<std::string>& path,
                                         std::string& error)
{
    std::string token;
    if (path) {
        std::ifstream in(*path, std::ios::binary);
        if (!in) {
            error = "cannot read the token file " + *path;
            return std::nullopt;
        }
        std::vector<char> head(kMaxShopToken + 2);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        token.assign(head.data(), static_cast<std::size_t>(in.gcount()));
        token = token.substr(0, token.find_first_of("\r\n"));
    } else if (const char* value = std::getenv("HOOPWATCH_WEB_TOKEN")) {
        token = value;
    } else {
        error = "no token: give --token-file FILE or set HOOPWATCH_WEB_TOKEN";
        return std::nullopt;
    }
    if (!validToken(token)) {
        error = "the token must be " + std::to_string(kMinShopToken) + " to " +
                std::to_string(kMaxShopToken) + " printable characters without blanks";
        return std::nullopt;
    }
    return token;
}

ShopDecision routeShopRequest(const ShopRequest& request, const ShopAccess& access)
{
    if (request.method != "GET" && request.method != "HEAD")
        return fail(405);
    if (request.path.size() > kMaxShopPath)
        return fail(414);
    const auto query = parseShopQuery(request.query);
    if (!query)
        return fail(400);
    if (access.token.empty()) {
        if (!hostMatches(request.host, access))
            return fail(421);
    } else if (!sameToken(tokenOf(request, *query), access.token)) {
        return fail(401);
    }

    ShopDecision decision;
    decision.status = 200;
    if (request.path == "/" || request.path == "/index.html") {
        decision.route = ShopRoute::Page;
        const auto lang = query->find("lang");
        if (lang != query->end() && (lang->second == "zh" || lang->second == "en"))
            decision.language = lang->second;
        else
            decision.language = pickLanguage(request.acceptLanguage);
    } else if (request.path == "/events") {
        decision.route = ShopRoute::Events;
    } else if (request.path == "/machines.json") {
        decision.route = ShopRoute::Machines;
    } else if (request.path == "/drawing.png") {
        const auto address = query->find("address");
        const auto canonical =
            address == query->end() ? std::nullopt : canonicalAddress(address->second);
        if (!canonical)
            return fail(400);
        decision.route = ShopRoute::Drawing;
        decision.address = *canonical;
    } else {
        return fail(404);
    }
    return decision;
}

std::optional<ListenAddress> parseListenAddress(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon + 1 >= text.size() || text.size() - colon > 6)
        return std::nullopt;
    int port = 0;
    for (const char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port > 65535)
        return std::nullopt;
    std::string host(text.substr(0, colon));
    if (host != "localhost") {
        const auto canonical = canonicalAddress(host);
        if (!canonical)
            return std::nullopt;
        host = *canonical;
    }
    return ListenAddress{host, port};
}
