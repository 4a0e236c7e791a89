#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <httplib.h>
#include <gtest/gtest.h>

#include "shop/ShopServer.h"

namespace {

FleetMachine sewing(std::int32_t stitch)
{
    FleetMachine m;
    m.address = "127.0.0.7";
    m.online = true;
    m.answered = true;
    m.work = 1;
    m.stitch = stitch;
    return m;
}

struct Running
{
    explicit Running(ShopServerSettings settings) : server(std::move(settings), feed, drawings)
    {
        feed.update({sewing(1)});
        std::string error;
        started = server.start(error);
        EXPECT_TRUE(started) << error;
    }
    httplib::Client client(const std::string& host) const
    {
        httplib::Client c(host, server.port());
        c.set_connection_timeout(2);
        c.set_read_timeout(5);
        return c;
    }
    ShopFeed feed;
    ShopDrawings drawings{{}};
    ShopServer server;
    bool started = false;
};

TEST(ShopServer, AnswersThePageAndRefusesTheRest)
{
    ShopServerSettings settings;
    settings.port = 0;
    Running run(settings);
    ASSERT_TRUE(run.started);
    auto client = run.client("127.0.0.1");
    const std::string port = std::to_string(run.server.port());
    struct Case
    {
        const char* method;
        const char* path;
        std::string host;
        int status;
    };
    const Case cases[] = {
        {"GET", "/", "127.0.0.1:" + port, 200},
        {"GET", "/machines.json", "localhost:" + port, 200},
        {"GET", "/", "attacker.example:" + port, 421},
        {"GET", "/drawing.png?address=127.0.0.7", "127.0.0.1:" + port, 404},
        {"GET", "/drawing.png?address=x", "127.0.0.1:" + port, 400},
        {"GET", "/nothing", "127.0.0.1:" + port, 404},
        {"DELETE", "/", "127.0.0.1:" + port, 405},
    };
    for (const Case& c : cases) {
        httplib::Request request;
        request.method = c.method;
        request.path = c.path;
        request.set_header("Host", c.host);
        const auto result = client.send(request);
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->status, c.status) << c.method << " " << c.path << " " << c.host;
        EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff");
    }
    const auto page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("EventSource"), std::string::npos);
    EXPECT_FALSE(page->get_header_value("Content-Security-Policy").empty());
    // Requests too large to be the page's are turned away before anything looks at them.
    const auto body = client.Post("/", std::string(64 * 1024, 'x'), "text/plain");
    const auto target = client.Get("/?a=" + std::string(20000, 'x'));
    ASSERT_TRUE(body && target);
    EXPECT_EQ(body->status, 405);
    EXPECT_EQ(target->status, 414);
}

TEST(ShopServer, StreamsChangesAndBoundsTheStreams)
{
    ShopServerSettings settings;
    settings.port = 0;
    settings.maxStreams = 1;
    Running run(settings);
    ASSERT_TRUE(run.started);

    std::promise<void> firstSeen;
    std::string received;
    auto stream = std::async(std::launch::async, [&] {
        auto client = run.client("127.0.0.1");
        bool told = false;
        return client.Get("/events", [&](const char* data, std::size_t size) {
            received.append(data, size);
            if (!told && received.find("\"stitch\":1,") != std::string::npos) {
                told = true;
                firstSeen.set_value();
            }
            // Ends the stream once the change arrived.
            return received.find("\"stitch\":2,") == std::string::npos;
        });
    });
    ASSERT_EQ(firstSeen.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(run.server.openStreams(), 1);
    const auto refused = run.client("127.0.0.1").Get("/events");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);

    run.feed.update({sewing(2)});
    ASSERT_EQ(stream.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_NE(received.find("data: {\"reset\":false,\"machines\":[{"
                            "\"address\":\"127.0.0.7\",\"name\":null"),
              std::string::npos);
    // The stream's place is free again once the server saw the client go.
    for (int i = 0; i < 100 && run.server.openStreams() != 0; ++i) {
        run.feed.update({sewing(3 + i)});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(run.server.openStreams(), 0);
}

TEST(ShopServer, AnotherAddressNeedsTheToken)
{
    ShopServerSettings settings;
    settings.host = "127.0.0.2";
    settings.port = 0;
    {
        ShopFeed feed;
        ShopDrawings drawings{{}};
        ShopServer tokenless(settings, feed, drawings);
        std::string error;
        EXPECT_FALSE(tokenless.start(error));
        EXPECT_NE(error.find("token"), std::string::npos);
    }
    settings.token = "0123456789abcdef-token";
    Running run(settings);
    ASSERT_TRUE(run.started);
    auto client = run.client("127.0.0.2");
    for (const char* path : {"/", "/events", "/machines.json?token=0123456789abcdef-tokeN"}) {
        const auto refused = client.Get(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 401) << path;
        EXPECT_EQ(refused->body.find("127.0.0.7"), std::string::npos) << path;
    }
    const auto allowed = client.Get("/machines.json?token=0123456789abcdef-token");
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->status, 200);
    EXPECT_NE(allowed->body.find("127.0.0.7"), std::string::npos);
}

} // namespace
