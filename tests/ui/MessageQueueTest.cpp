#include <atomic>
#include <thread>

#include <QAbstractButton>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSystemTrayIcon>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include "control/LinkState.h"
#include "link/Reply.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/ControlIds.h"
#include "ui/MainWindowLink.h"
#include "ui/MachinesWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageLog.h"
#include "ui/MessageQueue.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

// Real boxes (no hook), an English window on one loopback machine.
class MachineMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApplication();
        m_previous = setMessageHook({});
        MessageQueue::instance().clear();
        temp.config.writeText("Z62Language", "Language", "2");
        settings = temp.settings();
    }
    void TearDown() override
    {
        MessageQueue::instance().clear();
        settle(20);
        setMessageHook(m_previous);
    }

    QMessageBox* box() const { return MessageQueue::instance().currentBox(); }
    bool boxShown() const { return box() != nullptr && box()->isVisible(); }
    // Enter or Esc as the operator gives it: to the window that has the keyboard focus.
    static void pressOnFocusWindow(Qt::Key key)
    {
        QWindow* target = QGuiApplication::focusWindow();
        ASSERT_TRUE(target);
        QTest::keyClick(target, key);
    }
    int visibleBoxes() const
    {
        int n = 0;
        for (QWidget* w : QApplication::allWidgets())
            n += qobject_cast<QMessageBox*>(w) != nullptr && w->isVisible();
        return n;
    }

    TempConfig temp;
    LinkSettings settings;
    LinkState state;
    MessageHook m_previous;
};

} // namespace

TEST_F(MachineMessages, EnterOnTheAcknowledgementClosesItAndSendsNothingAgain)
{
    std::unique_ptr<SimulatedMachines> machine;
    ASSERT_TRUE(startSimulatedMachine(temp, settings, "127.0.0.1", machine));
    if (!machine)
        GTEST_SKIP() << "z62-sim not built";

    CHoopwatchDlg window(temp.config, settings, state);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::string path = temp.file("square.dst");
    writeFile(path, dstBytes(2));
    window.importDesigns({QString::fromStdString(path)});
    auto* send = window.findChild<QPushButton*>(controlName(MainControl::SendDesign));
    send->setFocus();
    send->click(); // returns when the transfer has ended
    ASSERT_TRUE(waitFor([&] { return boxShown(); }, 5000));
    // The one success message names the design and the machine.
    EXPECT_EQ(box()->text().section(u'\n', 0, 0), text(TextId::DesignSent, 2));
    EXPECT_TRUE(box()->text().contains(QStringLiteral("square.dst  \u2192  ")))
        << box()->text().toStdString();
    EXPECT_EQ(state.currentDesignId.load(), 1);

    // The box stands over the window that was active, modal, with the focus on its OK.
    EXPECT_EQ(box()->window()->parentWidget(), &window);
    EXPECT_EQ(box()->windowModality(), Qt::WindowModal);
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == box(); }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), box()->button(QMessageBox::Ok));

    // Even an Enter that reaches the main window (a window manager that left it focused) is
    // held back while the box is open.
    QTest::keyClick(window.windowHandle(), Qt::Key_Return);
    pressOnFocusWindow(Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !boxShown(); }, 2000)) << "Enter closes the box";
    settle(1000);
    EXPECT_EQ(state.currentDesignId.load(), 1) << "exactly one transfer went out";
    EXPECT_FALSE(boxShown()) << "no second acknowledgement";
    EXPECT_TRUE(window.isVisible());
    window.done(0);
}

TEST_F(MachineMessages, AMessageDuringADialogStandsAboveItAndEscClosesOnlyTheBox)
{
    QDialog window;
    window.show();
    QDialog dialog(&window);
    bool checked = false;
    QTimer::singleShot(100, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        MessageQueue::instance().post(&window,
                                      QStringLiteral("Successful sending of Design param!"));
        ASSERT_TRUE(waitFor([&] { return boxShown(); }, 2000));
        EXPECT_EQ(box()->parentWidget(), &dialog) << "owned by the open dialog, so above it";
        EXPECT_EQ(box()->windowModality(), Qt::WindowModal);
        ASSERT_TRUE(
            waitFor([&] { return QGuiApplication::focusWindow() == box()->windowHandle(); }, 2000));
        pressOnFocusWindow(Qt::Key_Escape);
        EXPECT_TRUE(waitFor([&] { return !boxShown(); }, 2000));
        EXPECT_TRUE(dialog.isVisible()) << "Esc went to the box, not to the dialog";
        checked = true;
        dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(checked);
}

TEST_F(MachineMessages, BoxesComeOneAtATimeInOrderAndOutliveAClosedProgressDialog)
{
    QDialog window;
    window.show();
    auto* progress = new QProgressDialog(&window);
    progress->setWindowModality(Qt::WindowModal);
    progress->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(progress));
    MessageQueue& queue = MessageQueue::instance();
    queue.post(&window, QStringLiteral("first"));
    queue.post(&window, QStringLiteral("second"));
    ASSERT_TRUE(waitFor([&] { return boxShown(); }, 2000));
    EXPECT_EQ(box()->text(), QStringLiteral("first"));
    EXPECT_EQ(queue.pending(), 1u);

    // The progress dialog ends with the box still open: the box comes back on the window.
    delete progress;
    ASSERT_TRUE(waitFor([&] { return boxShown(); }, 2000));
    EXPECT_EQ(box()->text(), QStringLiteral("first"));
    EXPECT_EQ(box()->parentWidget(), &window);

    box()->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(waitFor([&] { return boxShown() && box()->text() == "second"; }, 2000));
    EXPECT_EQ(visibleBoxes(), 1);
    box()->button(QMessageBox::Ok)->click();
    settle(50);
    EXPECT_FALSE(boxShown());
    EXPECT_EQ(queue.pending(), 0u);
}

