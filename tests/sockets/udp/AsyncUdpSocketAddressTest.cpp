#include <sys/socket.h>

#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

Data truncated(Data data, std::size_t size) {
    data.resize(size);
    return data;
}

TEST(UdpAddressTest, AddressDataDecodesOnlyWhenLongEnoughForItsFamily) {
    struct Row {
        const char* name;
        Data address;
        std::optional<std::string> host;
        std::uint16_t port;
        int family;
    };
    Data wrongFamily = address4("10.0.0.1", 80);
    wrongFamily[0] = AF_UNIX;
    wrongFamily[1] = 0;
    const std::vector<Row> table = {
        {"IPv4", address4("192.0.2.7", 19771), "192.0.2.7", 19771, AF_INET},
        {"IPv6", address6("2001:db8::5", 443), "2001:db8::5", 443, AF_INET6},
        {"IPv4 too short", truncated(address4("192.0.2.7", 1), 15), std::nullopt, 0, 0},
        {"IPv6 with only 16 bytes", truncated(address6("::1", 1), 16), std::nullopt, 0, 0},
        {"other family", wrongFamily, std::nullopt, 0, 0},
        {"empty", Data{}, std::nullopt, 0, 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(AsyncUdpSocket::hostFromAddress(row.address), row.host);
        EXPECT_EQ(AsyncUdpSocket::portFromAddress(row.address), row.port);
        EXPECT_EQ(AsyncUdpSocket::familyFromAddress(row.address), row.family);
        EXPECT_EQ(AsyncUdpSocket::isIPv4Address(row.address), row.family == AF_INET);
        EXPECT_EQ(AsyncUdpSocket::isIPv6Address(row.address), row.family == AF_INET6);
        std::string host = "untouched";
        int family = -1;
        EXPECT_EQ(AsyncUdpSocket::getHost(&host, nullptr, &family, row.address),
                  row.host.has_value());
        EXPECT_EQ(host, row.host.value_or("untouched"));
        EXPECT_EQ(family, row.host ? row.family : -1);
    }
}

TEST(UdpAddressTest, ErrorDomainTexts) {
    EXPECT_EQ(AsyncUdpSocket::sendTimeoutError(),
              (Error{AsyncUdpSocketErrorDomain, 3, "Send operation timed out", {}, {}}));
    EXPECT_EQ(AsyncUdpSocket::socketClosedError(),
              (Error{AsyncUdpSocketErrorDomain, 4, "Socket closed", {}, {}}));
    EXPECT_EQ(AsyncUdpSocket::otherError("x").code, 5);
}

}  // namespace
}  // namespace corvaline::testing::udp
