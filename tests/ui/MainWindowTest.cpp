#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include "app/UiTexts.h"
#include "control/FleetSession.h"
#include "control/LinkState.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/ColorPanel.h"
#include "ui/ControlIds.h"
#include "ui/DemoMachines.h"
#include "ui/MachineList.h"
#include "ui/MainWindowLink.h"
#include "ui/MachinesWindow.h"
#include "ui/MessageBoxes.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

// A window on a table of one loopback machine, English, messages collected.
class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApplication();
        m_previous = setMessageHook([this](const QString& message) {
            messages << message;
            messageOnUiThread =
                messageOnUiThread && QThread::currentThread() == QApplication::instance()->thread();
        });
        temp.writeMachines({"127.0.0.1"});
        temp.config.writeText("Z62Language", "Language", "2");
        settings = temp.settings();
    }
    void TearDown() override { setMessageHook(m_previous); }

    std::unique_ptr<CHoopwatchDlg> open()
    {
        auto window = std::make_unique<CHoopwatchDlg>(temp.config, settings, state);
        window->show();
        return window;
    }
    // Starts `machines` at `addresses` on the window's machine port, answering on a known
    // port, with an empty table for the opening search to fill.
    ::testing::AssertionResult startDemo(DemoMachines& machines, const QString& sim,
                                         const QStringList& addresses)
    {
        settings.listenPort = static_cast<std::uint16_t>(settings.machinePort + 1);
        temp.config.writeText("Z62_Net_Count", "count", "0");
        QString error;
        if (!machines.start(sim, addresses, settings.machinePort, settings.listenPort, {}, &error))
            return ::testing::AssertionFailure() << error.toStdString();
        return ::testing::AssertionSuccess();
    }
    QString designFile(const std::string& name, int squares = 1)
    {
        const std::string path = temp.file(name);
        writeFile(path, dstBytes(squares));
        return QString::fromStdString(path);
    }

    TempConfig temp;
    LinkSettings settings;
    LinkState state;
    QStringList messages;
    bool messageOnUiThread = true;
    MessageHook m_previous;
};

} // namespace

TEST_F(MainWindow, ImportLoadsTheFileAndSetsPathAndName)
{
    auto window = open();
    const QString path = designFile("square.dst", 3);
    MachineStatus status;
    status.currentStitch = 77;
    state.machineStatus.store(status);
    window->setDesignChooser([&](QWidget*) { return QStringList{path}; });
    window->findChild<QPushButton*>(controlName(MainControl::InputDesign))->click();
    EXPECT_EQ(window->designPath(), path.toStdString());
    EXPECT_EQ(window->designFileName(), "square.dst");
    EXPECT_EQ(window->design().summary.colorCount, 3);
    EXPECT_EQ(window->colorPanel().colorCount(), 3);
    EXPECT_EQ(state.machineStatus.snapshot().currentStitch, 0) << "a new design has no progress";
}

TEST_F(MainWindow, ImportOfFourFilesKeepsTheLast)
{
    auto window = open();
    QStringList paths;
    for (int n = 1; n <= 4; ++n)
        paths << designFile("d" + std::to_string(n) + ".dst", n);
    window->importDesigns(paths);
    EXPECT_EQ(window->designFileName(), "d4.dst");
    EXPECT_EQ(window->design().summary.colorCount, 4);
}

TEST_F(MainWindow, ImportRefusesAFileNoMachineTakesAndSaysSo)
{
    auto window = open();
    window->importDesigns({designFile("first.dst", 2)});
    // Sparse: 40,960,001 bytes that take no room and are never read.
    const std::string huge = temp.file("huge.dst");
    writeFile(huge, {});
    ASSERT_EQ(::truncate(huge.c_str(), 40'960'001), 0);
    window->importDesigns({QString::fromStdString(huge)});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], text(TextId::DesignFileTooLargeToOpen, 2));
    EXPECT_EQ(window->design().stitches.count, 0);
    EXPECT_EQ(window->design().summary.colorCount, 1);
}

