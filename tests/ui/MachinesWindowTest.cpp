#include <array>
#include <chrono>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "control/FleetSession.h"
#include "control/LinkState.h"
#include "design/DesignLoader.h"
#include "link/CommandPacket.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/MachineList.h"
#include "ui/MachinesWindow.h"
#include "UiTestSupport.h"

using namespace ui_test;
using namespace std::chrono_literals;

namespace {

MachineStatus statusOf(std::uint8_t work, std::int32_t stitch)
{
    MachineStatus status;
    status.workState = work;
    status.embroideryState = 1;
    status.currentStitch = stitch;
    return status;
}

// A machine on a loopback address of its own that sends StatusReplies to the window.
class StatusSender
{
public:
    StatusSender(const std::string& address, std::uint16_t windowPort)
        : m_cipher(defaultCipherKey()), m_port(windowPort)
    {
        m_ok = m_socket.bind(address, 0, false);
    }
    bool ok() const { return m_ok; }
    bool send(const MachineStatus& status, std::int32_t designId = 1)
    {
        std::array<std::uint8_t, 112> bytes{};
        CommandPacket header;
        header.code = std::int32_t(CommandCode::StatusReply);
        header.length = 112;
        header.designId = designId;
        header.encode(bytes);
        status.encode(std::span(bytes).subspan(kHeaderSize));
        m_cipher.encrypt(bytes.data(), std::int32_t(bytes.size()));
        return m_socket.sendTo("127.0.0.1", m_port, bytes);
    }

private:
    PacketCipher m_cipher;
    UdpSocket m_socket;
    std::uint16_t m_port;
    bool m_ok = false;
};

// The row of `address` in the view's order, or -1.
int viewRow(QTableView& view, const QString& address)
{
    for (int row = 0; row < view.model()->rowCount(); ++row)
        if (view.model()->index(row, FleetTableModel::Address).data() == address)
            return row;
    return -1;
}

QString cell(QTableView& view, const QString& address, int column)
{
    const int row = viewRow(view, address);
    return row < 0 ? QString() : view.model()->index(row, column).data().toString();
}

// A fleet of its own with a window on it; the monitor is fed by hand.
class MachinesTable : public QuietMessages
{
protected:
    void SetUp() override
    {
        QuietMessages::SetUp();
        settings = temp.settings();
        fleet = std::make_unique<FleetSession>(settings, state, FleetSettings{});
        window = std::make_unique<MachinesWindow>(
            nullptr, *fleet, [this](const std::string& address) { chosen.push_back(address); });
    }

    TempConfig temp;
    LinkSettings settings;
    LinkState state;
    std::unique_ptr<FleetSession> fleet;
    std::unique_ptr<MachinesWindow> window;
    std::vector<std::string> chosen;
};

} // namespace

TEST_F(MachinesTable, ListsEveryMachineWithItsStateInBothLanguages)
{
    FleetMonitor& monitor = fleet->monitor();
    monitor.setMachines({"127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14"});
    const FleetTime t0 = std::chrono::steady_clock::now();
    monitor.recordSentDesign("127.0.0.12", SentDesign{"rose.dst", 1000, 3, 0, 0});
    monitor.recordSentDesign("127.0.0.14", SentDesign{"tulip.dst", 200, 1, 0, 0});
    monitor.onStatus("127.0.0.12", statusOf(1, 100), 1, t0);
    monitor.onStatus("127.0.0.12", statusOf(1, 400), 1, t0 + 30s); // 10 stitches a second
    monitor.onStatus("127.0.0.13", statusOf(0, 0), 1, t0 + 30s);
    monitor.onStatus("127.0.0.14", statusOf(0, 200), 1, t0 + 30s);

    struct Case
    {
        int language;
        QString waiting, working, online, finished, timeLeft, caption, header;
    };
    const std::vector<Case> cases = {
        {2, "Waiting", "Working", "Online", "Finished", "about 1 min left", "Machines", "State"},
        {1, "等待应答", "绣作中", "在线", "完成", "约剩1分钟", "机器", "状态"},
    };
    for (const Case& c : cases) {
        window->setLanguage(c.language);
        window->refresh();
        QTableView& view = *window->table();
        ASSERT_EQ(view.model()->rowCount(), 4);
        EXPECT_EQ(window->windowTitle(), c.caption);
        EXPECT_EQ(view.model()->headerData(FleetTableModel::State, Qt::Horizontal), c.header);
        EXPECT_EQ(cell(view, "127.0.0.11", FleetTableModel::State), c.waiting);
        EXPECT_EQ(cell(view, "127.0.0.12", FleetTableModel::State), c.working);
        // Standing with no design sent from here: merely online.
        EXPECT_EQ(cell(view, "127.0.0.13", FleetTableModel::State), c.online);
        EXPECT_EQ(cell(view, "127.0.0.14", FleetTableModel::State), c.finished);
        EXPECT_EQ(cell(view, "127.0.0.12", FleetTableModel::DesignName), "rose.dst");
        EXPECT_EQ(cell(view, "127.0.0.12", FleetTableModel::Sewn), "40.0 %");
        // The speed of the last half minute is not known at a real clock's now; the text
        // follows the monitor's number, whatever it is.
        EXPECT_EQ(cell(view, "127.0.0.14", FleetTableModel::Sewn), "100.0 %");
        EXPECT_EQ(cell(view, "127.0.0.14", FleetTableModel::TimeLeft), "");
    }
    EXPECT_EQ(timeLeftText(60, 2), "about 1 min left");
    EXPECT_EQ(cases[1].timeLeft, timeLeftText(1, 1));
}