TEST_F(MachineMessages, AFloodOfAcknowledgementsShowsOneBoxAtATimeAndKeepsFifty)
{
    QDialog window;
    window.show();
    MessageQueue& queue = MessageQueue::instance();
    const std::size_t droppedBefore = queue.dropped();
    MessageLog::instance().clear();
    std::atomic<bool> done{false};
    // The window's link, as the receiver thread calls it for each acknowledgement.
    MainWindowLink link(&window, temp.config, settings, state);
    link.setLanguage(2);
    Reply ack;
    ack.kind = ReplyKind::DesignChunkAck;
    ack.sender = "127.0.0.51";
    std::jthread receiver([&] {
        for (int i = 0; i < 1000; ++i)
            link.onReply(ack);
        done = true;
    });
    int most = 0;
    std::size_t longest = 0;
    while (!done) {
        QApplication::processEvents();
        most = std::max(most, visibleBoxes());
        longest = std::max(longest, queue.pending());
    }
    receiver.join();
    settle(50);
    EXPECT_EQ(visibleBoxes(), 1);
    EXPECT_EQ(box()->text().section(u'\n', 0, 0), text(TextId::DesignSent, 2));
    EXPECT_LE(longest, MessageQueue::kCapacity);
    EXPECT_LE(queue.pending(), MessageQueue::kCapacity);
    EXPECT_GE(queue.dropped() - droppedBefore, 1000u - MessageQueue::kCapacity - 1);
    // A box dropped is no message lost: the log holds every one, with its machine.
    ASSERT_EQ(MessageLog::instance().size(), 1000u);
    EXPECT_EQ(MessageLog::instance().entries().back().machine, QStringLiteral("127.0.0.51"));

    int shown = 0;
    while (boxShown() && shown < 100) {
        ++shown;
        most = std::max(most, visibleBoxes());
        box()->button(QMessageBox::Ok)->click();
        settle(5);
    }
    EXPECT_EQ(most, 1) << "never two boxes at once";
    EXPECT_LE(shown, int(MessageQueue::kCapacity) + 1);
    EXPECT_GE(shown, int(MessageQueue::kCapacity));
}

TEST_F(MachineMessages, ANoticeWaitsBehindTheOpenBoxAndEnterNeverSends)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "notices go to the tray here";
    CHoopwatchDlg window(temp.config, settings, state);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* send = window.findChild<QPushButton*>(controlName(MainControl::SendDesign));
    send->setFocus();
    MessageLog::instance().clear();
    MessageQueue& queue = MessageQueue::instance();
    queue.post(&window, QStringLiteral("first"), "127.0.0.9");
    ASSERT_TRUE(waitFor([&] { return boxShown(); }, 2000));
    window.machinesWindow().onFleetEvent({FleetEventKind::Finished, "127.0.0.9", false});
    settle(100);
    EXPECT_EQ(visibleBoxes(), 1) << "the notice waits its turn";
    EXPECT_EQ(box()->text(), QStringLiteral("first"));

    pressOnFocusWindow(Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return boxShown() && box()->text() != "first"; }, 2000));
    const QString notice = box()->text();
    EXPECT_EQ(QApplication::activeWindow(), box()) << "the notice holds the keyboard";
    pressOnFocusWindow(Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !boxShown(); }, 2000));

    // With the keyboard on Send current Design, Enter neither sends (no "no design" box) nor
    // closes the window.
    window.activateWindow();
    send->setFocus();
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == send; }, 2000));
    pressOnFocusWindow(Qt::Key_Return);
    settle(100);
    EXPECT_FALSE(boxShown());
    EXPECT_TRUE(window.isVisible());

    const auto entries = MessageLog::instance().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].text, notice);
    EXPECT_EQ(entries[1].machine, QStringLiteral("127.0.0.9"));
    window.messageLog().show();
    EXPECT_TRUE(window.messageLog().text().contains(notice));
    window.done(0);
}
