#include <algorithm>
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/UiTexts.h"
#include "control/FleetSession.h"
#include "control/LinkState.h"
#include "control/StatusDisplay.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/MachineList.h"
#include "ui/MainWindowLink.h"
#include "ui/MessageBoxes.h"
#include "PanelTestSupport.h"
#include "UiTestSupport.h"

using namespace ui_test;
using namespace std::chrono_literals;

namespace {

// A window on a table of one loopback machine, English, messages collected.
class TransferWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApplication();
        m_previous = setMessageHook([this](const QString& message) { messages << message; });
        temp.config.writeText("Z62Language", "Language", "2");
        settings = temp.settings();
    }
    void TearDown() override
    {
        machine.reset();
        setMessageHook(m_previous);
    }

    std::unique_ptr<CHoopwatchDlg> open()
    {
        auto window = std::make_unique<CHoopwatchDlg>(temp.config, settings, state);
        window->show();
        return window;
    }
    // Starts z62-sim at `address`, the table's only (chosen) machine; false when it is not built.
    bool startSim(const std::string& address, const std::vector<std::string>& options = {})
    {
        EXPECT_TRUE(startSimulatedMachine(temp, settings, address, machine, options));
        return machine != nullptr;
    }
    // A DST design of `squares` squares, padded after its end mark to `size` bytes so that it
    // takes several datagrams.
    QString designFile(const std::string& name, int squares, std::size_t size = 0)
    {
        std::vector<std::uint8_t> bytes = dstBytes(squares);
        if (bytes.size() < size)
            bytes.resize(size, 0);
        const std::string path = temp.file(name);
        writeFile(path, bytes);
        return QString::fromStdString(path);
    }
    int count(TextId id) const { return countHeaded(messages, text(id, 2)); }
    // Records the label of the open transfer dialog while `run` runs.
    QStringList dialogLabels(const std::function<void()>& run)
    {
        QStringList labels;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()))
                labels << dialog->labelText();
        });
        watch.start(20);
        run();
        return labels;
    }

    TempConfig temp;
    LinkSettings settings;
    LinkState state;
    std::unique_ptr<SimulatedMachines> machine;
    QStringList messages;
    MessageHook m_previous;
};

bool hasGrey(const QImage& image, const QRect& area)
{
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == 0xBEBEBE)
                return true;
    return false;
}

} // namespace

TEST_F(TransferWindow, AcknowledgementsOfADesignShowInItsDialogAndOneMessageFollows)
{
    if (!startSim("127.0.0.31"))
        GTEST_SKIP() << "z62-sim not built";
    auto window = open();
    window->importDesigns({designFile("three.dst", 2, 20481)}); // three datagrams
    const QStringList labels =
        dialogLabels([&] { window->findChild<QPushButton*>("1001")->click(); });
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) > 0; }, 3000))
        << messages.join(u'|').toStdString();
    settle(400);
    EXPECT_EQ(count(TextId::DesignSent), 1) << "one message for the whole design, not one a chunk";
    EXPECT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    const QString done = QString::fromStdString(transferAckText({3, 3}, 2));
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QString& label) {
        return label.endsWith(done);
    })) << labels.join(u'|').toStdString();

    // Outside a transfer an acknowledgement shows as it comes.
    Reply late;
    late.kind = ReplyKind::DesignChunkAck;
    late.sender = "127.0.0.31";
    late.length = 64;
    window->link().onReply(late);
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) == 2; }, 2000));
    window->done(0);
}

TEST_F(TransferWindow, ABatchIsAcknowledgedWithOneMessage)
{
    if (!startSim("127.0.0.33"))
        GTEST_SKIP() << "z62-sim not built";
    auto window = open();
    const QStringList files = {designFile("one.dst", 1), designFile("two.dst", 2, 10241)};
    window->batch().setFileChooser([&](QWidget*, const QString&) { return files; });
    window->findChild<QPushButton*>("1023")->click(); // three datagrams in two files
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) > 0; }, 3000))
        << messages.join(u'|').toStdString();
    settle(400);
    ASSERT_EQ(messages.size(), 1);
    // The one message names the machine the batch went to.
    EXPECT_EQ(messages[0], text(TextId::DesignSent, 2) + u'\n' + QStringLiteral("127.0.0.33"))
        << messages[0].toStdString();
    window->done(0);
}

TEST_F(TransferWindow, MissingAcknowledgementsAreToldOnceAfterTheGraceTime)
{
    // A machine that takes the datagrams and never answers.
    panel_test::FakeMachine silent("127.0.0.1");
    settings.machinePort = silent.port();
    temp.writeMachines({"127.0.0.1"});
    auto window = open();
    window->link().setAckGrace(300ms);
    window->importDesigns({designFile("two.dst", 2, 10241)});
    window->findChild<QPushButton*>("1001")->click();
    EXPECT_GE(silent.waitFor(2, 2000ms).size(), 2u);

    // Another machine's acknowledgement during the grace time neither counts nor hides.
    Reply stranger;
    stranger.kind = ReplyKind::DesignChunkAck;
    stranger.sender = "127.0.0.9";
    stranger.length = 64;
    window->link().onReply(stranger);

    // The warning names the design and the machine before the count.
    const QString warning = text(TextId::TransferNotAcknowledged, 2) + u'\n' +
                            QStringLiteral("two.dst  \u2192  127.0.0.1\n") +
                            QString::fromStdString(transferAckText({0, 2}, 2));
    ASSERT_TRUE(waitFor([&] { return messages.contains(warning); }, 3000))
        << messages.join(u'|').toStdString();
    settle(600);
    EXPECT_EQ(messages.count(warning), 1) << "told once";
    EXPECT_EQ(count(TextId::DesignSent), 1) << "only the stranger's own acknowledgement";
    window->done(0);
}

