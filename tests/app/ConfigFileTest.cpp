#include "app/ConfigFile.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/ProfileDocument.h"
#include "tests/support/TempFolder.h"

namespace {

std::string utf16(std::u16string_view text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const auto low = static_cast<char>(unit & 0xFF);
        const auto high = static_cast<char>(unit >> 8);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

TEST(ParseCNumber, ConvertsLikeTheCLibrary)
{
    const struct
    {
        const char* text;
        int value;
    } cases[] = {
        {"42", 42},
        {"  \t-7x", -7},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"3.9", 3},
        {"1 2", 1},
        {"- 5", 0},
        {"0012", 12},
        {"2147483647", INT_MAX},
        {"99999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseCNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(ConfigFile, MissingFileSectionOrKeyGivesTheDefault)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    EXPECT_FALSE(config.exists());
    EXPECT_EQ(config.readText("Z62_Net_0", "Ip", "0,0,0,0"), "0,0,0,0");
    EXPECT_EQ(config.readNumber("Z62Language", "Language", "1"), 1);
    EXPECT_FALSE(config.exists()) << "a read must not create the file";

    writeBytes(config.path(), "[Z62_Net_0]\nIsChoose=1\n");
    EXPECT_EQ(config.readText("Z62_Net_0", "Ip", "0,0,0,0"), "0,0,0,0");
    EXPECT_EQ(config.readText("Z62_Net_1", "IsChoose", "0"), "0");
    EXPECT_EQ(config.readNumber("Z62_Net_0", "IsChoose", "0"), 1);
}

TEST(ConfigFile, LongValuesReadAsTheirFirst99Characters)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    std::string ascii;
    for (int i = 0; i < 120; ++i)
        ascii.push_back(static_cast<char>('a' + i % 26));
    std::string chinese;
    for (int i = 0; i < 120; ++i)
        chinese += "花";
    ASSERT_TRUE(config.writeText("S", "ascii", ascii));
    ASSERT_TRUE(config.writeText("S", "chinese", chinese));
    EXPECT_EQ(config.readText("S", "ascii", ""), ascii.substr(0, 99));
    EXPECT_EQ(config.readText("S", "chinese", ""), chinese.substr(0, 99 * 3));
}

TEST(ConfigFile, WindowsWrittenFilesReadBackTheSame)
{
    const std::string crlfBom = "\xEF\xBB\xBF; written on Windows\r\n"
                                "[Z62_Net_Count]\r\n"
                                "count=2\r\n"
                                "\r\n"
                                "  [ z62_net_0 ]  \r\n"
                                "  Ip = 192.168.7.21  \r\n"
                                "ISCHOOSE=1\r\n"
                                "Ip=10.0.0.1\r\n"
                                "[Z62_Net_0]\r\n"
                                "BackUp_Name=second section loses\r\n"
                                "[Z62Language]\r\n"
                                "Language=\"2\"\r\n"
                                "Name=花样\r\n";
    const std::u16string_view unicodeText = u"[Z62_Net_Count]\r\ncount=2\r\n[ z62_net_0 ]\r\n"
                                            u"  Ip = 192.168.7.21  \r\nISCHOOSE=1\r\n"
                                            u"Ip=10.0.0.1\r\n[Z62_Net_0]\r\n"
                                            u"BackUp_Name=second section loses\r\n"
                                            u"[Z62Language]\r\nLanguage=\"2\"\r\nName=\u82b1\u6837";
    for (const std::string& bytes :
         {crlfBom, utf16(unicodeText, false), utf16(unicodeText, true)}) {
        TempFolder folder;
        const ConfigFile config(folder.file("ZUZiruro.ini"));
        writeBytes(config.path(), bytes);
        EXPECT_EQ(config.readNumber("Z62_Net_Count", "count", "0"), 2);
        EXPECT_EQ(config.readText("Z62_Net_0", "Ip", ""), "192.168.7.21");
        EXPECT_EQ(config.readText("Z62_Net_0", "IsChoose", "0"), "1");
        EXPECT_EQ(config.readText("Z62_Net_0", "BackUp_Name", "none"), "none");
        EXPECT_EQ(config.readNumber("Z62Language", "Language", "1"), 2);
        EXPECT_EQ(config.readText("Z62Language", "Name", ""), "花样");

        // A write keeps the file's encoding and line ends and touches one line.
        ASSERT_TRUE(config.writeText("Z62_Net_0", "IsChoose", "0"));
        const std::string after = readBytes(config.path());
        EXPECT_EQ(after.substr(0, 2), bytes.substr(0, 2));
        EXPECT_EQ(after.size(), bytes.size()) << "only ISCHOOSE=1 became ISCHOOSE=0";
        EXPECT_EQ(config.readText("Z62_Net_0", "IsChoose", ""), "0");
        EXPECT_EQ(config.readText("Z62Language", "Name", ""), "花样");
    }
}

TEST(ConfigFile, AnsiFilesKeepTheirBytes)
{
    // Written by a Chinese Windows in its code page (GBK): the values are no UTF-8.
    const std::string gbkName = "\xBB\xA8\xD1\xF9";
    const std::string ansi = "[Z62Language]\r\nLanguage=2\r\nName=" + gbkName +
                             "\r\n; \xD7\xA2\xCA\xCD\r\n[Z62_Net_0]\r\nIsChoose=1\r\n";
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), ansi);
    EXPECT_EQ(config.readText("z62language", "NAME", ""), gbkName);
    EXPECT_EQ(config.readNumber("Z62Language", "Language", "1"), 2);
    ASSERT_TRUE(config.writeText("Z62_Net_0", "IsChoose", "0"));
    ASSERT_TRUE(config.writeText("Z62_Net_0", "Ip", "127.0.0.5"));
    std::string expected = ansi;
    expected.replace(expected.find("IsChoose=1"), 10, "IsChoose=0\r\nIp=127.0.0.5");
    EXPECT_EQ(readBytes(config.path()), expected);
}

