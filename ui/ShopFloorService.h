#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QTimer>

#include "control/FleetMonitor.h"

class FleetSession;
class FleetPublisher;
class ShopDrawings;
class ShopFeed;
class ShopServer;

// The shop-floor web page and the MQTT publisher run from the window, over the window's own
// fleet. Both are off until switched on; a timer on the UI thread hands the fleet to them a
// few times a second, and neither ever waits for a browser or the broker.
class ShopFloorService : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        bool web = false;
        std::string listen = "127.0.0.1:8041";
        std::string tokenFile; // empty: HOOPWATCH_WEB_TOKEN, where one is needed
        std::string designs;   // folder where sent designs are looked for by name
        bool mqtt = false;
        std::string mqttUrl;
        std::string mqttCredentials; // empty: the environment
    };
    // What came of apply(); the reasons are the libraries' and this program's technical
    // texts, which the window puts into its own sentence in the chosen language.
    struct Outcome
    {
        std::optional<std::string> webAddress; // "http://127.0.0.1:8041/" while serving
        std::string webError;
        bool mqttRunning = false;
        std::string mqttError;
    };

    // `historyPath`: the production history whose figures of today the page shows.
    ShopFloorService(QObject* parent, FleetSession& fleet, std::string historyPath = {});
    ~ShopFloorService() override;

    // Stops what runs and starts what the options switch on.
    Outcome apply(const Options& options);
    const Options& options() const { return m_options; }
    const Outcome& outcome() const { return m_outcome; }
    // A fleet event on the UI thread, for the page and the broker.
    void onFleetEvent(const FleetEvent& event);

signals:
    // The broker turned the publisher away (a wrong password, say); said once per apply().
    void mqttRefused(const QString& reason);

private:
    void stopAll();
    void pump();

    FleetSession& m_fleet;
    std::string m_historyPath;
    Options m_options;
    Outcome m_outcome;
    QTimer m_timer;
    int m_ticks = 0;
    bool m_refusalTold = false;
    std::unique_ptr<ShopFeed> m_feed;
    std::unique_ptr<ShopDrawings> m_drawings;
    std::unique_ptr<ShopServer> m_server;
    std::unique_ptr<FleetPublisher> m_publisher;
};