TEST_F(MainWindow, ImportStopsAtAFolder)
{
    auto window = open();
    const QString first = designFile("first.dst", 2);
    const QString later = designFile("later.dst", 3);
    window->importDesigns({first, temp.dir.path(), later});
    EXPECT_EQ(window->design().summary.colorCount, 2);
    EXPECT_EQ(window->designPath(), temp.dir.path().toStdString());
}

TEST_F(MainWindow, PaintsFieldBorderAndStitchesOnlyWithADesign)
{
    auto window = open();
    const QRect area = window->designArea();
    EXPECT_EQ(area.topLeft(), QPoint(170, 30));
    const QImage empty = window->grab().toImage();
    EXPECT_FALSE(isWhite(empty.pixel(area.center()))) << "no design: the background shows";

    window->importDesigns({designFile("square.dst", 2)});
    const QImage image = window->grab().toImage();
    EXPECT_TRUE(isBlack(image.pixel(area.topLeft())));
    EXPECT_TRUE(isBlack(image.pixel(area.right(), area.center().y())));
    EXPECT_TRUE(isBlack(image.pixel(area.center().x(), area.bottom())));
    EXPECT_TRUE(isWhite(image.pixel(area.left() + 2, area.top() + 2)));
    EXPECT_GT(drawnPixels(image, area), 100) << "the squares' lines";
    // The strip under the field is white behind its text.
    const QRect strip = window->stripArea();
    EXPECT_TRUE(isWhite(image.pixel(strip.right() - 2, strip.bottom() - 2)));
}

TEST_F(MainWindow, EscapeClosesAndSoDoesEnterOnACheckBox)
{
    {
        auto window = open();
        QTest::keyClick(window.get(), Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), QDialog::Rejected);
    }
    {
        auto window = open();
        ASSERT_TRUE(waitFor([&] { return window->machineList().box(0)->isVisible(); }, 4000));
        window->machineList().box(0)->setFocus();
        QTest::keyClick(window->machineList().box(0), Qt::Key_Return);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(MainWindow, CommandsReportTheirFailuresInTheWindowLanguage)
{
    temp.config.writeText("Z62_Net_Count", "count", "0");
    auto window = open();
    window->findChild<QPushButton*>(controlName(MainControl::Jog))->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], text(TextId::MachineNotOnline, 2));

    // Nothing imported yet: the send names the missing design.
    window->findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1], text(TextId::DesignPathEmpty, 2));

    window->importDesigns({QString::fromStdString(temp.file("gone.dst"))});
    window->findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[2], text(TextId::DesignFileUnreadable, 2));

    // Parameters without a ticked machine.
    window->findChild<QPushButton*>(controlName(MainControl::Parameters))->click();
    ASSERT_EQ(messages.size(), 4);
    EXPECT_EQ(messages[3], text(TextId::UnselectedMachine, 2));
}

TEST_F(MainWindow, SettingsThatCannotBeWrittenAreReportedOnceInTheWindowLanguage)
{
    for (const int language : {1, 2}) {
        SCOPED_TRACE(language);
        messages.clear();
        temp.config.clearFailure();
        QFile::setPermissions(QString::fromStdString(temp.path),
                              QFile::ReadOwner | QFile::WriteOwner);
        temp.config.writeText("Z62Language", "Language", std::to_string(language));
        QFile::setPermissions(QString::fromStdString(temp.path), QFile::ReadOwner);
        auto window = open();
        // A dialog's write, refused; then more of them while the message is up.
        EXPECT_FALSE(temp.config.writeText("Z62_Net_0", "IsChoose", "0"));
        ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }, 3000));
        EXPECT_FALSE(temp.config.writeText("Z62_Net_0", "BackUp_Name", "second"));
        settle(1300); // past the next tick of the one-second timer
        ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
        const ConfigFailure failure{TextId::ConfigReadOnly, temp.path};
        EXPECT_EQ(messages[0], QString::fromStdString(configFailureMessage(failure, language)));
        EXPECT_TRUE(messages[0].startsWith(text(TextId::ConfigReadOnly, language)));
    }
    QFile::setPermissions(QString::fromStdString(temp.path), QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(MainWindow, SentDesignIsAcknowledgedOnTheUiThread)
{
    std::unique_ptr<SimulatedMachines> machine;
    ASSERT_TRUE(startSimulatedMachine(temp, settings, "127.0.0.1", machine));
    if (!machine)
        GTEST_SKIP() << "z62-sim not built";

    auto window = open();
    window->importDesigns({designFile("square.dst", 2)});
    // The click returns when the transfer has ended.
    window->findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();
    ASSERT_TRUE(
        waitFor([&] { return countHeaded(messages, text(TextId::DesignSent, 2)) > 0; }, 5000))
        << messages.join(u'|').toStdString();
    EXPECT_TRUE(messageOnUiThread);
    EXPECT_GT(state.currentDesignId.load(), 0);
    // The fleet keeps the acknowledged design, with the number the machine gave it, in the
    // file beside the configuration file.
    FleetMonitor& fleet = window->machinesWindow().fleet().monitor();
    ASSERT_TRUE(waitFor([&] { return fleet.machines().at(0).design.has_value(); }, 3000));
    const SentDesign sent = *fleet.machines().at(0).design;
    EXPECT_EQ(sent.name, "square.dst");
    EXPECT_EQ(sent.stitches, window->design().summary.stitchCount);
    EXPECT_EQ(sent.designId, state.currentDesignId.load());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(temp.file("hoopwatch-fleet.ini"))));
    window->done(0);
}

