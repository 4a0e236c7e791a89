#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "design/DesignLoader.h"
#include "records/ProductionSample.h"
#include "records/RecordsDatabase.h"
#include "shop/FleetPublisher.h"
#include "shop/HistoryProduction.h"
#include "shop/ShopDrawings.h"
#include "shop/ShopFeed.h"
#include "shop/ShopRequest.h"
#include "tests/support/TempFolder.h"

namespace {

const std::string kToken = "abcdefghijklmnop-1234";

TEST(ShopRequest, RoutesOnlyWhatItShould)
{
    const ShopAccess open{"", "127.0.0.1", 8041};
    const ShopAccess guarded{kToken, "127.0.0.2", 8041};
    struct Case
    {
        const char* what;
        ShopAccess access;
        ShopRequest request;
        ShopRoute route;
        int status;
    };
    const Case cases[] = {
        {"page", open, {"GET", "/", "", "127.0.0.1:8041", "", ""}, ShopRoute::Page, 200},
        {"localhost", open, {"GET", "/", "", "LOCALHOST:8041", "", ""}, ShopRoute::Page, 200},
        {"head", open, {"HEAD", "/events", "", "127.0.0.1:8041", "", ""}, ShopRoute::Events, 200},
        {"post", open, {"POST", "/", "", "127.0.0.1:8041", "", ""}, ShopRoute::Error, 405},
        {"renamed host", open, {"GET", "/", "", "evil.example:8041", "", ""}, ShopRoute::Error, 421},
        {"other port", open, {"GET", "/", "", "127.0.0.1:9", "", ""}, ShopRoute::Error, 421},
        {"no host", open, {"GET", "/", "", "", "", ""}, ShopRoute::Error, 421},
        {"unknown", open, {"GET", "/etc/passwd", "", "127.0.0.1", "", ""}, ShopRoute::Error, 404},
        {"bad escape", open, {"GET", "/", "a=%4", "127.0.0.1", "", ""}, ShopRoute::Error, 400},
        {"nul", open, {"GET", "/", "a=%00", "127.0.0.1", "", ""}, ShopRoute::Error, 400},
        {"repeated", open, {"GET", "/", "a=1&a=2", "127.0.0.1", "", ""}, ShopRoute::Error, 400},
        {"drawing", open, {"GET", "/drawing.png", "address=127.0.0.010", "127.0.0.1", "", ""},
         ShopRoute::Drawing, 200},
        {"drawing, no address", open, {"GET", "/drawing.png", "address=../x", "127.0.0.1", "", ""},
         ShopRoute::Error, 400},
        {"long path", open, {"GET", "/" + std::string(300, 'a'), "", "127.0.0.1", "", ""},
         ShopRoute::Error, 414},
        {"no token", guarded, {"GET", "/", "", "127.0.0.2:8041", "", ""}, ShopRoute::Error, 401},
        {"wrong token", guarded, {"GET", "/events", "token=abcdefghijklmnop-1235", "", "", ""},
         ShopRoute::Error, 401},
        {"token prefix", guarded, {"GET", "/events", "token=abcdefghijklmnop", "", "", ""},
         ShopRoute::Error, 401},
        {"query token", guarded, {"GET", "/events", "token=" + kToken, "any", "", ""},
         ShopRoute::Events, 200},
        {"bearer token", guarded, {"GET", "/machines.json", "", "", "", "Bearer " + kToken},
         ShopRoute::Machines, 200},
        {"bearer wrong", guarded, {"GET", "/", "", "", "", "Bearer x" + kToken}, ShopRoute::Error,
         401},
    };
    for (const Case& c : cases) {
        const ShopDecision decision = routeShopRequest(c.request, c.access);
        EXPECT_EQ(decision.route, c.route) << c.what;
        EXPECT_EQ(decision.status, c.status) << c.what;
    }
    EXPECT_EQ(routeShopRequest({"GET", "/drawing.png", "address=127.0.0.010", "127.0.0.1", "", ""},
                               open)
                  .address,
              "127.0.0.10");
}

TEST(ShopRequest, LanguageFollowsTheBrowserOrTheSwitch)
{
    const std::pair<const char*, const char*> cases[] = {
        {"zh-CN,zh;q=0.9,en;q=0.8", "zh"}, {"en-US,en;q=0.9,zh;q=0.8", "en"},
        {"en;q=0.5, zh-TW;q=0.6", "zh"},   {"de, zh", "en"},
        {"", "en"},                        {"zh;q=abc", "en"},
        {"*", "en"},                       {"ZH", "zh"},
    };
    for (const auto& [header, expected] : cases)
        EXPECT_EQ(pickLanguage(header), expected) << header;
    const ShopAccess open{"", "127.0.0.1", 8041};
    EXPECT_EQ(routeShopRequest({"GET", "/", "lang=zh", "127.0.0.1", "en", ""}, open).language, "zh");
    EXPECT_EQ(routeShopRequest({"GET", "/", "lang=xx", "127.0.0.1", "zh", ""}, open).language, "zh");
}

TEST(ShopRequest, TokenComesFromAFileOrTheEnvironmentAndMustBeStrong)
{
    TempFolder folder;
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(folder.path() / name, std::ios::binary) << text;
        return (folder.path() / name).string();
    };
    struct Case
    {
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {kToken + "\n", true},   {kToken + "\r\nsecond line", true}, {"short\n", false},
        {"with blank 0123456789", false}, {"", false}, {std::string(300, 'x'), false},
    };
    unsetenv("HOOPWATCH_WEB_TOKEN");
    for (const Case& c : cases) {
        std::string error;
        const auto token = loadShopToken(write("token", c.text), error);
        EXPECT_EQ(token.has_value(), c.accepted) << c.text;
        EXPECT_EQ(error.empty(), c.accepted) << c.text;
        if (token) {
            EXPECT_EQ(*token, kToken);
        }
    }
    std::string error;
    EXPECT_FALSE(loadShopToken((folder.path() / "missing").string(), error));
    EXPECT_FALSE(loadShopToken(std::nullopt, error));
    setenv("HOOPWATCH_WEB_TOKEN", kToken.c_str(), 1);
    EXPECT_EQ(loadShopToken(std::nullopt, error), kToken);
    unsetenv("HOOPWATCH_WEB_TOKEN");
}

