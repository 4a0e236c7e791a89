#include "shop/FleetPublisher.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include <mosquitto.h>
#include <unistd.h>

#include "control/FleetJson.h"
#include "control/FleetStore.h"
#include "control/JsonText.h"
#include "control/SentDesignRecord.h"
#include "link/UdpSocket.h"
#include "shop/ShopFeed.h"

namespace {

constexpr int kKeepAliveSeconds = 10;
constexpr unsigned kReconnectMinSeconds = 1;
constexpr unsigned kReconnectMaxSeconds = 30;
constexpr std::size_t kMaxCredential = 256;

std::once_flag g_libraryReady;

bool plainHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

bool cleanCredential(const std::string& text)
{
    if (text.size() > kMaxCredential)
        return false;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

} // namespace

std::optional<MqttSettings> parseMqttUrl(std::string_view url, std::string& error)
{
    MqttSettings settings;
    if (url.rfind("mqtt://", 0) == 0) {
        url.remove_prefix(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        url.remove_prefix(8);
        settings.tls = true;
        settings.port = 8883;
    } else {
        error = "the broker's address must start with mqtt:// or mqtts://";
        return std::nullopt;
    }
    if (!url.empty() && url.back() == '/')
        url.remove_suffix(1);
    if (url.find('@') != std::string_view::npos) {
        error = "credentials do not belong in the broker's address (every user of this PC can "
                "read a command line); use --mqtt-credentials FILE or HOOPWATCH_MQTT_USERNAME "
                "and HOOPWATCH_MQTT_PASSWORD";
        return std::nullopt;
    }
    const std::size_t colon = url.rfind(':');
    std::string_view host = url.substr(0, colon);
    if (colon != std::string_view::npos) {
        const std::string port(url.substr(colon + 1));
        char* end = nullptr;
        const long value = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || value < 1 || value > 65535) {
            error = "the broker's port must be 1 to 65535";
            return std::nullopt;
        }
        settings.port = static_cast<int>(value);
    }
    if (!plainHostName(host)) {
        error = "the broker's address needs a host name or IPv4 address";
        return std::nullopt;
    }
    settings.host = std::string(host);
    return settings;
}

bool loadMqttCredentials(const std::optional<std::string>& path, MqttSettings& settings,
                         std::string& error)
{
    if (path) {
        std::ifstream in(*path, std::ios::binary);
        if (!in) {
            error = "cannot read the credentials file " + *path;
            return false;
        }
        std::string user;
        std::string password;
        std::getline(in, user);
        std::getline(in, password);
        for (std::string* line : {&user, &password}) {
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
        }
        if (user.empty() || !cleanCredential(user) || !cleanCredential(password)) {
            error = "the credentials file must hold a user name on its first line and the "
                    "password on its second";
            return false;
        }
        settings.username = user;
        settings.password = password;
        return true;
    }
    const char* user = std::getenv("HOOPWATCH_MQTT_USERNAME");
    const char* password = std::getenv("HOOPWATCH_MQTT_PASSWORD");
    if (user && *user) {
        settings.username = user;
        settings.password = password ? password : "";
        if (!cleanCredential(settings.username) || !cleanCredential(settings.password)) {
            error = "HOOPWATCH_MQTT_USERNAME or HOOPWATCH_MQTT_PASSWORD holds control characters";
            return false;
        }
    }
    return true;
}

namespace {

// One publisher per PC and role, in the characters every broker takes in a client id and a
// topic level.
std::string clientIdFor(const std::string& role)
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    std::string id = std::string("hoopwatch-") + host + "-" + role;
    for (char& c : id) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_' || c == '.';
        if (!ok)
            c = '_';
    }
    return id.substr(0, 64);
}

} // namespace

std::optional<MqttSettings> mqttSettingsFor(std::string_view url,
                                            const std::optional<std::string>& credentialsPath,
                                            const std::string& role, std::string& error)
{
    auto settings = parseMqttUrl(url, error);
    if (!settings)
        return std::nullopt;
    if (loopbackOnly() && settings->host != "localhost" && !isLoopbackAddress(settings->host)) {
        error = settings->host + " is outside 127.0.0.0/8, which HOOPWATCH_LOOPBACK_ONLY=1 refuses";
        return std::nullopt;
    }
    if (!loadMqttCredentials(credentialsPath, *settings, error))
        return std::nullopt;
    if (const char* ca = std::getenv("HOOPWATCH_MQTT_CAFILE"))
        settings->caFile = ca;
    settings->clientId = clientIdFor(role);
    return settings;
}

FleetPublisher::FleetPublisher(MqttSettings settings) : m_settings(std::move(settings)) {}

FleetPublisher::~FleetPublisher()
{
    stop();
    if (m_client)
        mosquitto_destroy(m_client);
}

std::string FleetPublisher::statusTopic() const
{
    return "hoopwatch/publisher/" + m_settings.clientId;
}

