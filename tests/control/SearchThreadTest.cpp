#include "control/SearchThread.h"

#include <set>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/ByteOrder.h"
#include "link/CommandPacket.h"
#include "link/LocalAddress.h"
#include "tests/control/ControlTestSupport.h"

TEST(SearchThread, SweepEmptiesTableNotesLocalAddressAndProbes256Addresses)
{
    TempFolder dir;
    const ConfigFile config(dir.file("ZUZiruro.ini"));
    config.writeText("Z62_Net_Count", "count", "2");

    // Every 127.0.0.x destination of this port lands on one wildcard socket.
    UdpSocket machines;
    ASSERT_TRUE(machines.bind("0.0.0.0", 0));
    LinkSettings settings;
    settings.machinePort = machines.localPort();
    settings.configPath = config.path();
    settings.searchPrefix = "127.0.0.";

    // The probes are read while the sweep sends them, so none is lost to a full socket queue.
    SearchThread search(settings);
    search.start();

    const PacketCipher cipher(settings.key);
    int probes = 0;
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    // Before its first probe the sweep resets the table and looks up the local address, which
    // takes longer on some systems (Wine) than the gap between two probes.
    auto wait = std::chrono::milliseconds(5000);
    while (auto got = machines.receive(buffer, wait)) {
        wait = std::chrono::milliseconds(200);
        ASSERT_EQ(got->length, kHeaderSize);
        cipher.decrypt(buffer.data(), 64);
        EXPECT_EQ(getI32le(buffer, 4), 3);
        EXPECT_EQ(getI32le(buffer, 12), 0);
        ++probes;
    }
    search.wait();
    EXPECT_EQ(probes, 256);
    EXPECT_EQ(MachineTable(config).count(), 0);
    EXPECT_EQ(config.readText("Z62_Net_Local_IP", "IP", "unset"), localAddress());
    EXPECT_EQ(config.readText("Z62_Net_Test_error", "IP", "unset"), "unset");
}

TEST(SearchThread, FailedProbesAreNotedAndTheSweepGoesOn)
{
    TempFolder dir;
    const ConfigFile config(dir.file("ZUZiruro.ini"));
    LinkSettings settings;
    settings.machinePort = 20999;
    settings.configPath = config.path();
    settings.searchPrefix = "300.0.0."; // no valid address: every send fails, nothing leaves
    const SearchSweep sweep = runSearchSweep(settings);
    EXPECT_FALSE(sweep.skipped);
    EXPECT_EQ(sweep.probesSent, 0);
    EXPECT_EQ(sweep.probesFailed, 256);
    EXPECT_EQ(config.readText("Z62_Net_Test_error", "IP", "unset"), sweep.localAddress);
}

TEST(SearchThread, EmptyPrefixSkipsTheSweepAndKeepsTheTable)
{
    TempFolder dir;
    const ConfigFile config(dir.file("ZUZiruro.ini"));
    config.writeText("Z62_Net_Count", "count", "2");
    LinkSettings settings;
    settings.configPath = config.path();
    settings.searchPrefix = "";
    EXPECT_TRUE(runSearchSweep(settings).skipped);
    EXPECT_EQ(MachineTable(config).count(), 2);
}
