#pragma once

// Shared helpers of the panel tests: the window tests' QApplication and settings file, and an
// in-process machine that records what arrives on a loopback port.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigFile.h"
#include "control/LinkSettings.h"
#include "tests/support/FakeMachine.h"
#include "UiTestSupport.h"

namespace panel_test {

using ui_test::ensureApplication;
using ui_test::TempConfig;

// A machine on 127.0.0.1 and a free port that keeps every datagram from the start, with its
// arrival time.
class FakeMachine : public test_support::FakeMachine
{
public:
    explicit FakeMachine(const std::string& address = "127.0.0.1", std::uint16_t port = 0)
        : test_support::FakeMachine(address, 0, port)
    {
        serve();
    }

    LinkSettings settings(const ConfigFile& config) const
    {
        LinkSettings s;
        s.machinePort = port();
        s.listenPort = 0;
        s.configPath = config.path();
        return s;
    }
};

inline std::int32_t readI32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::int32_t(std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
                        std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24);
}

} // namespace panel_test
