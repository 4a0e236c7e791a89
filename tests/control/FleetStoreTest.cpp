#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "control/FleetStore.h"
#include "tests/support/TempFolder.h"

namespace {

const std::string kHeader = "[HoopwatchFleet]\nversion=1\n";
const std::string kGood = "[127.0.0.1]\nname=rose.dst\nstitches=6000\ncolors=5\ndesignId=4\n"
                          "sentAt=1700000000\n";
const SentDesign kRose{"rose.dst", 6000, 5, 4, 1700000000};

} // namespace

TEST(FleetStore, WritesOneSectionPerMachine)
{
    const std::string text = serializeFleetFile({{"127.0.0.1", kRose}});
    EXPECT_EQ(text, "; Hoopwatch: the design last sent to each machine from this PC.\n" + kHeader +
                        "\n" + kGood);
}

TEST(FleetStore, SkipsBadEntriesAndKeepsTheGoodOnes)
{
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"missing key", "[127.0.0.2]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=1\n"},
        {"negative number",
         "[127.0.0.2]\nname=a.dst\nstitches=-1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"signed number", "[127.0.0.2]\nname=a.dst\nstitches=+1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"text for a number",
         "[127.0.0.2]\nname=a.dst\nstitches=12ab\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"number too large",
         "[127.0.0.2]\nname=a.dst\nstitches=2147483648\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"blank in a number",
         "[127.0.0.2]\nname=a.dst\nstitches= 1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"duplicate key",
         "[127.0.0.2]\nname=a.dst\nname=b.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"unknown key",
         "[127.0.0.2]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\nrun=rm -rf\n"},
        {"line without =",
         "[127.0.0.2]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\ngarbage\n"},
        {"empty name", "[127.0.0.2]\nname=\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"control character in name",
         "[127.0.0.2]\nname=a\x1b[2J.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"broken UTF-8 in name",
         "[127.0.0.2]\nname=a\xff.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"folder in name",
         "[127.0.0.2]\nname=../a.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"not an address",
         "[host.example]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
        {"address out of range",
         "[127.0.0.300]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n"},
    };
    for (const auto& [what, entry] : bad) {
        SCOPED_TRACE(what);
        for (const std::string& text : {kHeader + kGood + entry, kHeader + entry + kGood}) {
            const auto designs = parseFleetFile(text);
            ASSERT_TRUE(designs);
            EXPECT_EQ(*designs, (SentDesignMap{{"127.0.0.1", kRose}}));
        }
    }
    // A repeated machine: the first entry wins. Keys before any section belong to none.
    const std::string again =
        "[127.0.0.1]\nname=b.dst\nstitches=1\ncolors=1\ndesignId=1\nsentAt=1\n";
    EXPECT_EQ(*parseFleetFile(kHeader + kGood + again), (SentDesignMap{{"127.0.0.1", kRose}}));
    EXPECT_EQ(*parseFleetFile(kHeader + "name=b.dst\n" + kGood),
              (SentDesignMap{{"127.0.0.1", kRose}}));
}

TEST(FleetStore, ReadsCarriageReturnsCommentsAndNamesWithBlanksAndEquals)
{
    const std::string text = "; written elsewhere\r\n[HoopwatchFleet]\r\nversion=1\r\n\r\n"
                             "[127.000.0.01]\r\nname= my=rose ä.dst \r\nstitches=0\r\ncolors=0\r\n"
                             "designId=0\r\nsentAt=0\r\n";
    const auto designs = parseFleetFile(text);
    ASSERT_TRUE(designs);
    EXPECT_EQ(*designs, (SentDesignMap{{"127.0.0.1", {" my=rose ä.dst ", 0, 0, 0, 0}}}));
}

TEST(FleetStore, TextThatIsNotAFleetFileIsRefusedWhole)
{
    for (const std::string& text :
         {std::string("[Z62_Net_Count]\ncount=1\n"), "[HoopwatchFleet]\nversion=2\n" + kGood,
          "version=1\n[HoopwatchFleet]\n" + kGood,
          std::string("\x7f"
                      "ELF\x02\x01",
                      6),
          std::string("[HoopwatchFleet]")}) {
        EXPECT_FALSE(parseFleetFile(text)) << text;
    }
    std::string huge = kHeader + kGood;
    huge.resize(kMaxFleetFileBytes + 1, '\n');
    EXPECT_FALSE(parseFleetFile(huge));
}

