#include "shop/ShopServer.h"

#include <algorithm>

#include <httplib.h>

#include "shop/ShopPage.h"

namespace {

constexpr std::size_t kMaxRequestBody = 1024;

const char* reasonText(int status)
{
    switch (status) {
    case 400:
        return "bad request";
    case 401:
        return "unauthorized";
    case 404:
        return "not found";
    case 405:
        return "method not allowed";
    case 414:
        return "request target too long";
    case 421:
        return "misdirected request";
    case 503:
        return "too many streams";
    default:
        return "error";
    }
}

void setCommonHeaders(httplib::Response& response)
{
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    // The token may ride in the address; it must not leave with a link.
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("X-Frame-Options", "DENY");
}

void setError(httplib::Response& response, int status)
{
    response.status = status;
    if (status == 405)
        response.set_header("Allow", "GET, HEAD");
    response.set_content(std::string(reasonText(status)) + "\n", "text/plain; charset=utf-8");
}

ShopRequest shopRequestOf(const httplib::Request& request)
{
    ShopRequest out;
    out.method = request.method;
    const std::size_t question = request.target.find('?');
    out.path = request.target.substr(0, question);
    if (question != std::string::npos)
        out.query = request.target.substr(question + 1);
    out.host = request.get_header_value("Host");
    out.acceptLanguage = request.get_header_value("Accept-Language");
    out.authorization = request.get_header_value("Authorization");
    return out;
}

} // namespace

struct ShopServer::Impl
{
    httplib::Server server;
};

ShopServer::ShopServer(ShopServerSettings settings, ShopFeed& feed, ShopDrawings& drawings)
    : m_settings(std::move(settings)), m_feed(feed), m_drawings(drawings),
      m_impl(std::make_unique<Impl>())
{
}

ShopServer::~ShopServer()
{
    stop();
}

bool ShopServer::start(std::string& error)
{
    if (m_settings.token.empty() && !isTokenFreeHost(m_settings.host)) {
        error = "listening on " + m_settings.host + " needs a token";
        return false;
    }
    httplib::Server& server = m_impl->server;
    const int threads = m_settings.maxStreams + m_settings.otherWorkers;
    server.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    server.set_payload_max_length(kMaxRequestBody);
    server.set_read_timeout(m_settings.ioTimeout.count(), 0);
    server.set_write_timeout(m_settings.ioTimeout.count(), 0);
    server.set_keep_alive_timeout(m_settings.ioTimeout.count());
    server.set_keep_alive_max_count(100);

    server.set_pre_routing_handler([this](const httplib::Request& request,
                                          httplib::Response& response) {
        ShopAccess access{m_settings.token, m_settings.host, m_port};
        const ShopDecision decision = routeShopRequest(shopRequestOf(request), access);
        setCommonHeaders(response);
        const bool head = request.method == "HEAD";
        switch (decision.route) {
        case ShopRoute::Error:
            setError(response, decision.status);
            break;
        case ShopRoute::Page:
            response.set_header("Content-Security-Policy",
                                "default-src 'none'; script-src 'unsafe-inline'; style-src "
                                "'unsafe-inline'; img-src 'self'; connect-src 'self'; "
                                "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
            response.set_content(shopPage(decision.language), "text/html; charset=utf-8");
            break;
        case ShopRoute::Machines: {
            std::uint64_t since = 0;
            const std::string all = m_feed.changesSince(since);
            response.set_content(all.empty() ? "{\"machines\":[]}" : all,
                                 "application/json; charset=utf-8");
            break;
        }
        case ShopRoute::Drawing: {
            const auto machine = m_feed.machine(decision.address);
            const auto png = machine ? m_drawings.png(*machine) : std::nullopt;
            if (!png)
                setError(response, 404);
            else
                response.set_content(*png, "image/png");
            break;
        }
        case ShopRoute::Events: {
            if (head) {
                response.set_content("", "text/event-stream");
                break;
            }
            if (m_streams.fetch_add(1) >= m_settings.maxStreams) {
                m_streams.fetch_sub(1);
                setError(response, 503);
                response.set_header("Retry-After", "10");
                break;
            }
            const auto endAt = std::chrono::steady_clock::now() + m_settings.streamLife;
            auto since = std::make_shared<std::uint64_t>(0);
            response.set_chunked_content_provider(
                "text/event-stream",
                [this, since, endAt](std::size_t, httplib::DataSink& sink) {
                    if (m_feed.stopped() || std::chrono::steady_clock::now() >= endAt) {
                        sink.done();
                        return true;
                    }
                    std::string message;
                    if (*since == 0 ||
                        m_feed.waitForChange(*since, std::chrono::duration_cast<
                                                         std::chrono::milliseconds>(
                                                         m_settings.heartbeat))) {
                        std::chrono::steady_clock::duration age{};
                        const std::string data = m_feed.changesSince(*since, &age);
                        if (!data.empty()) {
                            // The wall-clock time of sending lets a client on the same PC
                            // measure the delivery.
                            const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::system_clock::now().time_since_epoch())
                                                .count();
                            message = "data: " + data.substr(0, data.size() - 1) +
                                      ",\"at\":" + std::to_string(at) + "}\n\n";
                            countAge(age);
                        }
                    }
                    if (m_feed.stopped()) {
                        sink.done();
                        return true;
                    }
                    if (message.empty())
                        message = ": keep-alive\n\n";
                    return sink.write(message.data(), message.size());
                },
                [this](bool) { m_streams.fetch_sub(1); });
            break;
        }
        }
        return httplib::Server::HandlerResponse::Handled;
    });

    const int port = m_settings.port == 0 ? server.bind_to_any_port(m_settings.host)
                                          : (server.bind_to_port(m_settings.host, m_settings.port)
                                                 ? m_settings.port
                                                 : -1);
    if (port <= 0) {
        error = "cannot listen on " + m_settings.host + ":" + std::to_string(m_settings.port);
        return false;
    }
    m_port = port;
    m_thread = std::thread([&server] { server.listen_after_bind(); });
    return true;
}

void ShopServer::stop()
{
    if (!m_thread.joinable())
        return;
    m_feed.stop();
    m_impl->server.stop();
    m_thread.join();
}

void ShopServer::countAge(std::chrono::steady_clock::duration age)
{
    const auto step = std::chrono::duration_cast<std::chrono::milliseconds>(age).count() / 10;
    const std::lock_guard lock(m_statsMutex);
    m_ages[static_cast<std::size_t>(std::clamp<long long>(step, 0, 1000))] += 1;
}

std::string ShopServer::deliveryStats() const
{
    const std::lock_guard lock(m_statsMutex);
    std::uint64_t total = 0;
    for (const std::uint64_t n : m_ages)
        total += n;
    const auto percentile = [&](double share) {
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < m_ages.size(); ++i) {
            seen += m_ages[i];
            if (total > 0 && static_cast<double>(seen) >= share * static_cast<double>(total))
                return static_cast<long long>(i) * 10;
        }
        return 0LL;
    };
    return std::to_string(total) + " messages to streams; answer age when sent: median " +
           std::to_string(percentile(0.5)) + " ms, 99th percentile " +
           std::to_string(percentile(0.99)) + " ms, most " + std::to_string(percentile(1.0)) +
           " ms";
}