TEST(MachinesTexts, TimeLeftAndShareSewn)
{
    ensureApplication();
    struct TimeCase
    {
        std::optional<std::int64_t> seconds;
        int language;
        QString text;
    };
    for (const TimeCase& c : std::vector<TimeCase>{{std::nullopt, 2, ""},
                                                   {0, 2, ""},
                                                   {-5, 2, ""},
                                                   {1, 2, "about 1 min left"},
                                                   {60, 2, "about 1 min left"},
                                                   {61, 2, "about 2 min left"},
                                                   {3600, 1, "约剩60分钟"}})
        EXPECT_EQ(timeLeftText(c.seconds, c.language), c.text) << c.seconds.value_or(-1);
    struct SewnCase
    {
        std::optional<double> percent;
        QString text;
    };
    for (const SewnCase& c : std::vector<SewnCase>{{std::nullopt, ""},
                                                   {0.0, "0.0 %"},
                                                   {99.99, "99.9 %"},
                                                   {100.0, "100.0 %"},
                                                   {std::nan(""), ""}})
        EXPECT_EQ(sewnText(c.percent), c.text) << c.percent.value_or(-1);
}

TEST_F(MachinesTable, SortsAddressesAsNumbersAndProgressByShare)
{
    FleetMonitor& monitor = fleet->monitor();
    monitor.setMachines({"127.0.0.9", "127.0.0.10", "127.0.0.100"});
    for (auto [address, stitch] : {std::pair{"127.0.0.9", 800}, std::pair{"127.0.0.100", 100}}) {
        monitor.recordSentDesign(address, SentDesign{"a.dst", 1000, 1, 0, 0});
        monitor.onStatus(address, statusOf(1, stitch), 1);
    }
    window->refresh();
    QTableView& view = *window->table();
    const auto order = [&] {
        QStringList rows;
        for (int row = 0; row < view.model()->rowCount(); ++row)
            rows << view.model()->index(row, FleetTableModel::Address).data().toString();
        return rows;
    };
    struct Case
    {
        int column;
        Qt::SortOrder order;
        QStringList rows;
    };
    const std::vector<Case> cases = {
        {FleetTableModel::Address, Qt::AscendingOrder, {"127.0.0.9", "127.0.0.10", "127.0.0.100"}},
        {FleetTableModel::Address, Qt::DescendingOrder, {"127.0.0.100", "127.0.0.10", "127.0.0.9"}},
        // Unknown progress sorts below every known share.
        {FleetTableModel::Progress, Qt::AscendingOrder, {"127.0.0.10", "127.0.0.100", "127.0.0.9"}},
        {FleetTableModel::Sewn, Qt::DescendingOrder, {"127.0.0.9", "127.0.0.100", "127.0.0.10"}},
    };
    for (const Case& c : cases) {
        view.sortByColumn(c.column, c.order);
        EXPECT_EQ(order(), c.rows) << c.column;
    }
    // A refresh keeps the chosen order while the values move.
    monitor.onStatus("127.0.0.100", statusOf(1, 900), 1);
    window->refresh();
    EXPECT_EQ(order(), (QStringList{"127.0.0.100", "127.0.0.9", "127.0.0.10"}));
}

