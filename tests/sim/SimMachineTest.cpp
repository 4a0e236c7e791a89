#include "sim/SimMachine.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/CommandPacket.h"

namespace {

using Clock = SimMachine::Clock;

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

std::vector<std::uint8_t> command(std::int32_t code)
{
    std::vector<std::uint8_t> b(kHeaderSize, 0);
    put32(b, 0, 0x87654321u);
    put32(b, 4, std::uint32_t(code));
    put32(b, 8, std::uint32_t(b.size()));
    return b;
}

// One design chunk as the PC sends it: the name field holds at most 13 bytes of the name.
std::vector<std::uint8_t> chunk(const std::string& name, std::int32_t format,
                                const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> b = command(1);
    b.resize(kHeaderSize + 272 + kChunkDataSize, 0);
    put32(b, 64, 0x12345678u);
    put32(b, 68, std::uint32_t(format));
    for (std::size_t i = 0; i < name.size() && i < 13; ++i)
        b[72 + i] = std::uint8_t(name[i]);
    put32(b, 64 + 136, std::uint32_t(data.size()));
    put32(b, 64 + 140, 1);
    put32(b, 64 + 144, 1);
    std::copy(data.begin(), data.end(), b.begin() + 336);
    return b;
}

std::vector<std::uint8_t> sample(const std::string& name)
{
    std::ifstream in(std::string(HOOPWATCH_SAMPLES_DIR "/") + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A DSR file: the 256-byte header and a few stitches up and to the right.
std::vector<std::uint8_t> dsrBytes()
{
    std::vector<std::uint8_t> b(256, 0);
    for (int i = 0; i < 6; ++i)
        b.insert(b.end(), {0, 0xC0, 20, 20});
    return b;
}

struct Sewn
{
    bool startAcknowledged = false;
    std::int32_t stitch = 0;
    std::uint8_t working = 0;
};

// Sends the design, starts and confirms, lets a second pass, then asks for the status.
Sewn sendAndSew(const std::vector<std::uint8_t>& request)
{
    SimSettings settings;
    settings.saveDir = ::testing::TempDir() + "sim-machine-test";
    SimMachine machine("127.0.0.9", settings);
    const Clock::time_point t0 = Clock::now();
    const auto ack = machine.handle(request, "127.0.0.1", t0);
    EXPECT_TRUE(ack && get32(*ack, 4) == 2) << "every chunk is acknowledged";
    Sewn sewn;
    const auto lever = machine.handle(command(7), "127.0.0.1", t0);
    sewn.startAcknowledged = lever && get32(*lever, 4) == 8;
    machine.handle(command(15), "127.0.0.1", t0);
    const auto status = machine.handle(command(19), "127.0.0.1", t0 + std::chrono::seconds(1));
    EXPECT_TRUE(status && status->size() >= 88);
    if (status) {
        sewn.working = (*status)[64];
        sewn.stitch = static_cast<std::int32_t>(get32(*status, 64 + 20));
    }
    return sewn;
}

} // namespace

TEST(SimMachine, SewsADesignWhoseNameLostItsSuffixToTheThirteenByteField)
{
    struct Case
    {
        const char* name;
        std::int32_t format;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"a-long-flower-design.dst", 2, sample("flower.dst")},
        {"a-long-star-design.tbf", 2, sample("star.tbf")},
        {"a-long-rings-design.dsb", 1, sample("rings.dsb")},
        {"a-long-small-design.dsr", 2, dsrBytes()},
        {"star.dst", 2, sample("star.dst")},
        // A DSB name would mislead; the format field says the file is not one.
        {"mislabelled.dsb", 2, sample("flower.dst")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.bytes.size(), 256u);
        const Sewn sewn = sendAndSew(chunk(c.name, c.format, c.bytes));
        EXPECT_TRUE(sewn.startAcknowledged);
        EXPECT_GT(sewn.stitch, 0) << "the machine moves";
    }
}

TEST(SimMachine, WithoutAUsableDesignRefusesToStart)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> request;
    };
    std::vector<std::uint8_t> noise(300);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = std::uint8_t(i * 7);
    const Case cases[] = {
        {"nothing received", command(19)},
        {"bytes of no design", chunk("noise", 2, std::vector<std::uint8_t>(40, 0x55))},
        {"a header and no records", chunk("header.dst", 2, std::vector<std::uint8_t>(512, ' '))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimSettings settings;
        settings.saveDir = ::testing::TempDir() + "sim-machine-test";
        SimMachine machine("127.0.0.9", settings);
        const Clock::time_point t0 = Clock::now();
        machine.handle(c.request, "127.0.0.1", t0);
        EXPECT_FALSE(machine.handle(command(7), "127.0.0.1", t0)) << "no start acknowledgement";
        machine.handle(command(15), "127.0.0.1", t0);
        const auto status = machine.handle(command(19), "127.0.0.1", t0 + std::chrono::seconds(2));
        ASSERT_TRUE(status);
        EXPECT_EQ((*status)[64], 0) << "the status says it is not working";
        EXPECT_EQ(get32(*status, 64 + 20), 0u) << "no sewing progress";
        EXPECT_FALSE(machine.working());
    }
}

TEST(SimMachine, AddressRangesExpandToOneMachineEach)
{
    struct Case
    {
        const char* text;
        std::optional<std::vector<std::string>> expected;
    };
    using List = std::vector<std::string>;
    const Case cases[] = {
        {"127.0.0.5", List{"127.0.0.5"}},
        {"127.0.3.7-9", List{"127.0.3.7", "127.0.3.8", "127.0.3.9"}},
        {"127.0.0.4-4", List{"127.0.0.4"}},
        {"127.0.0.9-7", std::nullopt},
        {"127.0.0.1-256", std::nullopt},
        {"127.0.0.-3", std::nullopt},
        {"127.0.0.3-", std::nullopt},
        {"127.0.0", std::nullopt},
        {"127.0.0.1.2", std::nullopt},
        {"127.0.x.1-3", std::nullopt},
        {"127.0.0.1-3-5", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(expandAddressRange(c.text), c.expected);
    }
    const auto all = expandAddressRange("127.0.0.1-254");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 254u);
    EXPECT_EQ(all->back(), "127.0.0.254");
}

TEST(SimMachine, SewsByItselfOnceADesignArrivesWhenAskedToAndTheLeverStillStopsIt)
{
    for (const bool autoSew : {false, true}) {
        SCOPED_TRACE(autoSew ? "auto-sew" : "waits for the operator");
        SimSettings settings;
        settings.saveDir = ::testing::TempDir() + "sim-machine-test";
        settings.speed = 10;
        settings.autoSew = autoSew;
        SimMachine machine("127.0.0.9", settings);
        const Clock::time_point t0 = Clock::now();
        machine.handle(chunk("star.dst", 2, sample("star.dst")), "127.0.0.1", t0);
        const auto status = machine.handle(command(19), "127.0.0.1", t0 + std::chrono::seconds(1));
        ASSERT_TRUE(status);
        EXPECT_EQ((*status)[64], autoSew ? 1 : 0) << "work state";
        EXPECT_EQ((*status)[65], autoSew ? 1 : 0) << "embroidery state";
        EXPECT_EQ(get32(*status, 64 + 20), autoSew ? 10u : 0u) << "stitches at 10 a second";
        // The lever toggles: the sewing machine stops, the standing one with a design starts.
        machine.handle(command(7), "127.0.0.1", t0 + std::chrono::seconds(1));
        EXPECT_EQ(machine.working(), !autoSew);
    }
}
