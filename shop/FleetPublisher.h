#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/FleetMonitor.h"

struct mosquitto;

struct MqttSettings
{
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string username; // empty: none
    std::string password;
    std::string caFile; // mqtts: empty takes the system's certificates
    std::string clientId;
};

// "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" (1883 and 8883 by default). Credentials in the
// address are refused: the command line is visible to every user of the PC. nullopt with
// `error` set for anything else.
std::optional<MqttSettings> parseMqttUrl(std::string_view url, std::string& error);

// Everything a publisher needs from the broker's URL, the credentials file (or the
// environment), HOOPWATCH_MQTT_CAFILE and the loopback rule (HOOPWATCH_LOOPBACK_ONLY=1 refuses
// brokers off 127.0.0.0/8). The client id names the PC and `role` ("watch", "desktop").
std::optional<MqttSettings> mqttSettingsFor(std::string_view url,
                                            const std::optional<std::string>& credentialsPath,
                                            const std::string& role, std::string& error);

// User name and password from a file (first line the name, second the password) when `path`
// is given, else from HOOPWATCH_MQTT_USERNAME and HOOPWATCH_MQTT_PASSWORD (none when unset).
bool loadMqttCredentials(const std::optional<std::string>& path, MqttSettings& settings,
                         std::string& error);

// Publishes the fleet to an MQTT broker: each machine's state as retained JSON on
// hoopwatch/<machine>/state (the fields of `watch --json`), its events on
// hoopwatch/<machine>/event, and "online"/"offline" for the publisher itself, retained, on
// hoopwatch/publisher/<client id> (the broker says "offline" when the publisher vanishes).
// The network runs on the client library's own thread: nothing here waits for the broker.
// States go out on change and at most once a second per machine; while the broker is away
// the latest state of each machine and up to kMaxQueuedEvents events wait, and on every
// (re)connection every state is published again.
class FleetPublisher
{
public:
    static constexpr std::size_t kMaxQueuedEvents = 256;
    static constexpr std::chrono::milliseconds kMachineInterval{1000};

    explicit FleetPublisher(MqttSettings settings);
    ~FleetPublisher();
    FleetPublisher(const FleetPublisher&) = delete;
    FleetPublisher& operator=(const FleetPublisher&) = delete;

    // Starts connecting in the background; false with `error` only when the client cannot be
    // set up at all (the broker being away is not an error: it is tried again).
    bool start(std::string& error);
    // Says "offline", disconnects and joins the network thread.
    void stop();

    // The fleet as it is now; call it from the polling loop, a few times a second.
    void update(const std::vector<FleetMachine>& machines);
    void event(const FleetEvent& event);

    // The broker turned the connection down (a wrong password, say) and never accepted it.
    bool refused() const { return m_refused && !m_everConnected; }
    bool connected() const { return m_connected; }
    std::size_t droppedEvents() const;

private:
    struct Machine
    {
        std::string steady; // the state without the time since the answer
        std::string payload;
        std::optional<std::chrono::steady_clock::time_point> sent;
        bool pending = false;
    };
    static void onConnect(mosquitto* client, void* self, int code);
    static void onDisconnect(mosquitto* client, void* self, int code);
    void publish(const std::string& topic, const std::string& payload, bool retain, int qos);
    std::string statusTopic() const;

    MqttSettings m_settings;
    mosquitto* m_client = nullptr;
    bool m_loopRunning = false;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_republish{false};
    std::atomic<bool> m_refused{false};
    std::atomic<bool> m_everConnected{false};
    std::atomic<int> m_lastRefusal{-1};

    mutable std::mutex m_mutex;
    std::map<std::string, Machine> m_machines;
    std::deque<std::pair<std::string, std::string>> m_events; // topic, payload
    std::size_t m_dropped = 0;
};