TEST_F(MachinesTable, OnlyAFinishOrALossWhileSewingMakesANotice)
{
    QStringList notices;
    window->setNoticeHook([&](const QString& text) { notices << text; });
    window->setLanguage(2);
    struct Case
    {
        FleetEvent event;
        QString notice; // empty: none
    };
    const std::vector<Case> cases = {
        {{FleetEventKind::Finished, "127.0.0.5", false}, "127.0.0.5 finished its design"},
        {{FleetEventKind::WentOffline, "127.0.0.6", true}, "127.0.0.6 went offline while sewing!"},
        {{FleetEventKind::WentOffline, "127.0.0.6", false}, ""},
        {{FleetEventKind::Started, "127.0.0.5", false}, ""},
        {{FleetEventKind::Stopped, "127.0.0.5", false}, ""},
        {{FleetEventKind::CameBack, "127.0.0.6", false}, ""},
    };
    for (const Case& c : cases) {
        notices.clear();
        window->onFleetEvent(c.event);
        EXPECT_EQ(notices, c.notice.isEmpty() ? QStringList{} : QStringList{c.notice});
    }
    window->setLanguage(1);
    notices.clear();
    window->onFleetEvent({FleetEventKind::Finished, "127.0.0.5", false});
    EXPECT_EQ(notices, QStringList{"机器127.0.0.5花样绣作完成"});
}

TEST_F(MachinesTable, DrawingShowsTheSentDesignWithItsSewnPartInColour)
{
    const std::string path = temp.file("sq.dst");
    writeFile(path, dstBytes(2));
    Design design;
    ASSERT_TRUE(loadDesign(path, &design));
    summarizeDesign(&design);
    FleetMonitor& monitor = fleet->monitor();
    monitor.setMachines({"127.0.0.21", "127.0.0.22"});
    const SentDesign sent = sentDesignOf("sq.dst", design);
    for (const char* address : {"127.0.0.21", "127.0.0.22"}) {
        monitor.recordSentDesign(address, sent);
        window->setDesignDrawing(address, "sq.dst", design, {0x0000FF, 0x00FF00});
    }
    monitor.onStatus("127.0.0.21", statusOf(1, 0), 1);
    monitor.onStatus("127.0.0.22", statusOf(1, sent.stitches), 1);
    window->refresh();
    QTableView& view = *window->table();
    const auto image = [&](const char* address) {
        return qvariant_cast<QPixmap>(view.model()
                                          ->index(viewRow(view, address), FleetTableModel::Drawing)
                                          .data(Qt::DecorationRole))
            .toImage();
    };
    const auto coloured = [](const QImage& picture) {
        int n = 0;
        for (int y = 1; y + 1 < picture.height(); ++y)
            for (int x = 1; x + 1 < picture.width(); ++x) {
                const QRgb c = picture.pixel(x, y);
                n += qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
            }
        return n;
    };
    const QImage none = image("127.0.0.21");
    const QImage all = image("127.0.0.22");
    ASSERT_EQ(none.size(), QSize(MachinesWindow::kDrawingWidth, MachinesWindow::kDrawingHeight));
    // Nothing sewn: the design in grey only; all sewn: in its colours.
    EXPECT_GT(drawnPixels(none, none.rect()), 0);
    EXPECT_EQ(coloured(none), 0);
    EXPECT_GT(coloured(all), 0);
    // After a restart only the name and counts are known: the main window's current design
    // draws the rows that have it, and no other.
    monitor.setMachines({"127.0.0.21", "127.0.0.22", "127.0.0.23", "127.0.0.24"});
    monitor.recordSentDesign("127.0.0.23", sent);
    monitor.recordSentDesign("127.0.0.24", SentDesign{"sq.dst", sent.stitches + 1, 1, 0, 0});
    window->setCurrentDesign("sq.dst", design, {0x0000FF});
    window->refresh();
    EXPECT_FALSE(image("127.0.0.23").isNull());
    EXPECT_TRUE(image("127.0.0.24").isNull());
    // Another design on the machine than the one drawn: no drawing rather than a wrong one.
    monitor.recordSentDesign("127.0.0.21", SentDesign{"other.dst", 10, 1, 0, 0});
    window->refresh();
    EXPECT_TRUE(view.model()
                    ->index(viewRow(view, "127.0.0.21"), FleetTableModel::Drawing)
                    .data(Qt::DecorationRole)
                    .isNull());
}

