#include "cli/CliPublisher.h"

#include <cstdio>
#include <string>

#include "cli/FleetWatch.h"
#include "link/UdpSocket.h"

#ifdef HOOPWATCH_HAVE_MQTT
#include <unistd.h>

#include "shop/FleetPublisher.h"

namespace {

// One publisher per PC and command, in the characters every broker takes in a client id and a
// topic level.
std::string clientId(const char* command)
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    std::string id = std::string("hoopwatch-") + host + "-" + command;
    for (char& c : id) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_' || c == '.';
        if (!ok)
            c = '_';
    }
    return id.substr(0, 64);
}

} // namespace
#else
class FleetPublisher
{
};
#endif

CliPublisher::CliPublisher() = default;
CliPublisher::~CliPublisher()
{
    stop();
}

bool CliPublisher::takeOptions(ArgList& args, const char* command)
{
    m_command = command;
    const auto url = args.take("--mqtt");
    const auto credentials = args.take("--mqtt-credentials");
    if (!url) {
        if (credentials)
            std::fprintf(stderr, "hoopwatch-cli %s: --mqtt-credentials needs --mqtt\n", command);
        return !credentials;
    }
#ifdef HOOPWATCH_HAVE_MQTT
    std::string error;
    auto settings = parseMqttUrl(*url, error);
    if (settings && loopbackOnly() && settings->host != "localhost" &&
        !isLoopbackAddress(settings->host)) {
        error = settings->host + " is outside 127.0.0.0/8, which HOOPWATCH_LOOPBACK_ONLY=1 refuses";
        settings.reset();
    }
    if (settings && !loadMqttCredentials(credentials, *settings, error))
        settings.reset();
    if (!settings) {
        std::fprintf(stderr, "hoopwatch-cli %s: --mqtt: %s\n", command, error.c_str());
        return false;
    }
    if (const char* ca = std::getenv("HOOPWATCH_MQTT_CAFILE"))
        settings->caFile = ca;
    settings->clientId = clientId(command);
    m_publisher = std::make_unique<FleetPublisher>(*settings);
    return true;
#else
    std::fprintf(stderr, "hoopwatch-cli %s: this build cannot publish to MQTT\n", command);
    return false;
#endif
}

bool CliPublisher::start()
{
#ifdef HOOPWATCH_HAVE_MQTT
    if (!m_publisher)
        return true;
    std::string error;
    if (m_publisher->start(error))
        return true;
    std::fprintf(stderr, "hoopwatch-cli %s: %s\n", m_command, error.c_str());
    return false;
#else
    return true;
#endif
}

void CliPublisher::event(const FleetEvent& event)
{
#ifdef HOOPWATCH_HAVE_MQTT
    if (m_publisher)
        m_publisher->event(event);
#else
    (void)event;
#endif
}

bool CliPublisher::waitUntil(std::chrono::steady_clock::time_point until, FleetMonitor& monitor)
{
#ifdef HOOPWATCH_HAVE_MQTT
    if (m_publisher) {
        constexpr auto kStep = std::chrono::milliseconds(250);
        for (auto now = std::chrono::steady_clock::now(); now < until;
             now = std::chrono::steady_clock::now()) {
            if (!::waitUntil(std::min(until, now + kStep)))
                return false;
            m_publisher->update(monitor.machines());
        }
        return ::waitUntil(until);
    }
#else
    (void)monitor;
#endif
    return ::waitUntil(until);
}

int CliPublisher::stop()
{
#ifdef HOOPWATCH_HAVE_MQTT
    if (!m_publisher)
        return 0;
    m_publisher->stop();
    const bool refused = m_publisher->refused();
    m_publisher.reset();
    return refused ? kExitRefused : 0;
#else
    return 0;
#endif
}
