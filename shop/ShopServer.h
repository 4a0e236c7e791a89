#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>
#include <string>
#include <thread>

#include "shop/ShopDrawings.h"
#include "shop/ShopFeed.h"
#include "shop/ShopRequest.h"

struct ShopServerSettings
{
    std::string host = "127.0.0.1";
    int port = 8041; // 0: any free port (see ShopServer::port())
    // Empty only for a host that needs none (isTokenFreeHost).
    std::string token;
    // Open event streams at one time; further ones get 503.
    int maxStreams = 64;
    // Threads for everything but the streams, so a full set of streams never starves a page.
    int otherWorkers = 8;
    // A stream ends after this long; the browser opens a new one by itself.
    std::chrono::seconds streamLife{600};
    // A comment line this often keeps proxies and the browser from taking a quiet stream for
    // a dead one, and finds closed connections.
    std::chrono::seconds heartbeat{15};
    // A client that takes longer to send its request, or to take a response, is dropped.
    std::chrono::seconds ioTimeout{5};
};

// The read-only shop-floor web server: the fleet page, its event stream and the progress
// pictures, over the HTTP library, answering on its own thread pool.
class ShopServer
{
public:
    ShopServer(ShopServerSettings settings, ShopFeed& feed, ShopDrawings& drawings);
    ~ShopServer();
    ShopServer(const ShopServer&) = delete;
    ShopServer& operator=(const ShopServer&) = delete;

    // Binds and starts answering; false with `error` set when the address cannot be bound or
    // would need a token that is missing.
    bool start(std::string& error);
    // Ends every stream and stops; returns once the threads are joined.
    void stop();
    // The bound port, once started.
    int port() const { return m_port; }
    int openStreams() const { return m_streams.load(); }
    // Messages sent to streams, and how old the answers behind them were when sent: the
    // median, the 99th percentile and the most, in milliseconds.
    std::string deliveryStats() const;

private:
    struct Impl;
    ShopServerSettings m_settings;
    ShopFeed& m_feed;
    ShopDrawings& m_drawings;
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_streams{0};
    // Messages by the age of their answers, in 10 ms steps up to 10 s.
    mutable std::mutex m_statsMutex;
    std::vector<std::uint64_t> m_ages = std::vector<std::uint64_t>(1001, 0);
    void countAge(std::chrono::steady_clock::duration age);
};
