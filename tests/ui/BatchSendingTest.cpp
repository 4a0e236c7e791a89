#include <gtest/gtest.h>

#include <fstream>

#include <QProgressDialog>
#include <QTimer>

#include "tests/ui/PanelTestSupport.h"
#include "ui/BatchSending.h"
#include "ui/MessageBoxes.h"

namespace {

using namespace std::chrono_literals;
using panel_test::FakeMachine;
using panel_test::TempConfig;

TEST(BatchFileName, TakesTheTextAfterTheLastSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\designs\\rose.dst", "rose.dst"},
        {"C:\\designs\\a.b.dst", "a.b.dst"},
        {"/home/op/designs/rose.DST", "rose.DST"},
        {"C:\\designs/odd\\x.dsb", "x.dsb"},
        // A name without a dot is sent as it is, not rebuilt as "name.name".
        {"/home/op/designs/README", "README"},
        {"plain", "plain"},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(batchFileName(path), name) << path;
    }
}

class BatchSendingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel_test::ensureApplication();
        temp.writeMachines({"127.0.0.1"}, {1});
        settings = machine.settings(temp.config);
    }

    std::string writeFile(const std::string& name, std::size_t size)
    {
        const std::string path = (temp.dir.path() + QLatin1Char('/')).toStdString() + name;
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) {
            out.put(char('a' + i % 26));
        }
        return path;
    }

    void choose(const std::vector<std::string>& paths)
    {
        batch.setFileChooser([paths](QWidget*, const QString&) {
            QStringList list;
            for (const std::string& path : paths) {
                list << QString::fromStdString(path);
            }
            return list;
        });
    }

    static std::string nameOf(const FakeMachine::Datagram& datagram)
    {
        // FileBlock name field: 13 bytes at offset 64 + 8.
        const auto* begin = reinterpret_cast<const char*>(datagram.bytes.data()) + 72;
        return std::string(begin, strnlen(begin, 13));
    }

    TempConfig temp;
    FakeMachine machine;
    LinkSettings settings;
    BatchSending batch{temp.config, settings};
    std::string designPath = "shown.dst";
    std::string designFileName = "shown.dst";
};

TEST_F(BatchSendingTest, FilesArriveInDialogOrderWithPausesAndLastStaysCurrent)
{
    const std::string c = writeFile("c", 300);
    const std::string a = writeFile("a.dst", 100);
    const std::string b = writeFile("b.dsb", 200);
    choose({c, a, b});
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> told;
    batch.setFileSent([&](const std::string& path, const std::string& name,
                          std::chrono::steady_clock::time_point started) {
        EXPECT_EQ(batchFileName(path), name);
        told.emplace_back(name, started);
    });

    EXPECT_TRUE(batch.run(nullptr, &designPath, &designFileName));
    const auto received = machine.waitFor(3, 2s);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(nameOf(received[0]), "c");
    EXPECT_EQ(nameOf(received[1]), "a.dst");
    EXPECT_EQ(nameOf(received[2]), "b.dsb");
    // Each one-datagram file waits 500 ms after its datagram and 500 ms after the file.
    for (std::size_t i = 1; i < received.size(); ++i) {
        EXPECT_GE(received[i].arrived - received[i - 1].arrived, 900ms) << i;
    }
    EXPECT_EQ(batch.paths(), (std::vector<std::string>{c, a, b}));
    EXPECT_EQ(batch.names(), (std::vector<std::string>{"c", "a.dst", "b.dsb"}));
    EXPECT_EQ(designPath, b);
    EXPECT_EQ(designFileName, "b.dsb");
    // The fleet hears of each file with the time its own transfer began, so that an
    // acknowledgement of the file before cannot confirm it.
    ASSERT_EQ(told.size(), 3u);
    for (std::size_t i = 0; i < told.size(); ++i) {
        EXPECT_EQ(told[i].first, batch.names()[i]);
        EXPECT_LE(told[i].second, received[i].arrived) << i;
        if (i > 0) {
            EXPECT_GT(told[i].second, received[i - 1].arrived) << i;
        }
    }

    // A cancelled dialog afterwards sends nothing and empties the lists.
    choose({});
    EXPECT_FALSE(batch.run(nullptr, &designPath, &designFileName));
    EXPECT_TRUE(batch.paths().empty());
    EXPECT_TRUE(batch.names().empty());
    EXPECT_EQ(designPath, b);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(machine.received().size(), 3u);
}

TEST_F(BatchSendingTest, CancelInProgressDialogStopsTheBatch)
{
    choose({writeFile("one.dst", 50), writeFile("two.dst", 50), writeFile("three.dst", 50)});
    std::vector<std::string> told;
    batch.setFileSent(
        [&](const std::string&, const std::string& name, auto) { told.push_back(name); });
    QTimer::singleShot(200, [] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(progress, nullptr);
        progress->cancel();
    });
    EXPECT_FALSE(batch.run(nullptr, &designPath, &designFileName));
    std::this_thread::sleep_for(300ms);
    const auto received = machine.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(nameOf(received[0]), "one.dst");
    EXPECT_EQ(designFileName, "one.dst");
    EXPECT_EQ(told, std::vector<std::string>{"one.dst"});
}

TEST_F(BatchSendingTest, AnUnreadableFileIsReportedAndTheBatchGoesOn)
{
    QStringList messages;
    const MessageHook previous =
        setMessageHook([&messages](const QString& text) { messages << text; });
    temp.config.writeText("Z62Language", "Language", "2");
    const std::string missing = (temp.dir.path() + QStringLiteral("/gone.dst")).toStdString();
    choose({missing, writeFile("kept.dst", 80)});
    EXPECT_TRUE(batch.run(nullptr, &designPath, &designFileName));
    setMessageHook(previous);

    const auto received = machine.waitFor(1, 2s);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(nameOf(received[0]), "kept.dst");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("The design file cannot be read!"));
    EXPECT_EQ(designFileName, "kept.dst");
}

} // namespace
