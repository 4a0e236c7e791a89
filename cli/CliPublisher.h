#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "cli/CliOptions.h"
#include "control/FleetMonitor.h"

class FleetPublisher;

// The --mqtt side of watch and serve: the fleet published to a broker while the command runs.
class CliPublisher
{
public:
    // The broker turned the connection down for good (a wrong password, say).
    static constexpr int kExitRefused = 5;

    CliPublisher();
    ~CliPublisher();
    CliPublisher(const CliPublisher&) = delete;
    CliPublisher& operator=(const CliPublisher&) = delete;

    // Takes --mqtt URL and --mqtt-credentials FILE; false after saying why on stderr.
    bool takeOptions(ArgList& args, const char* command);
    bool enabled() const { return m_publisher != nullptr; }
    // Starts connecting in the background; false after saying why.
    bool start();
    void event(const FleetEvent& event);
    // Sleeps until `until`, handing the fleet to the broker a few times a second meanwhile;
    // false when Ctrl+C came first.
    bool waitUntil(std::chrono::steady_clock::time_point until, FleetMonitor& monitor);
    // Says goodbye to the broker; returns kExitRefused when it never accepted the connection
    // because it refused it, else 0.
    int stop();

private:
    const char* m_command = "";
    std::unique_ptr<FleetPublisher> m_publisher;
};
