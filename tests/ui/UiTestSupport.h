#pragma once

// Helpers of the window tests: one QApplication, a settings file in a temporary folder,
// small design files built in the test, and link settings that keep every thread on
// loopback with ports of their own.

#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/UiTexts.h"
#include "control/LinkSettings.h"
#include "tests/support/ProcessRunner.h"
#include "ui/MessageBoxes.h"

namespace ui_test {

inline void ensureApplication()
{
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_ui";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives for the whole test run
    }
}

// Runs the event loop for `ms` milliseconds.
inline void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <typename Pred> bool waitFor(Pred done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

inline std::uint16_t freePortBase()
{
    static std::mt19937 random(std::random_device{}());
    return static_cast<std::uint16_t>(20000 + 2 * (random() % 10000));
}

// A settings file in a folder of its own, removed with the object.
struct TempConfig
{
    QTemporaryDir dir;
    std::string path = (dir.path() + QStringLiteral("/ZUZiruro.ini")).toStdString();
    ConfigFile config{path};

    std::string file(const std::string& name) const
    {
        return (dir.path() + u'/' + QString::fromStdString(name)).toStdString();
    }

    // Loopback link settings: answers on a free port, machines on a port nobody uses.
    LinkSettings settings() const
    {
        LinkSettings s;
        s.configPath = path;
        s.listenPort = 0;
        s.machinePort = freePortBase();
        s.searchPrefix = "127.0.0.";
        return s;
    }

    // Writes a machine table: one entry per address with the given IsChoose values, or with
    // only the first entry ticked when there are none.
    void writeMachines(const std::vector<std::string>& addresses,
                       const std::vector<int>& ticks = {}) const
    {
        config.writeText("Z62_Net_Count", "count", std::to_string(addresses.size()));
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            const std::string section = "Z62_Net_" + std::to_string(i);
            const int tick = ticks.empty() ? int(i == 0) : ticks[i];
            config.writeText(section, "Ip", addresses[i]);
            config.writeText(section, "IsChoose", std::to_string(tick));
        }
    }
    int isChoose(int i) const
    {
        return config.readNumber("Z62_Net_" + std::to_string(i), "IsChoose", "-1");
    }

    std::string readAll() const
    {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// Starts z62-sim for `address` (a range allowed) on the settings' machine port, answering on the
// port after it, which becomes the settings' listening port, with `address` as the table's only
// (chosen) entry, and waits until it is ready. `machine` stays empty when z62-sim is not built.
inline ::testing::AssertionResult startSimulatedMachine(
    const TempConfig& temp, LinkSettings& settings, const std::string& address,
    std::unique_ptr<SimulatedMachines>& machine, const std::vector<std::string>& options = {})
{
    const std::string sim = binPath("z62-sim");
    if (!std::ifstream(sim).good())
        return ::testing::AssertionSuccess();
    settings.listenPort = static_cast<std::uint16_t>(settings.machinePort + 1);
    temp.writeMachines({address});
    std::vector<std::string> argv = {sim,
                                     "--address",
                                     address,
                                     "--port",
                                     std::to_string(settings.machinePort),
                                     "--reply-port",
                                     std::to_string(settings.listenPort),
                                     "--exit-after",
                                     "40"};
    argv.insert(argv.end(), options.begin(), options.end());
    machine = std::make_unique<SimulatedMachines>(argv, temp.file("sim.out"));
    if (!machine->ready())
        return ::testing::AssertionFailure() << "z62-sim did not start: " << machine->errors();
    return ::testing::AssertionSuccess();
}

// A text of the two-language table as Qt text.
inline QString text(TextId id, int language)
{
    const std::string_view t = uiText(id, language);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

// A fixture whose message boxes are swallowed, so no test blocks on one.
class QuietMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApplication();
        m_previous = setMessageHook([](const QString&) {});
    }
    void TearDown() override { setMessageHook(m_previous); }
    MessageHook m_previous;
};

// A DST file: the 512-byte header, then `squares` squares of 8.1 mm sides, each in a colour
// block of its own, and the end mark.
// The messages whose first line is `head`; the lines after it name the machine and the design.
inline int countHeaded(const QStringList& messages, const QString& head)
{
    int count = 0;
    for (const QString& message : messages)
        count += message.section(u'\n', 0, 0) == head ? 1 : 0;
    return count;
}

inline std::vector<std::uint8_t> dstBytes(int squares = 1)
{
    std::vector<std::uint8_t> bytes(512, ' ');
    const std::uint8_t side[4][3] = {{0, 0, 0x07}, {0, 0, 0x23}, {0, 0, 0x0B}, {0, 0, 0x13}};
    for (int s = 0; s < squares; ++s) {
        if (s > 0) {
            bytes.insert(bytes.end(), {0, 0, 0xC3});
            bytes.insert(bytes.end(), {0, 0, 0x87}); // jump 8.1 mm right
        }
        for (const auto& record : side)
            bytes.insert(bytes.end(), record, record + 3);
    }
    bytes.insert(bytes.end(), {0, 0, 0xF3});
    return bytes;
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline bool isWhite(QRgb c)
{
    return (c & 0xFFFFFF) == 0xFFFFFF;
}
inline bool isBlack(QRgb c)
{
    return (c & 0xFFFFFF) == 0;
}

// Pixels inside `area`, its one-pixel border excluded, that are not white.
inline int drawnPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x)
            n += !isWhite(image.pixel(x, y));
    return n;
}

} // namespace ui_test