TEST_F(MainWindow, DemoMachinesAreFoundByTheSearchAtOpening)
{
    const QString sim = QStringLiteral(HOOPWATCH_BIN_DIR "/z62-sim");
    if (!QFileInfo::exists(sim))
        GTEST_SKIP() << "z62-sim not built";
    DemoMachines machines;
    ASSERT_TRUE(startDemo(machines, sim, DemoMachines::defaultAddresses()));

    auto window = open();
    MachineList& list = window->machineList();
    ASSERT_TRUE(waitFor([&] { return list.box(2)->isVisible(); }, 6000));
    QStringList shown;
    for (int k = 0; k < 3; ++k)
        shown << list.box(k)->text();
    shown.sort();
    EXPECT_EQ(shown, DemoMachines::defaultAddresses());
    EXPECT_FALSE(list.box(3)->isVisible());
    window->done(0);
}

TEST_F(MainWindow, DemoKeyReachesTheMachinesThroughTheEnvironmentNotTheCommandLine)
{
    const QString sim = QStringLiteral(HOOPWATCH_BIN_DIR "/z62-sim");
    if (!QFileInfo::exists(sim))
        GTEST_SKIP() << "z62-sim not built";
    const QString key = QStringLiteral("Hq3Lp8Vd2Ns6Wy4T");
    settings.key = key.toStdString();
    settings.listenPort = static_cast<std::uint16_t>(settings.machinePort + 1);
    temp.config.writeText("Z62_Net_Count", "count", "0");
    DemoMachines machines;
    QString error;
    ASSERT_TRUE(machines.start(sim, {"127.0.0.101"}, settings.machinePort, settings.listenPort, key,
                               &error))
        << error.toStdString();
    const qint64 pid = machines.processId();
    ASSERT_GT(pid, 0);

    // Any user may read a command line; only the owner reads the environment.
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray args = cmdline.readAll();
    EXPECT_FALSE(args.contains(key.toUtf8())) << args.toStdString();
    EXPECT_FALSE(args.contains("--key"));
    QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
    ASSERT_TRUE(environment.open(QIODevice::ReadOnly));
    EXPECT_TRUE(environment.readAll().split('\0').contains("HOOPWATCH_KEY=" + key.toUtf8()));

    // The machine answers the window's search, which is encrypted with this key.
    auto window = open();
    EXPECT_TRUE(waitFor([&] { return window->machineList().box(0)->isChecked(); }, 6000));
    window->done(0);
}