TEST_F(MachinesTable, LargeDesignsAreDrawnOverSeveralRefreshesNotAllAtOnce)
{
    // Three designs each over half of what a refresh may draw: one refresh draws one.
    const std::int32_t stitches = std::int32_t(MachinesWindow::kDrawingBudget / 2 + 1000);
    std::vector<std::string> addresses = {"127.0.0.41", "127.0.0.42", "127.0.0.43"};
    fleet->monitor().setMachines(addresses);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        Design design;
        for (std::int32_t s = 0; s < stitches; ++s)
            appendStitch(&design.stitches, Stitch{double(s % 1000), double(s / 1000), {}, 0});
        extendExtents(&design.extents, Stitch{0, 0, {}, 0});
        extendExtents(&design.extents, Stitch{1000, 1000, {}, 0});
        const std::string name = "big" + std::to_string(i) + ".dst";
        fleet->monitor().recordSentDesign(addresses[i], sentDesignOf(name, design));
        window->setDesignDrawing(addresses[i], name, std::move(design), {0x0000FF});
    }
    QTableView& view = *window->table();
    const auto drawn = [&] {
        int n = 0;
        for (int row = 0; row < 3; ++row)
            n += !view.model()
                      ->index(row, FleetTableModel::Drawing)
                      .data(Qt::DecorationRole)
                      .isNull();
        return n;
    };
    window->refresh();
    EXPECT_EQ(drawn(), 1);
    window->refresh();
    window->refresh();
    EXPECT_EQ(drawn(), 3);
}

// The whole desktop: two machines in the table, the first chosen and polled by the main view.
class MachinesDesktop : public QuietMessages
{
protected:
    void SetUp() override
    {
        QuietMessages::SetUp();
        temp.writeMachines({"127.0.0.31", "127.0.0.32"});
        temp.config.writeText("Z62Language", "Language", "2");
        settings = temp.settings();
        settings.listenPort = static_cast<std::uint16_t>(settings.machinePort + 1);
        window = std::make_unique<CHoopwatchDlg>(temp.config, settings, state);
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        QuietMessages::TearDown();
    }

    TempConfig temp;
    LinkSettings settings;
    LinkState state;
    std::unique_ptr<CHoopwatchDlg> window;
};

TEST_F(MachinesDesktop, AnotherMachinesStatusMovesItsRowButNotTheMainView)
{
    ASSERT_TRUE(waitFor([&] { return state.polledAddress() == "127.0.0.31"; }, 3000));
    StatusSender polled("127.0.0.31", settings.listenPort);
    StatusSender other("127.0.0.32", settings.listenPort);
    ASSERT_TRUE(polled.ok() && other.ok());

    MachinesWindow& machines = window->machinesWindow();
    window->openMachines();
    QTableView& view = *machines.table();
    ASSERT_TRUE(waitFor([&] { return view.model()->rowCount() == 2; }, 2000));

    ASSERT_TRUE(other.send(statusOf(1, 555)));
    ASSERT_TRUE(waitFor(
        [&] { return cell(view, "127.0.0.32", FleetTableModel::State) == "Working"; }, 3000));
    settle(100);
    EXPECT_EQ(state.machineStatus.snapshot().currentStitch, 0);
    EXPECT_EQ(state.machineStatus.snapshot().workState, 0);

    ASSERT_TRUE(polled.send(statusOf(1, 77)));
    EXPECT_TRUE(waitFor([&] { return state.machineStatus.snapshot().currentStitch == 77; }, 3000));
}

TEST_F(MachinesDesktop, DoubleClickChoosesTheMachineAsATickDoes)
{
    window->openMachines();
    QTableView& view = *window->machinesWindow().table();
    ASSERT_TRUE(waitFor([&] { return view.model()->rowCount() == 2; }, 2000));
    ASSERT_TRUE(waitFor([&] { return window->machineList().box(1)->isVisible(); }, 3000));
    const int row = viewRow(view, "127.0.0.32");
    ASSERT_GE(row, 0);
    const QRect rect = view.visualRect(view.model()->index(row, FleetTableModel::Address));
    // The view takes a double-click on the row its press went to.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(temp.isChoose(0), 0);
    EXPECT_EQ(temp.isChoose(1), 1);
    EXPECT_FALSE(window->machineList().box(0)->isChecked());
    EXPECT_TRUE(window->machineList().box(1)->isChecked());
    EXPECT_EQ(window->machineList().selectedAddress(), "127.0.0.32");
}

TEST_F(MachinesDesktop, AFinishedDesignMakesOneNotice)
{
    QStringList notices;
    MachinesWindow& machines = window->machinesWindow();
    machines.setNoticeHook([&](const QString& text) { notices << text; });
    FleetMonitor& monitor = machines.fleet().monitor();
    ASSERT_TRUE(monitor.recordSentDesign("127.0.0.32", SentDesign{"rose.dst", 300, 2, 1, 0}));
    StatusSender other("127.0.0.32", settings.listenPort);
    ASSERT_TRUE(other.ok());
    for (const std::int32_t stitch : {250, 300, 300, 300}) {
        ASSERT_TRUE(other.send(statusOf(stitch < 300 ? 1 : 0, stitch)));
        const auto stitchNow = [&] {
            for (const FleetMachine& m : monitor.machines())
                if (m.address == "127.0.0.32")
                    return m.stitch;
            return -1;
        };
        ASSERT_TRUE(waitFor([&] { return stitchNow() == stitch; }, 3000));
    }
    settle(100);
    EXPECT_EQ(notices, QStringList{"127.0.0.32 finished its design"});
}