TEST(FleetStore, KeepsAtMostTheLimitOfEntries)
{
    std::string text = kHeader;
    for (std::size_t i = 0; i < kMaxFleetEntries + 10; ++i) {
        text += "[10." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
                ".1]\nname=a.dst\nstitches=1\ncolors=1\ndesignId=0\nsentAt=1\n";
    }
    EXPECT_EQ(parseFleetFile(text)->size(), kMaxFleetEntries);

    TempFolder folder;
    FleetStore store(folder.file("fleet.ini"));
    SentDesignMap many;
    for (std::size_t i = 0; i < kMaxFleetEntries + 1; ++i)
        many["10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256)] = {
            "a.dst", 1, 1, 0, static_cast<std::int64_t>(i + 1)};
    ASSERT_TRUE(store.save(many));
    const SentDesignMap kept = store.load();
    EXPECT_EQ(kept.size(), kMaxFleetEntries);
    EXPECT_FALSE(kept.contains("10.0.0.0")); // the oldest send goes
}

TEST(FleetStore, SavesWholeAndLeavesNoTemporaryFiles)
{
    TempFolder folder;
    FleetStore store(folder.file("hoopwatch-fleet.ini"));
    EXPECT_TRUE(store.load().empty());
    ASSERT_TRUE(store.save({{"127.0.0.1", kRose}}));
    ASSERT_TRUE(store.save({{"127.0.0.1", kRose}, {"127.0.0.2", kRose}}));
    EXPECT_EQ(store.load().size(), 2u);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"hoopwatch-fleet.ini"});

    FleetStore nowhere(folder.file("missing-folder/hoopwatch-fleet.ini"));
    EXPECT_FALSE(nowhere.save({{"127.0.0.1", kRose}}));
}

TEST(FleetStore, FilesItMustNotReplaceReadEmptyAndStayAsTheyAre)
{
    TempFolder folder;
    std::string huge = kHeader + kGood;
    huge.resize(kMaxFleetFileBytes + 1, ';');
    const std::vector<std::pair<const char*, std::string>> files = {
        {"another program's file", "[Z62_Net_Count]\ncount=1\n"},
        {"a newer format", "[HoopwatchFleet]\nversion=2\n"},
        {"too large", huge},
    };
    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        const std::string path = folder.file("fleet.ini");
        writeBytes(path, bytes);
        FleetStore store(path);
        EXPECT_TRUE(store.load().empty());
        EXPECT_FALSE(store.writable());
        EXPECT_FALSE(store.save({{"127.0.0.1", kRose}}));
        EXPECT_EQ(readBytes(path), bytes);
    }
    // A folder in the file's place is not read and not replaced either.
    std::filesystem::create_directory(folder.file("dir.ini"));
    FleetStore folderStore(folder.file("dir.ini"));
    EXPECT_TRUE(folderStore.load().empty());
    EXPECT_FALSE(folderStore.save({{"127.0.0.1", kRose}}));
    // An empty file, as an interrupted first write leaves it, is ours.
    writeBytes(folder.file("empty.ini"), "");
    FleetStore empty(folder.file("empty.ini"));
    EXPECT_TRUE(empty.load().empty());
    EXPECT_TRUE(empty.save({{"127.0.0.1", kRose}}));
}

TEST(FleetStore, CanonicalAddresses)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"127.0.0.1", "127.0.0.1"},
        {" 127.0.0.1\t", "127.0.0.1"},
        {"127.000.000.010", "127.0.0.10"},
        {"255.255.255.255", "255.255.255.255"},
        {"256.0.0.1", std::nullopt},
        {"127.0.0", std::nullopt},
        {"127.0.0.1.", std::nullopt},
        {"127.0.0.0001", std::nullopt},
        {"127.0.0.-1", std::nullopt},
        {"0,0,0,0", std::nullopt},
        {"", std::nullopt},
        {"127.0 .0.1", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(canonicalAddress(text), expected) << text;
}

TEST(FleetStore, CleanDesignNames)
{
    const std::string longName(300, 'a');
    std::string cutName(kMaxDesignNameBytes - 1, 'a'); // then a two-byte character
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/home/op/rose.dst", "rose.dst"},
        {"C:\\designs\\rose.dst", "rose.dst"},
        {"玫瑰.dst", "玫瑰.dst"},
        {"a\nb\x7f", "a\xEF\xBF\xBD"
                     "b\xEF\xBF\xBD"},
        {"a\xC3", "a\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate is not UTF-8
        {longName, std::string(kMaxDesignNameBytes, 'a')},
        {cutName + "ä", cutName},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(cleanDesignName(name), expected) << name;
}
