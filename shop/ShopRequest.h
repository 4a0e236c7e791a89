#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// A request as the shop-floor server sees it, taken apart by the HTTP library; everything in
// it comes from a stranger.
struct ShopRequest
{
    std::string method;
    std::string path;  // without the query
    std::string query; // raw, after '?'
    std::string host;  // the Host header, empty when absent
    std::string acceptLanguage;
    std::string authorization; // the Authorization header, empty when absent
};

enum class ShopRoute {
    Page,     // the fleet page
    Events,   // the Server-Sent Events stream
    Machines, // the fleet as one JSON array
    Drawing,  // a machine's progress picture
    Error,    // answered with `status` and nothing else
};

struct ShopDecision
{
    ShopRoute route = ShopRoute::Error;
    int status = 404;
    std::string address;  // Drawing: the machine, canonical
    std::string language; // Page: "zh" or "en"
};

// Who may read the page: the token (empty: none needed) and the host names a request may
// name in its Host header, each with the port.
struct ShopAccess
{
    std::string token;
    std::string listenHost;
    int port = 0;
};

// Longest query and path the router looks at; longer requests are refused.
inline constexpr std::size_t kMaxShopQuery = 1024;
inline constexpr std::size_t kMaxShopPath = 256;
// Tokens shorter than this are refused when read, so none can be guessed in a few tries.
inline constexpr std::size_t kMinShopToken = 16;
inline constexpr std::size_t kMaxShopToken = 256;

// Decides what a request gets: 405 for anything but GET and HEAD, 421 for a Host header that
// names another host (a page of another site must not read this one through a renamed host),
// 401 without the right token (query "token" or "Authorization: Bearer"), 400 for a
// malformed query or address, 404 for unknown paths. Never throws.
ShopDecision routeShopRequest(const ShopRequest& request, const ShopAccess& access);

// Query "a=b&c=d" with percent escapes and '+' for blanks; nullopt when malformed (a bad
// escape, a NUL, a repeated name, more than 16 pairs or longer than kMaxShopQuery).
std::optional<std::map<std::string, std::string>> parseShopQuery(std::string_view query);

// Equal texts, compared in time that depends only on their lengths.
bool sameToken(std::string_view given, std::string_view expected);

// "zh" when Chinese ranks first among the languages the header names (by q value), else "en".
std::string pickLanguage(std::string_view acceptLanguage);

// The token from the environment (HOOPWATCH_WEB_TOKEN) or, when `path` is given, the first line
// of that file. nullopt with `error` set when the file cannot be read, or the token is shorter
// than kMinShopToken, longer than kMaxShopToken, or holds blanks or control characters.
std::optional<std::string> loadShopToken(const std::optional<std::string>& path,
                                         std::string& error);

// True for listen addresses that need no token: the loopback address 127.0.0.1 and
// "localhost" only.
bool isTokenFreeHost(std::string_view host);

struct ListenAddress
{
    std::string host; // canonical IPv4 address or "localhost"
    int port = 0;
};
// "ADDR:PORT" with an IPv4 address or "localhost" and a port 0 to 65535 (0: any free port).
std::optional<ListenAddress> parseListenAddress(std::string_view text);