bool FleetPublisher::start(std::string& error)
{
    std::call_once(g_libraryReady, [] { mosquitto_lib_init(); });
    m_client = mosquitto_new(m_settings.clientId.c_str(), true, this);
    if (!m_client) {
        error = "cannot set up the MQTT client";
        return false;
    }
    mosquitto_connect_callback_set(m_client, &FleetPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &FleetPublisher::onDisconnect);
    mosquitto_reconnect_delay_set(m_client, kReconnectMinSeconds, kReconnectMaxSeconds, true);
    const std::string offline = "offline";
    int rc = mosquitto_will_set(m_client, statusTopic().c_str(), static_cast<int>(offline.size()),
                                offline.data(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.username.empty())
        rc = mosquitto_username_pw_set(m_client, m_settings.username.c_str(),
                                       m_settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && m_settings.tls)
        rc = mosquitto_tls_set(m_client,
                               m_settings.caFile.empty() ? nullptr : m_settings.caFile.c_str(),
                               m_settings.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr,
                               nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    // A broker that is away now is tried again by the network thread, with growing pauses.
    rc = mosquitto_connect_async(m_client, m_settings.host.c_str(), m_settings.port,
                                 kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO && rc != MOSQ_ERR_NO_CONN) {
        error = std::string("cannot connect to the MQTT broker: ") + mosquitto_strerror(rc);
        return false;
    }
    if (rc != MOSQ_ERR_SUCCESS)
        std::fprintf(stderr, "hoopwatch: the MQTT broker %s:%d is not there yet; trying again\n",
                     m_settings.host.c_str(), m_settings.port);
    rc = mosquitto_loop_start(m_client);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot start the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    m_loopRunning = true;
    return true;
}

void FleetPublisher::stop()
{
    if (!m_loopRunning)
        return;
    if (m_connected) {
        // Flushes what waits, then says goodbye; the broker keeps the retained states.
        update({});
        publish(statusTopic(), "offline", true, 1);
    }
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    m_loopRunning = false;
    m_connected = false;
}

void FleetPublisher::onConnect(mosquitto*, void* self, int code)
{
    auto* publisher = static_cast<FleetPublisher*>(self);
    if (code != 0) {
        publisher->m_refused = true;
        // Said once per kind of refusal, not on every retry.
        if (publisher->m_lastRefusal.exchange(code) != code)
            std::fprintf(stderr, "hoopwatch: the MQTT broker %s:%d refused the connection: %s\n",
                         publisher->m_settings.host.c_str(), publisher->m_settings.port,
                         mosquitto_connack_string(code));
        return;
    }
    if (!publisher->m_everConnected.exchange(true) || publisher->m_lastRefusal.load() >= 0)
        std::fprintf(stderr, "hoopwatch: publishing to the MQTT broker %s:%d\n",
                     publisher->m_settings.host.c_str(), publisher->m_settings.port);
    publisher->m_lastRefusal = -1;
    publisher->m_connected = true;
    publisher->m_republish = true;
    publisher->publish(publisher->statusTopic(), "online", true, 1);
}

void FleetPublisher::onDisconnect(mosquitto*, void* self, int)
{
    static_cast<FleetPublisher*>(self)->m_connected = false;
}

void FleetPublisher::publish(const std::string& topic, const std::string& payload, bool retain,
                             int qos)
{
    mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), qos, retain);
}

void FleetPublisher::update(const std::vector<FleetMachine>& machines)
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::pair<std::string, std::string>> due;
    {
        const std::lock_guard lock(m_mutex);
        for (const FleetMachine& m : machines) {
            Machine& machine = m_machines[m.address];
            std::string steady = shopMachineJson(m);
            if (steady != machine.steady) {
                machine.steady = std::move(steady);
                machine.pending = true;
            }
            machine.payload = fleetJsonLine(m);
        }
        if (!m_connected)
            return;
        const bool again = m_republish.exchange(false);
        for (auto& [address, machine] : m_machines) {
            const bool spaced = !machine.sent || now - *machine.sent >= kMachineInterval;
            if (again || (machine.pending && spaced)) {
                due.emplace_back("hoopwatch/" + address + "/state", machine.payload);
                machine.pending = false;
                machine.sent = now;
            }
        }
        for (auto& event : m_events)
            due.push_back(std::move(event));
        m_events.clear();
        if (m_dropped > 0) {
            std::fprintf(stderr,
                         "hoopwatch: %zu machine events were dropped while the MQTT broker was "
                         "away\n",
                         m_dropped);
            m_dropped = 0;
        }
    }
    for (const auto& [topic, payload] : due) {
        const bool state = topic.size() > 6 && topic.compare(topic.size() - 6, 6, "/state") == 0;
        publish(topic, payload, state, state ? 0 : 1);
    }
}

void FleetPublisher::event(const FleetEvent& event)
{
    const std::string json = "{\"kind\":\"" + std::string(fleetEventName(event.kind)) +
                             "\",\"address\":" + jsonString(event.address) +
                             ",\"whileWorking\":" + (event.whileWorking ? "true" : "false") +
                             ",\"at\":" + std::to_string(wallClockSeconds()) + "}";
    const std::lock_guard lock(m_mutex);
    m_events.emplace_back("hoopwatch/" + event.address + "/event", json);
    if (m_events.size() > kMaxQueuedEvents) {
        m_events.pop_front();
        ++m_dropped;
    }
}

std::size_t FleetPublisher::droppedEvents() const
{
    const std::lock_guard lock(m_mutex);
    return m_dropped;
}