TEST(ConfigFile, WritingKeepsEveryOtherLineAsItWas)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeBytes(config.path(), "; comment\n"
                              "[A]\n"
                              "x = 1 \n"
                              "; note in A\n"
                              "\n"
                              "[B]\n"
                              "y=2");
    ASSERT_TRUE(config.writeText("a", "X", "5"));
    ASSERT_TRUE(config.writeText("A", "z", "new"));
    ASSERT_TRUE(config.writeText("B", "w", "3"));
    ASSERT_TRUE(config.writeText("C", "v", "4"));
    EXPECT_EQ(readBytes(config.path()), "; comment\n"
                                        "[A]\n"
                                        "x=5\n"
                                        "; note in A\n"
                                        "z=new\n"
                                        "\n"
                                        "[B]\n"
                                        "y=2\n"
                                        "w=3\n"
                                        "[C]\n"
                                        "v=4\n");
}

TEST(ConfigFile, ValuesAndNamesCannotBreakTheFileApart)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    ASSERT_TRUE(config.writeText("S", "k", "one\r\n[Injected]\nx=1"));
    EXPECT_EQ(config.readText("Injected", "x", "missing"), "missing");
    EXPECT_FALSE(config.writeText("S]\n[T", "k", "v"));
    EXPECT_FALSE(config.writeText("S", "k=j", "v"));
    EXPECT_FALSE(config.writeText("", "k", "v"));
}

TEST(ConfigFile, DefaultSetsAreWrittenOnlyWhenTheFileIsMissing)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeStartupDefaults(config);
    const std::string startup = "[Z62_Net_0]\nIp=192.168.7.100\nIsChoose=1\n"
                                "[Z62_Net_Count]\ncount=0\n[Z62Language]\nLanguage=0\n";
    EXPECT_EQ(readBytes(config.path()), startup);
    writeWindowDefaults(config);
    writeReceiverDefaults(config);
    EXPECT_EQ(readBytes(config.path()), startup);

    const ConfigFile receiver(folder.file("receiver.ini"));
    writeReceiverDefaults(receiver);
    EXPECT_EQ(readBytes(receiver.path()),
              "[Z62_Net_0]\nIp=192.168.7.100\nIsChoose=1\nBackUp_Name=Z62_0\n"
              "[Z62_Net_Count]\ncount=1\n");
}

TEST(ConfigFile, ConcurrentWritersLoseNoKey)
{
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    constexpr int kThreads = 4;
    constexpr int kKeys = 500;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&config, t] {
                for (int k = 0; k < kKeys; ++k)
                    config.writeText("Keys", "t" + std::to_string(t) + "_" + std::to_string(k),
                                     std::to_string(k));
            });
        }
    }
    const ProfileDocument document = ConfigFile(config.path()).snapshot();
    int present = 0;
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            const auto value =
                document.value("Keys", "t" + std::to_string(t) + "_" + std::to_string(k));
            present += (value && *value == std::to_string(k)) ? 1 : 0;
        }
    }
    EXPECT_EQ(present, kThreads * kKeys);
}

} // namespace
