#include "sockets/udp/AsyncUdpSocketDestination.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

const Data kV4 = address4("192.0.2.1", 19771);
const Data kV4b = address4("192.0.2.2", 19771);
const Data kV6 = address6("2001:db8::1", 19771);

struct Choice {
    const char* name;
    std::vector<Data> addresses;
    AsyncUdpDestinationRules rules;
    Data expected;             // empty: refused
    const char* message = "";  // the refusal
};

AsyncUdpDestinationRules rules(std::function<void(AsyncUdpDestinationRules&)> change) {
    AsyncUdpDestinationRules result;
    change(result);
    return result;
}

TEST(UdpDestinationTest, ChoosesByPreferenceAndNeverAnUnusableFamily) {
    const char* v4Disabled = "IPv4 has been disabled and DNS lookup found no IPv6 address(es).";
    const char* v6Disabled = "IPv6 has been disabled and DNS lookup found no IPv4 address(es).";
    const char* v6Deactivated =
        "IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 "
        "address(es).";
    const char* v4Deactivated =
        "IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 "
        "address(es).";
    const char* noSocket = "No usable IPv4 or IPv6 socket for the address(es) found by DNS lookup.";
    const std::vector<Choice> table = {
        {"neutral takes the first address's family", {kV4, kV6}, {}, kV4},
        {"neutral, IPv6 listed first", {kV6, kV4}, {}, kV6},
        {"first IPv4 address wins among IPv4",
         {kV6, kV4, kV4b},
         rules([](auto& r) { r.preferIPv4 = true; }),
         kV4},
        {"prefer IPv6", {kV4, kV6}, rules([](auto& r) { r.preferIPv6 = true; }), kV6},
        {"prefer IPv6 without an IPv6 address",
         {kV4},
         rules([](auto& r) { r.preferIPv6 = true; }),
         kV4},
        {"prefer IPv4 over an IPv6 first",
         {kV6, kV4},
         rules([](auto& r) { r.preferIPv4 = true; }),
         kV4},
        {"preferred family disabled",
         {kV4, kV6},
         rules([](auto& r) {
             r.preferIPv6 = true;
             r.ipv6Disabled = true;
         }),
         kV4},
        {"first family disabled", {kV4, kV6}, rules([](auto& r) { r.ipv4Disabled = true; }), kV6},
        {"first family deactivated",
         {kV6, kV4},
         rules([](auto& r) { r.ipv6Deactivated = true; }),
         kV4},
        {"first family has no socket",
         {kV4, kV6},
         rules([](auto& r) { r.ipv4SocketExists = false; }),
         kV6},
        {"only IPv4, IPv4 disabled",
         {kV4},
         rules([](auto& r) { r.ipv4Disabled = true; }),
         {},
         v4Disabled},
        {"only IPv6, IPv6 disabled",
         {kV6},
         rules([](auto& r) { r.ipv6Disabled = true; }),
         {},
         v6Disabled},
        {"only IPv4, IPv4 deactivated",
         {kV4},
         rules([](auto& r) { r.ipv4Deactivated = true; }),
         {},
         v4Deactivated},
        {"only IPv6, IPv6 deactivated",
         {kV6},
         rules([](auto& r) { r.ipv6Deactivated = true; }),
         {},
         v6Deactivated},
        {"disabled is refused before deactivated",
         {kV6},
         rules([](auto& r) {
             r.ipv6Disabled = true;
             r.ipv6Deactivated = true;
         }),
         {},
         v6Disabled},
        {"both resolved, neither usable",
         {kV4, kV6},
         rules([](auto& r) {
             r.ipv4Disabled = true;
             r.ipv6Deactivated = true;
         }),
         {},
         noSocket},
        {"family enabled after the sockets were made",
         {kV4},
         rules([](auto& r) { r.ipv4SocketExists = false; }),
         {},
         noSocket},
        {"no valid address", {Data{1, 2, 3}}, {}, {}, "A valid IPv4 or IPv6 address was not given"},
    };
    for (const Choice& row : table) {
        SCOPED_TRACE(row.name);
        AsyncUdpDestination destination = chooseUdpDestination(row.addresses, row.rules);
        if (row.expected.empty()) {
            ASSERT_TRUE(destination.error);
            EXPECT_EQ(destination.error->message, row.message);
            EXPECT_EQ(destination.family, 0);
        } else {
            EXPECT_FALSE(destination.error);
            EXPECT_EQ(destination.address, row.expected);
            EXPECT_EQ(destination.family, AsyncUdpSocket::familyFromAddress(row.expected));
        }
    }
}

}  // namespace
}  // namespace corvaline::testing::udp
