#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/UiTexts.h"
#include "control/LinkState.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/ControlIds.h"
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
        EXPECT_EQ(dialog.findChild<QCheckBox*>(controlName(LanguageControl::Chinese))->isChecked(),
                  c.chinese);
        EXPECT_EQ(dialog.findChild<QCheckBox*>(controlName(LanguageControl::English))->isChecked(),
                  c.english);
        EXPECT_EQ(dialog.windowTitle(), text(TextId::LanguageCaption, c.textLanguage));
        EXPECT_EQ(dialog.findChild<QCheckBox*>(controlName(LanguageControl::Chinese))->text(),
                  text(TextId::LanguageChinese, c.textLanguage));
    }
}

TEST_F(Language, TickingStoresAtOnceAndSwitchesTheOtherOff)
{
    TempConfig temp;
    temp.config.writeText("Z62Language", "Language", "2");
    CSetLanguage dialog(temp.config);
    auto* chinese = dialog.findChild<QCheckBox*>(controlName(LanguageControl::Chinese));
    auto* english = dialog.findChild<QCheckBox*>(controlName(LanguageControl::English));
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
    const std::pair<MainControl, TextId> controls[] = {
        {MainControl::InputDesign, TextId::InputDesignButton},
        {MainControl::Parameters, TextId::ParametersButton},
        {MainControl::SendDesign, TextId::SendDesignButton},
        {MainControl::Lever, TextId::LeverButton},
        {MainControl::Jog, TextId::JogButton},
        {MainControl::Language, TextId::LanguageButton},
        {MainControl::BatchSending, TextId::BatchSendingButton},
        {MainControl::MachineSearch, TextId::MachineSearchButton},
        {MainControl::ColorPageUp, TextId::ColorPageUpButton},
        {MainControl::ColorPageDown, TextId::ColorPageDownButton},
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
            EXPECT_EQ(window.findChild<QPushButton*>(controlName(id))->text(),
                      text(textId, language))
                << controlNumber(id);
        EXPECT_EQ(window.findChild<QGroupBox*>(controlName(MainControl::MachineListGroup))->title(),
                  text(TextId::MachineListGroup, language));
        EXPECT_EQ(window.findChild<QGroupBox*>(controlName(MainControl::DesignViewGroup))->title(),
                  text(TextId::DesignViewGroup, language));
        EXPECT_EQ(window.findChild<QLineEdit*>(controlName(MainControl::SearchWaitText))->text(),
                  text(TextId::SearchWaitText, language));
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
    auto* lever = window.findChild<QPushButton*>(controlName(MainControl::Lever));
    auto* confirm = window.findChild<QPushButton*>(controlName(MainControl::Confirm));
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