TEST_F(MainWindow, DemoMachineStartsSewingOnceTheDesignArrives)
{
    const QString sim = QStringLiteral(HOOPWATCH_BIN_DIR "/z62-sim");
    if (!QFileInfo::exists(sim))
        GTEST_SKIP() << "z62-sim not built";
    DemoMachines machines;
    ASSERT_TRUE(startDemo(machines, sim, {"127.0.0.101"}));

    auto window = open();
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(0)->isChecked(); }, 6000));
    window->importDesigns({designFile("squares.dst", 100)}); // long enough to be seen sewing
    window->findChild<QPushButton*>("1001")->click();
    ASSERT_TRUE(
        waitFor([&] { return countHeaded(messages, text(TextId::DesignSent, 2)) > 0; }, 5000));
    // Neither confirm nor start pressed: the demo machine sews by itself.
    ASSERT_TRUE(waitFor(
        [&] {
            const auto status = state.machineStatus.snapshot();
            return status.currentStitch > 0 && status.workState == 1;
        },
        8000));
    window->done(0);
}

TEST_F(MainWindow, DemoMachineSewsTheSentDesignAndTheViewShowsProgress)
{
    const QString sim = QStringLiteral(HOOPWATCH_BIN_DIR "/z62-sim");
    if (!QFileInfo::exists(sim))
        GTEST_SKIP() << "z62-sim not built";
    DemoMachines machines;
    ASSERT_TRUE(startDemo(machines, sim, {"127.0.0.101"}));

    auto window = open();
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(0)->isChecked(); }, 6000));
    // Long enough to be still sewing at the first answers (a finished design is all colour).
    window->importDesigns({designFile("square.dst", 60)});
    window->findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();
    ASSERT_TRUE(
        waitFor([&] { return countHeaded(messages, text(TextId::DesignSent, 2)) > 0; }, 5000));
    // A demo machine confirms and starts by itself once the design is in; the poller, resumed
    // once the search has filled the table, brings the stitch number.
    ASSERT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch > 0; }, 8000));
    settle(50);
    const QImage image = window->grab().toImage();
    int grey = 0;
    const QRect area = window->designArea();
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x)
            grey += (image.pixel(x, y) & 0xFFFFFF) == 0xBEBEBE;
    EXPECT_GT(grey, 0) << "pass 0 greys the design while progress is shown";
    EXPECT_GT(drawnPixels(image, area), grey) << "pass 1 draws the sewn part in colour";
    window->done(0);
}

TEST_F(MainWindow, SearchWithoutAnswersShowsTheNoticeThenOneTimeoutMessage)
{
    auto window = open();
    auto* notice = window->findChild<QLineEdit*>(controlName(MainControl::SearchWaitText));
    window->findChild<QPushButton*>(controlName(MainControl::MachineSearch))->click();
    EXPECT_TRUE(notice->isVisible());
    QTimer* timeout = window->timer(CHoopwatchDlg::SearchTimer);
    ASSERT_TRUE(timeout && timeout->isActive());
    timeout->setInterval(50); // nobody answers on this port; no need to wait ten seconds
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }, 3000));
    settle(200);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_FALSE(timeout->isActive());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(text(TextId::SearchTimeoutHead, 2)));
    EXPECT_TRUE(messages[0].endsWith(text(TextId::SearchTimeoutTail, 2)));
    EXPECT_EQ(temp.config.readText("Z62_Net_Count", "count", ""), "0");
}

namespace {

// Counts the paints of the window's own drawing layer: the child that covers the whole
// window and lets clicks through to the controls below it.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* window)
    {
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->testAttribute(Qt::WA_TransparentForMouseEvents) &&
                child->geometry() == window->rect()) {
                child->installEventFilter(this);
                ++layers;
            }
        }
    }
    int layers = 0;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST_F(MainWindow, IdenticalStatusRepliesStopTheOnceASecondRepaints)
{
    auto window = open();
    window->importDesigns({designFile("square.dst", 2)});
    // The table's machine never answers: the strip says so once the fleet's verdict is in (a
    // change, drawn once); from then on nothing changes.
    ASSERT_TRUE(waitFor([&] { return window->link().polledMachineOffline(); }, 8000));
    QTest::qWait(1100);
    PaintCounter counter(window.get());
    ASSERT_EQ(counter.layers, 1);
    // The window asks for a repaint every second from its opening on.
    QTest::qWait(2300);
    EXPECT_GE(counter.paints, 2);

    MachineStatus status;
    status.embroideryState = 1;
    state.applyStatusReply(status);
    state.applyStatusReply(status);
    // The first reply differs from the start state: its one-shot change request is served
    // by the next tick, then nothing more.
    QTest::qWait(1300);
    counter.paints = 0;
    QTest::qWait(2300);
    EXPECT_EQ(counter.paints, 0) << "an unchanged machine state repaints nothing";

    status.workState = 1;
    state.applyStatusReply(status);
    QTest::qWait(1300);
    EXPECT_GE(counter.paints, 1) << "a changed state repaints once";
}

