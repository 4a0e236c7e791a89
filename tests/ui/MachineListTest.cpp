#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QWidget>

#include "control/FleetMonitor.h"
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

TEST_F(MachineListTest, TheTargetIsMarkedNamedAndChosenByOneClick)
{
    // As after a search: every machine ticked, the first one the target.
    temp.writeMachines(addresses(3), {1, 1, 1});
    temp.config.writeText("Z62_Net_1", "Name", "Middle");
    list.load();
    EXPECT_EQ(list.box(1)->text(), QStringLiteral("Middle (127.0.0.2)"));
    EXPECT_TRUE(list.box(0)->font().bold());
    EXPECT_FALSE(list.box(1)->font().bold());
    EXPECT_TRUE(list.targetLabel()->text().endsWith(QStringLiteral("127.0.0.1")));

    // A click on the ticked machine one wants makes it the only one, never unticks it.
    list.box(1)->click();
    EXPECT_EQ(list.selectedAddress(), "127.0.0.2") << "the address, not the caption";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.box(i)->isChecked(), i == 1) << i;
        EXPECT_EQ(temp.isChoose(i), i == 1 ? 1 : 0) << i;
        EXPECT_EQ(list.box(i)->font().bold(), i == 1) << i;
    }
    EXPECT_TRUE(list.targetLabel()->text().endsWith(QStringLiteral("Middle (127.0.0.2)")));

    // The state line under each box: a mark and a word, from the fleet's view of the machine.
    FleetMachine sewing;
    sewing.address = "127.0.0.2";
    sewing.answered = sewing.online = true;
    sewing.work = 1;
    FleetMachine gone = sewing;
    gone.address = "127.0.0.3";
    gone.online = false;
    list.setLanguage(2);
    list.setStates({sewing, gone});
    EXPECT_EQ(list.stateLabel(0)->text(), QString());
    EXPECT_EQ(list.stateLabel(1)->text(), QStringLiteral("\u25B6 Working"));
    EXPECT_EQ(list.stateLabel(2)->text(), QStringLiteral("\u2716 Offline"));

    // A click on the only ticked box unticks it: no target, and the list says so.
    list.box(1)->click();
    EXPECT_FALSE(list.selectedAddress());
    EXPECT_TRUE(list.targetLabel()->text().endsWith(QStringLiteral("No machine chosen")));
}

} // namespace
