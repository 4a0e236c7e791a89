#include "cli/CliPublisher.h"

#include <cstdio>
#include <string>

#include "cli/FleetWatch.h"

#ifdef HOOPWATCH_HAVE_MQTT
#include "shop/FleetPublisher.h"
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
    const auto settings = mqttSettingsFor(*url, credentials, command, error);
    if (!settings) {
        std::fprintf(stderr, "hoopwatch-cli %s: --mqtt: %s\n", command, error.c_str());
        return false;
    }
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
