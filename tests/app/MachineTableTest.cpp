#include "app/MachineTable.h"

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

// Six machine sections of which the count makes only the first three part of the table.
const std::string kSixSections = "[Z62_Net_Count]\ncount=3\n"
                                 "[Z62_Net_0]\nIp=127.0.0.10\nIsChoose=0\n"
                                 "[Z62_Net_1]\nIsChoose=0\n"
                                 "[Z62_Net_2]\nIp=127.0.0.12\nIsChoose=0\n"
                                 "[Z62_Net_3]\nIp=127.0.0.13\nIsChoose=1\n"
                                 "[Z62_Net_4]\nIp=127.0.0.14\nIsChoose=1\n"
                                 "[Z62_Net_5]\nIp=127.0.0.15\nIsChoose=1\n";

struct TableFile
{
    TempFolder folder;
    ConfigFile config{folder.file("ZUZiruro.ini")};
    MachineTable table{config};
};

TEST(MachineTable, OnlyEntriesBelowCountBelongToTheTable)
{
    TableFile file;
    writeBytes(file.config.path(), kSixSections);
    const auto entries = file.table.load();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].address, "127.0.0.10");
    EXPECT_EQ(entries[1].address, "0,0,0,0") << "an entry without Ip";
    EXPECT_EQ(file.table.address(1), "0,0,0,0");
    EXPECT_EQ(entries[2].address, "127.0.0.12");
    EXPECT_FALSE(entries[2].ticked);
    EXPECT_FALSE(file.table.firstChosenAddress()) << "ticked entries 3 to 5 lie beyond count";
    EXPECT_EQ(file.table.load(2).size(), 2u);
}

TEST(MachineTable, FirstChosenIsTheLowestIndexWithNonZeroIsChoose)
{
    TableFile file;
    writeBytes(file.config.path(), "[Z62_Net_Count]\ncount=4\n"
                                   "[Z62_Net_0]\nIp=127.0.0.10\nIsChoose=abc\n"
                                   "[Z62_Net_2]\nIp=127.0.0.12\nIsChoose= 2\n"
                                   "[Z62_Net_1]\nIp=127.0.0.11\nIsChoose=0\n"
                                   "[Z62_Net_3]\nIp=127.0.0.13\nIsChoose=1\n");
    EXPECT_EQ(file.table.firstChosenAddress().value_or(""), "127.0.0.12");
}

TEST(MachineTable, AppendAddsTickedEntriesAndSkipsListedAddresses)
{
    TableFile file;
    writeBytes(file.config.path(), kSixSections);
    const std::string before = readBytes(file.config.path());

    EXPECT_FALSE(file.table.append("127.0.0.12"));
    EXPECT_FALSE(file.table.append("0,0,0,0")) << "entry 1 has no Ip and reads as 0,0,0,0";
    EXPECT_EQ(readBytes(file.config.path()), before) << "a listed address writes nothing";

    // Listed only beyond count: appended again at index count, over the old section.
    EXPECT_TRUE(file.table.append("127.0.0.14"));
    EXPECT_EQ(file.table.count(), 4);
    EXPECT_EQ(file.table.address(3), "127.0.0.14");
    EXPECT_EQ(file.table.isChoose(3), 1);
    EXPECT_EQ(file.table.address(4), "127.0.0.14") << "other sections stay";

    EXPECT_TRUE(file.table.append("127.0.0.99"));
    EXPECT_EQ(file.table.count(), 5);
    EXPECT_EQ(file.table.address(4), "127.0.0.99");
    EXPECT_FALSE(file.table.append("127.0.0.99"));
}

TEST(MachineTable, AppendPlacesTheEntryAtTheIndexTheCountNames)
{
    const struct
    {
        const char* countLine;
        int index;
    } cases[] = {{"count=03", 3}, {"count= 2 ", 2}, {"count=abc", 0}, {"count=-4", 0}, {"", 0}};
    for (const auto& c : cases) {
        TableFile file;
        writeBytes(file.config.path(), std::string("[Z62_Net_Count]\n") + c.countLine + "\n");
        ASSERT_TRUE(file.table.append("127.0.0.50")) << c.countLine;
        EXPECT_EQ(file.table.count(), c.index + 1) << c.countLine;
        EXPECT_EQ(file.table.address(c.index), "127.0.0.50") << c.countLine;
        EXPECT_EQ(file.table.isChoose(c.index), 1) << c.countLine;
    }
}

TEST(MachineTable, ResetEmptiesTheTableAndKeepsTheSections)
{
    TableFile file;
    writeBytes(file.config.path(), kSixSections);
    file.table.reset();
    EXPECT_EQ(file.table.count(), 0);
    EXPECT_TRUE(file.table.load().empty());
    EXPECT_TRUE(file.table.append("127.0.0.13"));
    EXPECT_EQ(file.table.address(0), "127.0.0.13");
    EXPECT_EQ(file.table.address(5), "127.0.0.15");
}

TEST(MachineTable, TickingOneUnticksTheOthersBelowCount)
{
    TableFile file;
    writeBytes(file.config.path(), kSixSections);
    for (int i = 0; i < 3; ++i)
        file.table.setChosen(i, true);

    file.table.tick(2, true);
    EXPECT_EQ(file.table.isChoose(0), 0);
    EXPECT_EQ(file.table.isChoose(1), 0);
    EXPECT_EQ(file.table.isChoose(2), 1);
    EXPECT_EQ(file.table.isChoose(4), 1) << "entries beyond count are not touched";
    EXPECT_EQ(file.table.firstChosenAddress().value_or(""), "127.0.0.12");

    file.table.tick(0, true);
    file.table.setChosen(1, true);
    file.table.tick(0, false);
    EXPECT_EQ(file.table.isChoose(0), 0);
    EXPECT_EQ(file.table.isChoose(1), 1) << "unticking touches only its own entry";
    EXPECT_EQ(file.table.isChoose(2), 0);
}

