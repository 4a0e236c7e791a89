#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/ConfigFile.h"
#include "app/Utf8Path.h"
#include "control/DesignTransfer.h"
#include "control/FleetStore.h"
#include "control/ViewProgress.h"
#include "design/DesignLoader.h"
#include "tests/support/TempFolder.h"

// Every file the programs read or write, in a folder and under a name in Chinese or with
// accents: the design (read for sending, loaded, stamped for the view), the settings file and
// the fleet file beside it. Runs the same on Linux and on Windows (under Wine), where a name
// passed narrow would be read in the ANSI code page and not be found.
TEST(FileNames, ChineseAndAccentedNamesAreReadAndWritten)
{
    // A DST of one 8.1 mm square.
    std::string dst(512, ' ');
    dst += std::string("\0\0\x07\0\0\x23\0\0\x0B\0\0\x13\0\0\xF3", 15);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"花样", "花样.dst"},
        {"Café", "flowé.dst"},
        {"玫瑰 Crème", "Ünïcödé 玫瑰.DST"},
    };
    TempFolder temp;
    for (const auto& [folderName, fileName] : cases) {
        SCOPED_TRACE(fileName);
        const std::filesystem::path folder = temp.path() / pathFromUtf8(folderName);
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        const std::string folderText = utf8FromPath(folder);
        const std::string design = folderText + "/" + fileName;
        std::ofstream(pathFromUtf8(design), std::ios::binary) << dst;

        const DesignFileBytes read = readDesignFile(design);
        EXPECT_FALSE(read.error.has_value());
        EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), dst);
        Design loaded;
        EXPECT_TRUE(loadDesign(design, &loaded));
        const auto stamp = designFileStamp(design);
        ASSERT_TRUE(stamp.has_value());
        EXPECT_EQ(stamp->size, dst.size());

        const std::string settings = folderText + "/ZUZiruro.ini";
        EXPECT_TRUE(ConfigFile(settings).writeText("Z62_Net_0", "Ip", "127.0.0.9"));
        EXPECT_EQ(ConfigFile(settings).readText("Z62_Net_0", "Ip", ""), "127.0.0.9");

        FleetStore fleet(FleetStore::pathBeside(settings));
        EXPECT_TRUE(fleet.load().empty());
        EXPECT_TRUE(fleet.save({{"127.0.0.9", {fileName, 4, 1, 7, 1700000000}}}));
        EXPECT_TRUE(std::filesystem::is_regular_file(folder / "hoopwatch-fleet.ini"));
        const SentDesignMap back = FleetStore(FleetStore::pathBeside(settings)).load();
        ASSERT_EQ(back.count("127.0.0.9"), 1u);
        EXPECT_EQ(back.at("127.0.0.9").name, fileName);
    }
}
