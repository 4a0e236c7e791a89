// The socket wrapper's loopback guard and the subnet prefix of the local address.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/LocalAddress.h"
#include "link/UdpSocket.h"

TEST(LocalAddress, SubnetPrefixEndsAtTheLastDot)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"192.168.7.23", "192.168.7."}, {"10.1.2.3", "10.1.2."}, {"", ""}, {"localhost", ""}};
    for (const auto& [address, prefix] : cases)
        EXPECT_EQ(subnetPrefix(address), prefix) << address;
}

TEST(UdpSocket, RefusesNonLoopbackAndInvalidDestinations)
{
    ASSERT_TRUE(loopbackOnly()) << "tests run with HOOPWATCH_LOOPBACK_ONLY=1";
    UdpSocket socket;
    ASSERT_TRUE(socket.open());
    const std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(socket.sendTo("192.168.7.100", 20998, bytes));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("192.168.7.100"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    for (const char* bad : {"0,0,0,0", "", "127.0.0", "127.0.0.1 ", "256.0.0.1"})
        EXPECT_FALSE(socket.sendTo(bad, 20998, bytes)) << bad;
}