TEST(MachinesFleetFile, AFleetFileThatCannotBeWrittenIsReportedInTheWindowLanguage)
{
    ensureApplication();
    QStringList messages;
    const MessageHook previous =
        setMessageHook([&](const QString& message) { messages << message; });
    TempConfig temp;
    temp.writeMachines({"127.0.0.51"});
    temp.config.writeText("Z62Language", "Language", "1");
    // Something that is not the fleet file stands where it belongs; it is never replaced.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(temp.file("hoopwatch-fleet.ini"))));
    LinkSettings settings = temp.settings();
    LinkState state;
    {
        CHoopwatchDlg window(temp.config, settings, state);
        FleetSession& fleet = window.machinesWindow().fleet();
        fleet.designSent("127.0.0.51", SentDesign{"rose.dst", 10, 1, 0, 0},
                         std::chrono::steady_clock::now());
        Reply ack;
        ack.kind = ReplyKind::DesignChunkAck;
        ack.sender = "127.0.0.51";
        ack.designId = 3;
        fleet.onReply(ack);
        EXPECT_TRUE(waitFor([&] { return !messages.isEmpty(); }, 2000));
        // A second design fails the same way and is not reported again.
        fleet.designSent("127.0.0.51", SentDesign{"tulip.dst", 10, 1, 0, 0},
                         std::chrono::steady_clock::now());
        fleet.onReply(ack);
        settle(100);
        EXPECT_EQ(messages, QStringList{text(TextId::FleetFileFailed, 1)});
        window.done(0);
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(temp.file("hoopwatch-fleet.ini"))).isDir());
    setMessageHook(previous);
}

TEST_F(MachinesTable, SelectedMachinesAreActedOnTogetherAndNamedEverywhere)
{
    fleet->monitor().setMachines({"127.0.0.11", "127.0.0.12", "127.0.0.13"}, {"Left", "", "右"});
    std::vector<std::vector<std::string>> sent, levers, confirms;
    MachinesWindow::Actions actions;
    actions.send = [&](const std::vector<std::string>& a) { sent.push_back(a); };
    actions.lever = [&](const std::vector<std::string>& a) { levers.push_back(a); };
    actions.confirm = [&](const std::vector<std::string>& a) { confirms.push_back(a); };
    actions.target = [] { return std::optional<std::string>("127.0.0.12"); };
    window->setActions(actions);
    window->refresh();
    QTableView& view = *window->table();
    EXPECT_EQ(cell(view, "127.0.0.11", FleetTableModel::Name), "Left");
    EXPECT_EQ(cell(view, "127.0.0.12", FleetTableModel::Name), "");
    const auto bold = [&](const QString& address) {
        const int row = viewRow(view, address);
        return view.model()->index(row, 0).data(Qt::FontRole).value<QFont>().bold();
    };
    EXPECT_TRUE(bold("127.0.0.12")) << "the target's row";
    EXPECT_FALSE(bold("127.0.0.11"));

    for (const char* address : {"127.0.0.13", "127.0.0.11"})
        view.selectionModel()->select(view.model()->index(viewRow(view, address), 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const std::vector<std::string> both = {"127.0.0.11", "127.0.0.13"};
    EXPECT_EQ(window->selectedAddresses(), both) << "in the order shown";
    QMenu* menu = window->contextMenu();
    for (const char* name : {"sendSelected", "leverSelected", "confirmSelected"})
        menu->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    EXPECT_EQ(sent, std::vector<std::vector<std::string>>{both});
    EXPECT_EQ(levers, std::vector<std::vector<std::string>>{both});
    EXPECT_EQ(confirms, std::vector<std::vector<std::string>>{both});
    // Choosing, naming and removing are for one machine at a time.
    for (const char* name : {"chooseTarget", "renameMachine", "removeMachine"})
        EXPECT_FALSE(menu->findChild<QAction*>(QString::fromLatin1(name))->isEnabled()) << name;

    // A notice names the machine by its name.
    FleetEvent finished{FleetEventKind::Finished, "127.0.0.13", false, "右"};
    EXPECT_EQ(fleetNoticeText(finished, 2).value_or(QString()),
              QStringLiteral("右 (127.0.0.13) finished its design"));
}