TEST(MachineTable, ConcurrentAppendsAddEveryMachineOnce)
{
    TableFile file;
    file.table.reset();
    constexpr int kMachines = 20;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&file, t] {
                for (int i = 0; i < kMachines; ++i) {
                    const int machine = (i * (t + 1) * 7) % kMachines;
                    file.table.append("127.0.1." + std::to_string(machine));
                }
                for (int i = 0; i < kMachines; ++i)
                    file.table.append("127.0.1." + std::to_string(i));
            });
        }
    }
    const auto entries = file.table.load();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kMachines));
    std::set<std::string> addresses;
    for (const auto& entry : entries)
        addresses.insert(entry.address);
    EXPECT_EQ(addresses.size(), static_cast<std::size_t>(kMachines));
}

} // namespace

TEST(MachineTable, NamesFollowTheirMachine)
{
    TableFile file;
    // A file written before machines had names reads as before: no entry is named.
    writeBytes(file.config.path(), kSixSections);
    const std::string before = readBytes(file.config.path());
    for (const MachineEntry& entry : file.table.load())
        EXPECT_EQ(entry.name, "");
    EXPECT_EQ(readBytes(file.config.path()), before);

    EXPECT_TRUE(file.table.setName("127.0.0.12", "  刺绣机 B2 "));
    EXPECT_EQ(file.table.name(2), "刺绣机 B2") << "kept without the blanks around it";
    EXPECT_EQ(file.table.load()[2].name, "刺绣机 B2");
    EXPECT_NE(readBytes(file.config.path()).find("Name=刺绣机 B2"), std::string::npos);
    for (const char* refused : {"line\nbreak", "\"quoted\"", "bell\a", "\xff\xfe",
                                "12345678901234567890123456789012345678901"})
        EXPECT_FALSE(file.table.setName("127.0.0.12", refused)) << refused;
    EXPECT_FALSE(file.table.setName("127.0.0.13", "beyond count"));
    EXPECT_EQ(file.table.name(2), "刺绣机 B2");
    EXPECT_EQ(machineLabel("127.0.0.12", file.table.name(2)), "刺绣机 B2 (127.0.0.12)");
    EXPECT_EQ(machineLabel("127.0.0.10", file.table.name(0)), "127.0.0.10");

    // A search empties the table; the machine finds its name again at its new index, and the
    // machine that now takes the named section does not inherit it.
    ASSERT_TRUE(file.table.reset());
    ASSERT_TRUE(file.table.append("127.0.0.77"));
    ASSERT_TRUE(file.table.append("127.0.0.10"));
    ASSERT_TRUE(file.table.append("127.0.0.12"));
    EXPECT_EQ(file.table.name(0), "");
    EXPECT_EQ(file.table.name(1), "");
    EXPECT_EQ(file.table.name(2), "刺绣机 B2");
    ASSERT_TRUE(file.table.reset());
    ASSERT_TRUE(file.table.append("127.0.0.12"));
    ASSERT_TRUE(file.table.append("127.0.0.77"));
    ASSERT_TRUE(file.table.append("127.0.0.10"));
    EXPECT_EQ(file.table.name(0), "刺绣机 B2");
    EXPECT_EQ(file.table.name(2), "") << "the old section of the named machine";

    // Removing an entry moves the ones behind it up with their ticks and names.
    ASSERT_TRUE(file.table.setName("127.0.0.10", "C"));
    ASSERT_TRUE(file.table.tick(2, true));
    ASSERT_TRUE(file.table.remove("127.0.0.77"));
    const auto entries = file.table.load();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "刺绣机 B2");
    EXPECT_EQ(entries[1].address, "127.0.0.10");
    EXPECT_EQ(entries[1].name, "C");
    EXPECT_TRUE(entries[1].ticked);
    EXPECT_FALSE(file.table.remove("127.0.0.77"));
    ASSERT_TRUE(file.table.append("127.0.0.99"));
    EXPECT_EQ(file.table.name(2), "") << "the freed section keeps no name";

    // A count edited by hand far past the sections: only the sections present move.
    writeBytes(file.config.path(),
               "[Z62_Net_Count]\ncount=2000000000\n"
               "[Z62_Net_0]\nIp=127.0.0.1\n[Z62_Net_1]\nIp=127.0.0.2\nName=B\n");
    ASSERT_TRUE(file.table.remove("127.0.0.1"));
    EXPECT_EQ(file.table.count(), 1999999999);
    EXPECT_EQ(file.table.address(0), "127.0.0.2");
    EXPECT_EQ(file.table.name(0), "B");
    EXPECT_EQ(file.table.address(1), "0,0,0,0");
    EXPECT_EQ(file.table.name(1), "");
}

TEST(MachineTable, DesignFolderIsKeptInOurOwnSection)
{
    TableFile file;
    EXPECT_EQ(readDesignFolder(file.config), "");
    EXPECT_TRUE(writeDesignFolder(file.config, "/home/op/设计"));
    EXPECT_EQ(readDesignFolder(file.config), "/home/op/设计");
    EXPECT_NE(readBytes(file.config.path()).find("[Hoopwatch]"), std::string::npos);
    // A folder that would not read back as written is not kept.
    for (const std::string& refused :
         {std::string(100, 'a'), std::string(" /lead"), std::string("\"/q\""), std::string()})
        EXPECT_FALSE(writeDesignFolder(file.config, refused)) << refused;
    EXPECT_EQ(readDesignFolder(file.config), "/home/op/设计");
}
