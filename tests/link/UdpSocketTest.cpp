#include "link/UdpSocket.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(UdpSocket, Ipv4TextIsReadTheSameWayEverywhere)
{
    struct Case
    {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        {"127.0.0.1", 0x7F000001u},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"192.168.7.100", 0xC0A80764u},
        {"256.0.0.1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1.2.3.", std::nullopt},
        {".1.2.3", std::nullopt},
        {"01.2.3.4", std::nullopt}, // octal to some readers
        {"1.2.3.4 ", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1..3.4", std::nullopt},
        {"1.2.3.0x4", std::nullopt},
        {"1.2.3.1000", std::nullopt},
        {"-1.2.3.4", std::nullopt},
        {"", std::nullopt},
        {"localhost", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseIpv4(c.text), c.value) << c.text;
        EXPECT_EQ(isIpv4Address(c.text), c.value.has_value()) << c.text;
    }
    EXPECT_TRUE(isLoopbackAddress("127.255.0.9"));
    EXPECT_FALSE(isLoopbackAddress("128.0.0.1"));
    EXPECT_FALSE(isLoopbackAddress("127.0.0.01"));
}

TEST(UdpSocket, DatagramArrivesWithItsSenderAndLongerOnesAreDropped)
{
    UdpSocket receiver;
    UdpSocket sender;
    ASSERT_TRUE(receiver.bind("127.0.0.1", 0));
    ASSERT_TRUE(sender.bind("127.0.0.1", 0));
    ASSERT_NE(receiver.localPort(), 0);

    const std::vector<std::uint8_t> bytes = {0x5A, 0x00, 0xFF, 0x10, 0x20};
    ASSERT_TRUE(sender.sendTo("127.0.0.1", receiver.localPort(), bytes));
    std::vector<std::uint8_t> buffer(64);
    const auto got = receiver.receive(buffer, 2000ms);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + long(got->length)), bytes);
    EXPECT_EQ(got->sender, "127.0.0.1");
    EXPECT_EQ(got->senderPort, sender.localPort());

    // Too long for the buffer: dropped whole, and the next datagram is read normally.
    ASSERT_TRUE(sender.sendTo("127.0.0.1", receiver.localPort(), std::vector<std::uint8_t>(100)));
    ASSERT_TRUE(sender.sendTo("127.0.0.1", receiver.localPort(), bytes));
    EXPECT_FALSE(receiver.receive(buffer, 2000ms));
    const auto next = receiver.receive(buffer, 2000ms);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->length, bytes.size());

    EXPECT_FALSE(receiver.receive(buffer, 50ms)) << "nothing left to read";
}

TEST(UdpSocket, WaitReadableNamesOnlyTheSocketsHoldingADatagram)
{
    UdpSocket a;
    UdpSocket b;
    UdpSocket closed;
    ASSERT_TRUE(a.bind("127.0.0.1", 0));
    ASSERT_TRUE(b.bind("127.0.0.1", 0));
    const UdpSocket* all[] = {&a, &closed, &b};
    EXPECT_TRUE(UdpSocket::waitReadable(all, 50ms).empty());

    ASSERT_TRUE(a.sendTo("127.0.0.1", b.localPort(), std::vector<std::uint8_t>{7}));
    std::vector<std::size_t> ready;
    for (int i = 0; i < 20 && ready.empty(); ++i)
        ready = UdpSocket::waitReadable(all, 100ms);
    EXPECT_EQ(ready, std::vector<std::size_t>{2});
}

TEST(UdpSocket, RefusalsSendNothing)
{
    UdpSocket socket;
    std::vector<std::uint8_t> buffer(16);
    EXPECT_FALSE(socket.sendTo("127.0.0.1", 9, buffer)) << "closed";
    EXPECT_FALSE(socket.receive(buffer, 10ms)) << "closed";
    EXPECT_EQ(socket.localPort(), 0);
    EXPECT_FALSE(socket.bind("127.0.0.256", 0));
    EXPECT_FALSE(socket.isOpen());

    ASSERT_TRUE(socket.open());
    EXPECT_FALSE(socket.sendTo("not an address", 9, buffer));
    // The guard holds on every platform: nothing leaves for an address outside 127.0.0.0/8.
    ASSERT_TRUE(loopbackOnly()) << "tests run with HOOPWATCH_LOOPBACK_ONLY=1";
    EXPECT_FALSE(socket.sendTo("192.0.2.1", 9, buffer));

    // Without sharing, a port another socket holds cannot be bound again.
    UdpSocket holder;
    ASSERT_TRUE(holder.bind("127.0.0.1", 0, false));
    UdpSocket second;
    EXPECT_FALSE(second.bind("127.0.0.1", holder.localPort(), false));

    // Nor does anything of the programs listen beyond loopback: open() and the answer sockets
    // hold 127.0.0.1 alone, so a datagram to another loopback address does not reach them.
    EXPECT_EQ(bindAddressFor("0.0.0.0"), "127.0.0.1");
    EXPECT_EQ(bindAddressFor("192.0.2.1"), "127.0.0.1");
    EXPECT_EQ(bindAddressFor("127.0.0.51"), "127.0.0.51");
    EXPECT_EQ(bindAddressFor("127.0.0.256"), "127.0.0.256") << "left for bind() to refuse";
    UdpSocket opened;
    ASSERT_TRUE(opened.open());
    ASSERT_TRUE(socket.sendTo("127.0.0.2", opened.localPort(), buffer));
    EXPECT_FALSE(opened.receive(buffer, 100ms)) << "bound beyond 127.0.0.1";
    ASSERT_TRUE(socket.sendTo("127.0.0.1", opened.localPort(), buffer));
    EXPECT_TRUE(opened.receive(buffer, 1000ms));
}