FleetMachine machineAt(const std::string& address, std::int32_t stitch)
{
    FleetMachine m;
    m.address = address;
    m.online = true;
    m.answered = true;
    m.stitch = stitch;
    m.secondsSinceAnswer = 0.5;
    return m;
}

class FixedProduction : public ShopProduction
{
public:
    std::optional<std::string> todayJson() override { return figures; }
    std::optional<std::string> figures;
};

TEST(ShopFeed, SendsEverythingFirstThenOnlyWhatChanged)
{
    ShopFeed feed;
    auto production = std::make_shared<FixedProduction>();
    feed.setProduction(production);
    std::vector<FleetMachine> fleet{machineAt("127.0.0.1", 10), machineAt("127.0.0.2", 20)};
    fleet[0].name = "Left <b>";
    feed.update(fleet);

    std::uint64_t since = 0;
    const std::string first = feed.changesSince(since);
    EXPECT_NE(first.find("\"reset\":true"), std::string::npos);
    EXPECT_NE(first.find("{\"address\":\"127.0.0.1\",\"name\":\"Left <b>\""), std::string::npos);
    EXPECT_NE(first.find("{\"address\":\"127.0.0.2\",\"name\":null"), std::string::npos);
    EXPECT_NE(first.find("\"production\":null"), std::string::npos);
    EXPECT_EQ(feed.changesSince(since), "");

    // Only the time since the answer moved: nothing to tell.
    fleet[0].secondsSinceAnswer = 0.9;
    EXPECT_EQ(feed.update(fleet), 0u);
    EXPECT_FALSE(feed.waitForChange(since, std::chrono::milliseconds(1)));

    fleet[1].stitch = 21;
    production->figures = "{\"designs\":3}";
    EXPECT_EQ(feed.update(fleet), 2u);
    feed.addEvent({FleetEventKind::Finished, "127.0.0.2", false});
    EXPECT_TRUE(feed.waitForChange(0, std::chrono::milliseconds(1)));
    const std::string second = feed.changesSince(since);
    EXPECT_EQ(second, "{\"reset\":false,\"machines\":[" + shopMachineJson(fleet[1]) +
                          "],\"events\":[{\"kind\":\"finished\",\"address\":\"127.0.0.2\","
                          "\"whileWorking\":false}],\"production\":{\"designs\":3}}");

    // A machine leaving the table starts the page over.
    feed.update({fleet[1]});
    EXPECT_NE(feed.changesSince(since).find("\"reset\":true,\"machines\":[{"
                                            "\"address\":\"127.0.0.2\""),
              std::string::npos);
    EXPECT_FALSE(feed.machine("127.0.0.1"));
}

