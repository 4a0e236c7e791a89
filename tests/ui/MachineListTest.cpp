#include <gtest/gtest.h>

#include <QCheckBox>
#include <QWidget>

#include "control/LinkState.h"
#include "tests/ui/PanelTestSupport.h"
#include "ui/MachineList.h"

namespace {

using namespace std::chrono_literals;
using panel_test::FakeMachine;
using panel_test::TempConfig;

std::vector<std::string> addresses(int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        out.push_back("127.0.0." + std::to_string(i + 1));
    }
    return out;
}

class MachineListTest : public ::testing::Test
{
protected:
    void SetUp() override { panel_test::ensureApplication(); }

    // The fake machine stands at the address of box 3 (127.0.0.3).
    TempConfig temp;
    FakeMachine machine{"127.0.0.3"};
    LinkSettings settings = machine.settings(temp.config);
    LinkState state;
    QWidget window;
    MachineList list{&window, temp.config, settings, state};
};

TEST_F(MachineListTest, LoadShowsFirstFifteenEntriesWithStoredCaptions)
{
    temp.writeMachines(addresses(20), std::vector<int>(20, 0));
    list.load();
    EXPECT_EQ(list.entries().size(), 20u);
    for (int k = 0; k < 15; ++k) {
        EXPECT_FALSE(list.box(k)->isHidden()) << k;
    }
    EXPECT_EQ(list.box(0)->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(list.box(14)->text(), QStringLiteral("127.0.0.15"));

    // The copy holds 100 entries; entries without a section show the default address.
    temp.config.writeText("Z62_Net_Count", "count", "150");
    list.load();
    EXPECT_EQ(list.entries().size(), 100u);
    EXPECT_EQ(list.entries()[99].address, "0,0,0,0");

    temp.config.writeText("Z62_Net_Count", "count", "0");
    list.load();
    for (int k = 0; k < 15; ++k) {
        EXPECT_TRUE(list.box(k)->isHidden()) << k;
    }
}

TEST_F(MachineListTest, TickingUnticksOthersInFileAtOnceAndQueriesPalette)
{
    temp.writeMachines(addresses(5), {1, 1, 0, 0, 1});
    list.load();
    ASSERT_TRUE(list.box(0)->isChecked());

    list.box(2)->click();
    const std::vector<int> expected = {0, 0, 1, 0, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(temp.isChoose(i), expected[std::size_t(i)]) << i;
        EXPECT_EQ(list.box(i)->isChecked(), expected[std::size_t(i)] == 1) << i;
    }
    EXPECT_EQ(list.selectedAddress(), "127.0.0.3");
    const auto received = machine.waitFor(1, 1s);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(panel_test::readI32(received[0].bytes, 4), 11); // PaletteQuery

    // Unticking the only ticked box: 0 in the file, no selection, nothing sent.
    list.box(2)->click();
    EXPECT_EQ(temp.isChoose(2), 0);
    EXPECT_FALSE(list.selectedAddress().has_value());
    EXPECT_FALSE(list.sendPaletteQuery());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(machine.received().size(), 1u);
}

TEST_F(MachineListTest, HiddenBoxKeepsItsTickAndStaysSelected)
{
    temp.writeMachines(addresses(5), {0, 0, 0, 0, 0});
    list.load();
    list.box(3)->click();
    ASSERT_EQ(temp.isChoose(3), 1);

    // A search shrinks the table to two unticked entries.
    temp.writeMachines(addresses(2), {0, 0});
    list.load();
    EXPECT_TRUE(list.box(3)->isHidden());
    EXPECT_TRUE(list.box(3)->isChecked());
    EXPECT_EQ(list.selectedAddress(), "127.0.0.4");
}

} // namespace
