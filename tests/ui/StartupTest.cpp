#include <optional>

#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/UiTexts.h"
#include "ui/CHoopwatchApp.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/ControlIds.h"
#include "ui/MessageBoxes.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

// Runs the start-up steps without blocking: the language dialog gets `tick` clicked (0 for
// none) and closes; the main window closes as soon as it has opened.
struct StartRun
{
    bool languageShown = false;
    bool windowShown = false;
    QString windowTitle;
};

StartRun runStart(const TempConfig& temp, std::optional<LanguageControl> tick)
{
    AppOptions options;
    options.configPath = QString::fromStdString(temp.path);
    options.listenPort = 0;
    options.machinePort = freePortBase();
    options.prefix = QStringLiteral("127.0.0.");
    CHoopwatchApp app(options);
    StartRun run;
    app.setLanguageRunner([&](CSetLanguage& dialog) {
        run.languageShown = true;
        if (tick)
            dialog.findChild<QCheckBox*>(controlName(*tick))->click();
        dialog.findChild<QPushButton*>(controlName(LanguageControl::Ok))->click();
    });
    app.setWindowRunner([&](CHoopwatchDlg& window) {
        run.windowShown = true;
        run.windowTitle = window.windowTitle();
        window.done(0);
    });
    EXPECT_EQ(app.initInstance(), 0);
    EXPECT_EQ(app.languageDialogShown(), run.languageShown);
    return run;
}

class Startup : public QuietMessages
{
};

} // namespace

TEST_F(Startup, FirstStartAsksForTheLanguageAndWritesTheDefaults)
{
    TempConfig temp;
    const StartRun run = runStart(temp, std::nullopt);
    EXPECT_TRUE(run.languageShown);
    EXPECT_TRUE(run.windowShown);
    EXPECT_EQ(temp.config.readText("Z62_Net_0", "Ip", ""), "192.168.7.100");
    EXPECT_EQ(temp.config.readText("Z62_Net_0", "IsChoose", ""), "1");
    EXPECT_EQ(temp.config.readText("Z62Language", "Language", ""), "0");
    EXPECT_EQ(temp.config.readText("Z62_Net_Count", "count", ""), "0");
}

TEST_F(Startup, ClosingWithoutAChoiceAsksAgainNextTime)
{
    TempConfig temp;
    EXPECT_TRUE(runStart(temp, std::nullopt).languageShown);
    EXPECT_TRUE(runStart(temp, std::nullopt).languageShown);
}

TEST_F(Startup, AChoiceIsKeptAndNotAskedAgain)
{
    TempConfig temp;
    const StartRun first = runStart(temp, LanguageControl::English);
    EXPECT_TRUE(first.languageShown);
    EXPECT_EQ(temp.config.readText("Z62Language", "Language", ""), "2");
    const StartRun second = runStart(temp, std::nullopt);
    EXPECT_FALSE(second.languageShown);
    EXPECT_TRUE(second.windowShown);
}

TEST_F(Startup, MissingLanguageKeyCountsAsChineseWithoutAsking)
{
    TempConfig temp;
    temp.config.writeText("Z62_Net_Count", "count", "0");
    const StartRun run = runStart(temp, std::nullopt);
    EXPECT_FALSE(run.languageShown);
    EXPECT_EQ(temp.config.readText("Z62Language", "Language", "missing"), "missing");
    EXPECT_EQ(run.windowTitle, QString::fromUtf8(uiText(TextId::WindowCaption, 1).data()));
}

TEST(AppOptions, ParsesEveryOptionInBothForms)
{
    QString error;
    const auto options = parseAppOptions({"--demo", "--config", "/tmp/a.ini",
                                          "--machine-port=20001", "--listen-port", "20002",
                                          "--prefix=127.0.0.", "--key", "0123456789abcdef"},
                                         &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_TRUE(options->demo);
    EXPECT_EQ(*options->configPath, "/tmp/a.ini");
    EXPECT_EQ(*options->machinePort, 20001);
    EXPECT_EQ(*options->listenPort, 20002);
    EXPECT_EQ(*options->prefix, "127.0.0.");
    EXPECT_EQ(*options->key, "0123456789abcdef");
}

TEST(AppOptions, RefusesBadInput)
{
    const QStringList bad[] = {
        {"--frobnicate"},          {"--config"},
        {"--machine-port", "0"},   {"--listen-port", "70000"},
        {"--listen-port", "12ab"}, {"--demo=1"},
        {"--key", "short"},
    };
    for (const QStringList& args : bad) {
        QString error;
        EXPECT_FALSE(parseAppOptions(args, &error)) << args.join(u' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}
