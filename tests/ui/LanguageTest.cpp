#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/UiTexts.h"
#include "control/LinkState.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/MessageBoxes.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

class Language : public QuietMessages
{
};

} // namespace

TEST_F(Language, DialogTicksAndTextsFollowTheStoredValue)
{
    struct Case
    {
        const char* stored;
        bool chinese, english; // ticks
        int textLanguage;      // whose texts the dialog shows
    };
    const Case cases[] = {
        {"0", false, false, 1},
        {"1", true, false, 1},
        {"2", false, true, 2},
        {"3", false, false, 2},
    };
    for (const Case& c : cases) {
        TempConfig temp;
        temp.config.writeText("Z62Language", "Language", c.stored);
        CSetLanguage dialog(temp.config);
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(dialog.findChild<QCheckBox*>("1044")->isChecked(), c.chinese);
        EXPECT_EQ(dialog.findChild<QCheckBox*>("1045")->isChecked(), c.english);
        EXPECT_EQ(dialog.windowTitle(), text(TextId::LanguageCaption, c.textLanguage));
        EXPECT_EQ(dialog.findChild<QCheckBox*>("1044")->text(),
                  text(TextId::LanguageChinese, c.textLanguage));
    }
}

TEST_F(Language, TickingStoresAtOnceAndSwitchesTheOtherOff)
{
    TempConfig temp;
    temp.config.writeText("Z62Language", "Language", "2");
    CSetLanguage dialog(temp.config);
    auto* chinese = dialog.findChild<QCheckBox*>("1044");
    auto* english = dialog.findChild<QCheckBox*>("1045");
    chinese->click();
    EXPECT_EQ(temp.config.readText("Z62Language", "Language", ""), "1");
    EXPECT_FALSE(english->isChecked());
    EXPECT_EQ(dialog.windowTitle(), text(TextId::LanguageCaption, 1));
    // Unticking the ticked box keeps the choice.
    chinese->click();
    EXPECT_EQ(temp.config.readText("Z62Language", "Language", ""), "1");
    EXPECT_EQ(dialog.windowTitle(), text(TextId::LanguageCaption, 1));
}

TEST_F(Language, MainWindowTextsForEveryStoredValue)
{
    const std::pair<int, TextId> controls[] = {
        {1000, TextId::Button1000}, {1005, TextId::Button1005}, {1001, TextId::Button1001},
        {1004, TextId::Button1004}, {1003, TextId::Button1003}, {1022, TextId::Button1022},
        {1023, TextId::Button1023}, {1031, TextId::Button1031}, {1033, TextId::Button1033},
        {1034, TextId::Button1034},
    };
    // Stored value, language of the texts.
    const std::pair<const char*, int> cases[] = {{"1", 1}, {"2", 2}, {"0", 2}, {"3", 2}};
    for (const auto& [stored, language] : cases) {
        SCOPED_TRACE(stored);
        TempConfig temp;
        temp.writeMachines({"127.0.0.1"});
        temp.config.writeText("Z62Language", "Language", stored);
        const LinkSettings settings = temp.settings();
        LinkState state;
        CHoopwatchDlg window(temp.config, settings, state);
        EXPECT_EQ(window.language(), std::atoi(stored));
        for (const auto& [id, textId] : controls)
            EXPECT_EQ(window.findChild<QPushButton*>(QString::number(id))->text(),
                      text(textId, language))
                << id;
        EXPECT_EQ(window.findChild<QGroupBox*>("1046")->title(), text(TextId::Group1046, language));
        EXPECT_EQ(window.findChild<QGroupBox*>("1049")->title(), text(TextId::Group1049, language));
        EXPECT_EQ(window.findChild<QLineEdit*>("1054")->text(),
                  text(TextId::WaitText1054, language));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Z62"));
        window.done(0);
    }
}

TEST_F(Language, TimerLabelsFollowTheMachineStateInTheChosenLanguage)
{
    TempConfig temp;
    temp.writeMachines({"127.0.0.1"});
    temp.config.writeText("Z62Language", "Language", "2");
    const LinkSettings settings = temp.settings();
    LinkState state;
    CHoopwatchDlg window(temp.config, settings, state);
    auto* lever = window.findChild<QPushButton*>("1004");
    auto* confirm = window.findChild<QPushButton*>("1006");
    ASSERT_TRUE(waitFor([&] { return confirm->text() == "Emb Release"; }, 3000));
    EXPECT_EQ(lever->text(), "Start Work");

    MachineStatus status;
    status.workState = 1;
    status.embroideryState = 2;
    state.machineStatus.store(status);
    ASSERT_TRUE(waitFor([&] { return confirm->text() == "Emb Confirm"; }, 3000));
    EXPECT_EQ(lever->text(), "Stop Work");
    window.done(0);
}