TEST_F(MainWindow, ColourChangeAndParametersOfTwentyBlocksReachTheMachine)
{
    const QString log = QString::fromStdString(temp.file("machine.log"));
    std::unique_ptr<SimulatedMachines> machine;
    ASSERT_TRUE(startSimulatedMachine(temp, settings, "127.0.0.104", machine,
                                      {"--log", log.toStdString()}));
    if (!machine)
        GTEST_SKIP() << "z62-sim not built";

    auto window = open();
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(0)->isChecked(); }, 4000));
    window->importDesigns({designFile("twenty.dst", 20)});
    ASSERT_EQ(window->design().summary.colorCount, 20);
    window->findChild<QPushButton*>(controlName(MainControl::SendDesign))->click();
    ASSERT_TRUE(waitFor([&] { return state.currentDesignId.load() != 0; }, 5000))
        << "the machine acknowledges the design";

    // Block 16 is the first cell of the second page; the operator picks colour number 7.
    window->findChild<QPushButton*>(controlName(MainControl::ColorPageDown))->click();
    ASSERT_EQ(window->colorPanel().page(), 2);
    window->colorPanel().setPicker([](QWidget*, int, const ColorPalette& palette) {
        return std::optional<ColorChoice>(ColorChoice{7, palette.colors[6]});
    });
    QTest::mouseClick(window.get(), Qt::LeftButton, {},
                      window->colorPanel().swatchRect(0).center());
    ASSERT_EQ(window->colorPanel().colorNumbers()[15], 7);

    bool sent = false;
    QTimer::singleShot(200, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(dialog);
        const auto button = [&](ParamControl id) {
            return dialog->findChild<QPushButton*>(controlName(id));
        };
        const auto edit = [&](ParamControl id, const QString& value) {
            dialog->findChild<QLineEdit*>(controlName(id))->setText(value);
        };
        for (int i = 0; i < 3; ++i)
            button(ParamControl::Direction)->click(); // direction 3
        edit(ParamControl::Angle, "45");
        edit(ParamControl::ScaleX, "120");
        edit(ParamControl::ScaleY, "80");
        edit(ParamControl::RepeatCountX, "2");
        button(ParamControl::Send)->click();
        sent = waitFor([&] { return countHeaded(messages, text(TextId::DesignParamSent, 2)) > 0; },
                       5000);
        dialog->close();
    });
    window->findChild<QPushButton*>(controlName(MainControl::Parameters))->click();
    ASSERT_TRUE(sent) << "the machine acknowledges the parameters";

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject logged;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value("code").toInt() == 9)
            logged = entry;
    }
    ASSERT_FALSE(logged.isEmpty()) << "the machine logged a parameter datagram";
    // The machine decrypts whole cipher blocks only: 1104 of the 1114-byte datagram (1120 would be
    // the wrong length).
    EXPECT_EQ(logged.value("size").toInt(), 1104);
    EXPECT_EQ(logged.value("direction").toInt(), 3);
    EXPECT_EQ(logged.value("angle").toInt(), 45);
    EXPECT_EQ(logged.value("scaleX").toInt(), 120);
    EXPECT_EQ(logged.value("scaleY").toInt(), 80);
    EXPECT_EQ(logged.value("repeatX").toInt(), 2);
    EXPECT_EQ(logged.value("colorCount").toInt(), 20);
    const QJsonArray colors = logged.value("colors").toArray();
    ASSERT_EQ(colors.size(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(colors[i].toInt(), i == 15 ? 7 : 1) << "block " << i + 1;
    window->done(0);
}
