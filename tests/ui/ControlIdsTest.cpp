#include "ui/ControlIds.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QDialog>

#include <gtest/gtest.h>

#include "control/LinkState.h"
#include "ui/CAboutDlg.h"
#include "ui/CDSFileDialog.h"
#include "ui/CDesignSet.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

// The numbers of all controls of the window that carry one, each as often as it occurs.
std::vector<int> numberedControls(const QWidget& window)
{
    std::vector<int> numbers;
    for (const QWidget* child : window.findChildren<QWidget*>()) {
        bool isNumber = false;
        const int number = child->objectName().toInt(&isNumber);
        if (isNumber)
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<int> range(int first, int last)
{
    std::vector<int> numbers;
    for (int n = first; n <= last; ++n)
        numbers.push_back(n);
    return numbers;
}

std::vector<int> sorted(std::vector<int> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Tools and tests outside the code find controls by these numbers, so a renamed or
// renumbered entry of the control table must not move, drop or duplicate one.
TEST(ControlIds, EveryWindowKeepsItsControlNumbers)
{
    ensureApplication();
    TempConfig temp;
    temp.writeMachines({"127.0.0.1"});
    const LinkSettings settings = temp.settings();
    LinkState state;

    std::vector<int> mainWindow = {1000, 1001, 1003, 1004, 1005, 1006, 1022, 1023, 1024, 1030,
                                   1031, 1033, 1034, 1037, 1046, 1047, 1048, 1049, 1054};
    const std::vector<int> machineBoxes = range(1007, 1021);
    mainWindow.insert(mainWindow.end(), machineBoxes.begin(), machineBoxes.end());

    const std::int32_t colorNumbers[] = {1, 2, 3};
    const struct
    {
        const char* window;
        std::function<std::unique_ptr<QDialog>()> open;
        std::vector<int> numbers;
    } cases[] = {
        {"main window",
         [&] { return std::make_unique<CHoopwatchDlg>(temp.config, settings, state); }, mainWindow},
        {"parameter dialog",
         [&] {
             return std::make_unique<CDesignSet>(nullptr, temp.config, settings, state, "127.0.0.1",
                                                 colorNumbers, 3);
         },
         {1,    1000, 1026, 1027, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
          1037, 1038, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053}},
        {"language dialog",
         [&] { return std::make_unique<CSetLanguage>(temp.config); },
         {1044, 1045, 1055}},
        {"about box", [] { return std::make_unique<CAboutDlg>(2); }, {1, 1100, 1101, 1102}},
        {"design file dialog",
         [] { return std::make_unique<CDSFileDialog>(nullptr); },
         {129, 130, 131, 132, 133}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        std::unique_ptr<QDialog> window = c.open();
        EXPECT_EQ(numberedControls(*window), sorted(c.numbers));
        window->done(0);
    }
}

} // namespace