TEST_F(TransferWindow, ViewShowsProgressOnlyOnTheDesignTheMachineSewsWithShareAndTimeLeft)
{
    // Two stitches a second: the design of 30 squares takes about a minute.
    if (!startSim("127.0.0.32", {"--speed", "2"}))
        GTEST_SKIP() << "z62-sim not built";
    auto window = open();
    const QString sent = designFile("sewn.dst", 30);
    window->importDesigns({sent});
    window->findChild<QPushButton*>("1001")->click();
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) == 1; }, 3000));
    // The commands go to the ticked machine, once the list has been loaded.
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(0)->isChecked(); }, 4000));
    window->findChild<QPushButton*>("1006")->click();
    ASSERT_TRUE(waitFor([&] { return count(TextId::EmbConfirmDone) == 1; }, 3000));
    window->findChild<QPushButton*>("1004")->click();
    ASSERT_TRUE(waitFor([&] { return count(TextId::LeverDone) == 1; }, 3000));

    // Two polls three seconds apart give the speed.
    ASSERT_TRUE(waitFor([&] { return window->progressShown().percent.has_value(); }, 12000));
    ProgressShown shown = window->progressShown();
    EXPECT_TRUE(shown.drawProgress);
    EXPECT_GE(*shown.percent, 0);
    EXPECT_LT(*shown.percent, 100);
    ASSERT_TRUE(shown.secondsLeft);
    EXPECT_GT(*shown.secondsLeft, 10);
    EXPECT_LT(*shown.secondsLeft, 300);

    // A new design: the machine's stitch number for the old one comes back at the next poll,
    // but the new design is drawn plainly.
    window->importDesigns({designFile("new.dst", 3)});
    ASSERT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch > 0; }, 5000));
    settle(50);
    EXPECT_FALSE(window->progressShown().drawProgress);
    EXPECT_FALSE(hasGrey(window->grab().toImage(), window->designArea()))
        << "no sewn part drawn on a design that was not sent";

    // The design the machine sews, opened again, shows its progress again.
    window->importDesigns({sent});
    ASSERT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch > 0; }, 5000));
    settle(50);
    EXPECT_TRUE(window->progressShown().drawProgress);
    EXPECT_TRUE(hasGrey(window->grab().toImage(), window->designArea()));
    window->done(0);
}

TEST_F(TransferWindow, ViewFollowsOnlyThePolledMachineAndSaysWhenItStopsAnswering)
{
    // Two machines sew two designs: the polled one slowly, the other twenty times as fast.
    if (!startSim("127.0.0.34-35", {"--auto-sew", "--speeds", "2,40"}))
        GTEST_SKIP() << "z62-sim not built";
    temp.writeMachines({"127.0.0.34", "127.0.0.35"}, {0, 1});
    auto window = open();
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(1)->isChecked(); }, 4000));
    window->importDesigns({designFile("fast.dst", 300)});
    window->findChild<QPushButton*>("1001")->click();
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) == 1; }, 3000));
    window->chooseMachine("127.0.0.34");
    const QString slow = designFile("slow.dst", 30);
    window->importDesigns({slow});
    window->findChild<QPushButton*>("1001")->click();
    ASSERT_TRUE(waitFor([&] { return count(TextId::DesignSent) == 2; }, 3000));

    // The fleet asks both machines every second; only the polled one's answers reach the view,
    // so its speed is known after two of its answers and share and time left show.
    ASSERT_TRUE(waitFor([&] { return window->progressShown().percent.has_value(); }, 12000));
    const ProgressShown shown = window->progressShown();
    EXPECT_TRUE(shown.drawProgress);
    ASSERT_TRUE(shown.secondsLeft);
    EXPECT_GT(*shown.secondsLeft, 20) << "the slow machine's time, not the fast one's";
    std::int32_t fast = 0;
    for (const FleetMachine& m : window->link().fleet()->monitor().machines())
        if (m.address == "127.0.0.35")
            fast = m.stitch;
    const std::int32_t polled = state.machineStatus.snapshot().currentStitch;
    EXPECT_GT(fast, 3 * polled + 20) << "the other machine is far ahead";
    EXPECT_LT(polled, window->design().summary.stitchCount);

    // A machine that stops answering reads offline, with nothing estimated, within 10 s.
    machine->process().stop();
    ASSERT_TRUE(waitFor([&] { return window->progressShown().offline; }, 10000));
    EXPECT_FALSE(window->progressShown().percent.has_value());
    window->done(0);
}