TEST(HistoryProduction, ShowsTodaysFiguresOnlyFromAReadableHistory)
{
    const TempFolder dir;
    const std::string path = (dir.path() / "hoopwatch-history.sqlite").string();
    EXPECT_EQ(HistoryProduction(path).todayJson(), std::nullopt) << "no history yet";
    std::ofstream(path) << "not a history";
    EXPECT_EQ(HistoryProduction(path).todayJson(), std::nullopt) << "a foreign file";
    std::filesystem::remove(path);

    RecordsDatabase history;
    ASSERT_EQ(history.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
    {
        ProductionRecorder recorder([&](std::vector<EventRow> events, std::vector<RunRow> runs) {
            history.append(events, runs);
        });
        const std::int64_t now = wallClockMillis();
        feedProductionSample(recorder, {2, "127.0.0.", now - std::int64_t{3 * 3600000}, now, 3});
    }
    const std::optional<std::string> json = HistoryProduction(path).todayJson();
    ASSERT_TRUE(json);
    EXPECT_EQ(json->rfind("{\"pieces\":", 0), 0u) << *json;
}

TEST(ShopDrawings, DrawsOnlyTheRecordedDesign)
{
    TempFolder folder;
    std::filesystem::copy_file(HOOPWATCH_SOURCE_DIR "/samples/star.dst",
                               folder.path() / "star.dst");
    Design design;
    ASSERT_TRUE(loadDesign((folder.path() / "star.dst").string(), &design));

    ShopDrawings drawings({folder.path().string()});
    FleetMachine m = machineAt("127.0.0.5", design.summary.stitchCount / 2);
    m.percent = 50.0;
    struct Case
    {
        const char* what;
        std::string name;
        std::int32_t stitches;
        bool drawn;
    };
    const Case cases[] = {
        {"recorded", "star.dst", design.summary.stitchCount, true},
        {"other counts", "star.dst", design.summary.stitchCount + 1, false},
        {"missing", "moon.dst", design.summary.stitchCount, false},
        {"outside", "../star.dst", design.summary.stitchCount, false},
    };
    std::int64_t sentAt = 1;
    for (const Case& c : cases) {
        m.design = SentDesign{c.name, c.stitches, design.summary.colorCount, 1, sentAt++};
        const auto png = drawings.png(m);
        ASSERT_EQ(png.has_value(), c.drawn) << c.what;
        if (png) {
            EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << c.what;
        }
    }
    // Progress changes the picture; the same step gives the same bytes.
    m.design = SentDesign{"star.dst", design.summary.stitchCount, design.summary.colorCount, 1, 9};
    const auto half = drawings.png(m);
    m.stitch = design.summary.stitchCount;
    const auto whole = drawings.png(m);
    ASSERT_TRUE(half && whole);
    EXPECT_NE(*half, *whole);
    EXPECT_EQ(drawings.png(m), whole);
}

} // namespace

namespace {

TEST(FleetPublisher, BrokerAddressAndCredentialsAreCheckedBeforeAnythingConnects)
{
    struct Case
    {
        const char* url;
        const char* host; // nullptr: refused
        int port;
        bool tls;
    };
    const Case cases[] = {
        {"mqtt://127.0.0.1", "127.0.0.1", 1883, false},
        {"mqtts://broker.local:9883/", "broker.local", 9883, true},
        {"mqtt://127.0.0.1:0", nullptr, 0, false},
        {"mqtt://127.0.0.1:99999", nullptr, 0, false},
        {"mqtt://user:pw@127.0.0.1", nullptr, 0, false},
        {"http://127.0.0.1", nullptr, 0, false},
        {"mqtt://", nullptr, 0, false},
        {"mqtt://bad host", nullptr, 0, false},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto settings = parseMqttUrl(c.url, error);
        ASSERT_EQ(settings.has_value(), c.host != nullptr) << c.url;
        EXPECT_EQ(error.empty(), c.host != nullptr) << c.url;
        if (settings) {
            EXPECT_EQ(settings->host, c.host);
            EXPECT_EQ(settings->port, c.port);
            EXPECT_EQ(settings->tls, c.tls);
        }
    }
    TempFolder folder;
    const auto path = (folder.path() / "credentials").string();
    const std::pair<const char*, bool> files[] = {
        {"shop\r\nsecret\r\n", true}, {"shop\n", true}, {"\nsecret\n", false},
        {"sh\x01op\nsecret\n", false},
    };
    for (const auto& [text, accepted] : files) {
        std::ofstream(path, std::ios::binary) << text;
        std::string error;
        MqttSettings settings;
        EXPECT_EQ(loadMqttCredentials(path, settings, error), accepted) << text;
        if (accepted) {
            EXPECT_EQ(settings.username, "shop");
        }
    }
    std::string error;
    EXPECT_FALSE(mqttSettingsFor("mqtt://192.168.7.100", std::nullopt, "test", error));
    EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos);
}

} // namespace
