#include "app/UiTexts.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

TEST(UiTexts, EveryTextExistsInBothLanguages)
{
    for (int i = 0; i < kTextCount; ++i) {
        const auto id = static_cast<TextId>(i);
        EXPECT_FALSE(uiText(id, 1).empty()) << i;
        EXPECT_FALSE(uiText(id, 2).empty()) << i;
    }
}

TEST(UiTexts, OnlyLanguageOneIsChinese)
{
    for (int language : {0, 2, 3, -1, 100}) {
        EXPECT_FALSE(isChinese(language)) << language;
        EXPECT_EQ(uiText(TextId::InputDesignButton, language), "Input Design") << language;
    }
    EXPECT_TRUE(isChinese(1));
    EXPECT_EQ(uiText(TextId::InputDesignButton, 1), "导入花样");
}

TEST(UiTexts, TextsAreTheSystemsOwnBytes)
{
    const struct
    {
        TextId id;
        int language;
        std::string_view text;
    } cases[] = {
        {TextId::EmbReleaseDone, 2, "Emb  relrase Successful!"},
        {TextId::SearchWaitText, 2, "In machine search, please wait\xEF\xBC\x81"},
        {TextId::SearchWaitText, 1,
         "\xE6\x90\x9C\xE7\xB4\xA2Z62\xE6\x9C\xBA\xE5\x99\xA8\xE4\xB8\xAD\xEF\xBC\x8C"
         "\xE8\xAF\xB7\xE7\xAD\x89\xE5\xBE\x85\xEF\xBC\x81"},
        {TextId::ParamSend, 2, "Send Design color and param seting"},
        {TextId::ParamAngle, 2, "angle(0-89)\xEF\xBC\x9A"},
        {TextId::ParamDirection, 2, "Design direction:"},
        {TextId::CurrentNeedleTemplate, 2, "Current number of needle:%d"},
        {TextId::DesignInfoTemplate, 2,
         "Design Information\xEF\xBC\x9A  Needle Count:%d               Color Count  :%d"
         "                           Hight:%d mm            Width:%d mm       \r\n"
         "Machine State\xEF\xBC\x9A      "},
        {TextId::LeverButton, 2, "start work"},
        {TextId::StartWork, 2, "Start Work"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uiText(c.id, c.language), c.text) << static_cast<int>(c.id);
}

TEST(UiTexts, LanguageIsReadWithTheCallersDefault)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), "[Z62Language]\nOther=1\n");
    EXPECT_EQ(readLanguage(config), 1);
    EXPECT_EQ(readLanguage(config, "0"), 0);
    writeBytes(config.path(), "[Z62Language]\nLanguage=2\n");
    EXPECT_EQ(readLanguage(config), 2);
    EXPECT_EQ(readLanguage(config, "0"), 2);
}

} // namespace
