#include "ui/ShopFloorService.h"

#include "control/FleetSession.h"
#include "shop/FleetPublisher.h"
#include "shop/HistoryProduction.h"
#include "shop/ShopDrawings.h"
#include "shop/ShopFeed.h"
#include "shop/ShopServer.h"

namespace {

constexpr int kPumpMs = 250;
// The fleet file is read again this often, as watch does, for designs other programs sent.
constexpr int kReloadTicks = 8;

} // namespace

ShopFloorService::ShopFloorService(QObject* parent, FleetSession& fleet, std::string historyPath)
    : QObject(parent), m_fleet(fleet), m_historyPath(std::move(historyPath))
{
    m_timer.setInterval(kPumpMs);
    connect(&m_timer, &QTimer::timeout, this, &ShopFloorService::pump);
}

ShopFloorService::~ShopFloorService()
{
    stopAll();
}

void ShopFloorService::stopAll()
{
    m_timer.stop();
    if (m_server)
        m_server->stop();
    m_server.reset();
    if (m_publisher)
        m_publisher->stop();
    m_publisher.reset();
    m_feed.reset();
    m_drawings.reset();
}

ShopFloorService::Outcome ShopFloorService::apply(const Options& options)
{
    stopAll();
    m_options = options;
    m_outcome = {};
    m_refusalTold = false;
    if (options.web) {
        const auto listen = parseListenAddress(options.listen);
        ShopServerSettings settings;
        std::string error;
        if (!listen) {
            error = "the address must be ADDR:PORT, not '" + options.listen + "'";
        } else {
            settings.host = listen->host;
            settings.port = listen->port;
            if (!options.tokenFile.empty() || std::getenv("HOOPWATCH_WEB_TOKEN") ||
                !isTokenFreeHost(settings.host)) {
                const auto token = loadShopToken(
                    options.tokenFile.empty() ? std::nullopt : std::optional(options.tokenFile),
                    error);
                settings.token = token.value_or("");
            }
        }
        if (error.empty()) {
            m_feed = std::make_unique<ShopFeed>();
            if (!m_historyPath.empty())
                m_feed->setProduction(std::make_shared<HistoryProduction>(m_historyPath));
            m_drawings = std::make_unique<ShopDrawings>(
                options.designs.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{options.designs});
            m_feed->update(m_fleet.monitor().machines());
            m_server = std::make_unique<ShopServer>(settings, *m_feed, *m_drawings);
            if (m_server->start(error)) {
                m_outcome.webAddress = "http://" + settings.host + ":" +
                                       std::to_string(m_server->port()) + "/";
            } else {
                m_server.reset();
                m_feed.reset();
                m_drawings.reset();
            }
        }
        m_outcome.webError = error;
    }
    if (options.mqtt) {
        std::string error;
        const auto settings = mqttSettingsFor(
            options.mqttUrl,
            options.mqttCredentials.empty() ? std::nullopt : std::optional(options.mqttCredentials),
            "desktop", error);
        if (settings) {
            m_publisher = std::make_unique<FleetPublisher>(*settings);
            if (!m_publisher->start(error))
                m_publisher.reset();
        }
        m_outcome.mqttRunning = m_publisher != nullptr;
        m_outcome.mqttError = error;
    }
    if (m_server || m_publisher)
        m_timer.start();
    return m_outcome;
}

void ShopFloorService::onFleetEvent(const FleetEvent& event)
{
    if (m_feed)
        m_feed->addEvent(event);
    if (m_publisher)
        m_publisher->event(event);
}

void ShopFloorService::pump()
{
    if (++m_ticks % kReloadTicks == 0)
        m_fleet.monitor().reloadStore();
    const std::vector<FleetMachine> machines = m_fleet.monitor().machines();
    if (m_feed)
        m_feed->update(machines);
    if (m_publisher) {
        m_publisher->update(machines);
        if (m_publisher->refused() && !m_refusalTold) {
            m_refusalTold = true;
            m_outcome.mqttRunning = false;
            m_outcome.mqttError = "the broker " + m_options.mqttUrl + " refused the connection";
            emit mqttRefused(QString::fromStdString(m_outcome.mqttError));
        }
    }
}
