#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline {
namespace {

using testing::bytesOf;
using testing::loopback4;

Data bytesOf6(const sockaddr_in6& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return Data(bytes, bytes + sizeof address);
}

TEST(TcpLookup, LocalhostGivesBothFamiliesWithoutTheResolver) {
    for (const char* host : {"localhost", "loopback"}) {
        std::optional<Error> error = Error{};
        std::vector<Data> addresses = AsyncTcpSocket::lookupHost(host, 19771, &error);
        EXPECT_FALSE(error);
        ASSERT_EQ(addresses.size(), 2u) << host;
        EXPECT_EQ(addresses[0].size(), 16u);
        EXPECT_EQ(addresses[1].size(), 28u);
        for (const Data& address : addresses) {
            EXPECT_EQ(address[2], 0x4D);
            EXPECT_EQ(address[3], 0x3B);
        }
        EXPECT_EQ(AsyncTcpSocket::hostFromAddress(addresses[0]), "127.0.0.1");
        EXPECT_EQ(AsyncTcpSocket::hostFromAddress(addresses[1]), "::1");
    }
}

TEST(TcpLookup, NumericHostsResolveInOrder) {
    std::optional<Error> error;
    auto addresses = AsyncTcpSocket::lookupHost("127.0.0.1", 80, &error);
    EXPECT_FALSE(error);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_TRUE(AsyncTcpSocket::isIPv4Address(addresses[0]));
    EXPECT_EQ(AsyncTcpSocket::portFromAddress(addresses[0]), 80);

    addresses = AsyncTcpSocket::lookupHost("::1", 81, &error);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_TRUE(AsyncTcpSocket::isIPv6Address(addresses[0]));
    EXPECT_EQ(AsyncTcpSocket::portFromAddress(addresses[0]), 81);
}

TEST(TcpAddressConversion, TableOfBuffers) {
    sockaddr_in6 six{};
    six.sin6_family = AF_INET6;
    six.sin6_port = htons(19880);
    six.sin6_addr = in6addr_loopback;
    Data ipv4 = bytesOf(loopback4(19771));
    Data ipv6 = bytesOf6(six);
    Data short4(ipv4.begin(), ipv4.begin() + 15);
    Data short6(ipv6.begin(), ipv6.begin() + 27);

    struct Case {
        const char* name;
        Data address;
        bool isIPv4, isIPv6;
        std::optional<std::string> host;
        std::uint16_t port;
        int family;
    };
    const Case cases[] = {
        {"IPv4", ipv4, true, false, "127.0.0.1", 19771, AF_INET},
        {"IPv6", ipv6, false, true, "::1", 19880, AF_INET6},
        {"15 bytes", short4, false, false, std::nullopt, 0, 0},
        {"short IPv6", short6, false, true, std::nullopt, 0, 0},
        {"empty", Data{}, false, false, std::nullopt, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AsyncTcpSocket::isIPv4Address(c.address), c.isIPv4);
        EXPECT_EQ(AsyncTcpSocket::isIPv6Address(c.address), c.isIPv6);
        EXPECT_EQ(AsyncTcpSocket::hostFromAddress(c.address), c.host);
        EXPECT_EQ(AsyncTcpSocket::portFromAddress(c.address), c.port);
        std::string host;
        std::uint16_t port = 0;
        int family = 0;
        EXPECT_EQ(AsyncTcpSocket::getHost(&host, &port, &family, c.address), c.host.has_value());
        EXPECT_EQ(family, c.family);
        EXPECT_TRUE(AsyncTcpSocket::getHost(nullptr, nullptr, nullptr, ipv4));
    }
}

TEST(TcpAddressConversion, TerminatorsAndUnixPaths) {
    EXPECT_EQ(AsyncTcpSocket::CRLFData(), (Data{0x0D, 0x0A}));
    EXPECT_EQ(AsyncTcpSocket::CRData(), Data{0x0D});
    EXPECT_EQ(AsyncTcpSocket::LFData(), Data{0x0A});
    EXPECT_EQ(AsyncTcpSocket::ZeroData(), Data{0x00});

    EXPECT_FALSE(AsyncTcpSocket::getInterfaceAddressFromUrl(""));
    auto address = AsyncTcpSocket::getInterfaceAddressFromUrl("/tmp/corvaline.sock");
    ASSERT_TRUE(address);
    ASSERT_EQ(address->size(), sizeof(sockaddr_un));
    const auto& un = *reinterpret_cast<const sockaddr_un*>(address->data());
    EXPECT_EQ(un.sun_family, AF_UNIX);
    EXPECT_EQ(AsyncTcpSocket::urlFromSockaddrUN(un), "/tmp/corvaline.sock");
    // A path longer than the structure holds is cut and stays terminated.
    auto cut = AsyncTcpSocket::getInterfaceAddressFromUrl(std::string(300, 'x'));
    ASSERT_TRUE(cut);
    const auto& cutUn = *reinterpret_cast<const sockaddr_un*>(cut->data());
    EXPECT_EQ(AsyncTcpSocket::urlFromSockaddrUN(cutUn).native().size(), 107u);
}

TEST(TcpInterfaceDescriptions, Table) {
    struct Case {
        std::string description;
        std::uint16_t port;
        std::optional<std::string> host4, host6;
        std::uint16_t expectedPort;
    };
    const Case cases[] = {
        {"", 0, "0.0.0.0", "::", 0},
        {":", 7, "0.0.0.0", "::", 7},
        {":8080", 0, "0.0.0.0", "::", 8080},
        {"localhost", 9, "127.0.0.1", "::1", 9},
        {"loopback:8080", 0, "127.0.0.1", "::1", 8080},
        {"lo:8080", 0, "127.0.0.1", "::1", 8080},
        {"lo:8080", 5, "127.0.0.1", "::1", 5},
        {"lo:0", 0, "127.0.0.1", "::1", 0},
        {"lo:99999", 0, "127.0.0.1", "::1", 0},
        {"127.0.0.1", 3, "127.0.0.1", std::nullopt, 3},
        {"Localhost", 3, std::nullopt, std::nullopt, 0},
        {"no-such-interface", 3, std::nullopt, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description + " port " + std::to_string(c.port));
        std::optional<Data> address4;
        std::optional<Data> address6;
        AsyncTcpSocket::getInterfaceAddress4(&address4, &address6, c.description, c.port);
        EXPECT_EQ(address4 ? AsyncTcpSocket::hostFromAddress(*address4) : std::nullopt, c.host4);
        EXPECT_EQ(address6 ? AsyncTcpSocket::hostFromAddress(*address6) : std::nullopt, c.host6);
        for (const auto& address : {address4, address6}) {
            if (address) {
                EXPECT_EQ(AsyncTcpSocket::portFromAddress(*address), c.expectedPort);
            }
        }
    }
    AsyncTcpSocket::getInterfaceAddress4(nullptr, nullptr, "lo", 1);  // no out-slots: harmless
}

TEST(TcpErrors, DomainsCodesAndTexts) {
    struct Case {
        Error error;
        const char* domain;
        long code;
        std::string message;
    };
    const Case cases[] = {
        {AsyncTcpSocket::badConfigError("c"), AsyncTcpSocketErrorDomain, 1, "c"},
        {AsyncTcpSocket::badParamError("p"), AsyncTcpSocketErrorDomain, 2, "p"},
        {AsyncTcpSocket::connectTimeoutError(), AsyncTcpSocketErrorDomain, 3,
         "Attempt to connect to host timed out"},
        {AsyncTcpSocket::readTimeoutError(), AsyncTcpSocketErrorDomain, 4,
         "Read operation timed out"},
        {AsyncTcpSocket::writeTimeoutError(), AsyncTcpSocketErrorDomain, 5,
         "Write operation timed out"},
        {AsyncTcpSocket::readMaxedOutError(), AsyncTcpSocketErrorDomain, 6,
         "Read operation reached set maximum length"},
        {AsyncTcpSocket::connectionClosedError(), AsyncTcpSocketErrorDomain, 7,
         "Socket closed by remote peer"},
        {AsyncTcpSocket::otherError("o"), AsyncTcpSocketErrorDomain, 8, "o"},
        {AsyncTcpSocket::errorWithErrno(ECONNREFUSED, "Error in connect() function"),
         kPosixErrorDomain, ECONNREFUSED, "Connection refused"},
        {AsyncTcpSocket::gaiError(EAI_NONAME), kResolverErrorDomain, EAI_NONAME,
         ::gai_strerror(EAI_NONAME)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.error.domain, c.domain);
        EXPECT_EQ(c.error.code, c.code);
        EXPECT_EQ(c.error.message, c.message);
    }
    EXPECT_EQ(cases[8].error.failureReason, "Error in connect() function");
    errno = EPIPE;
    EXPECT_EQ(AsyncTcpSocket::errnoError().code, EPIPE);
}

}  // namespace
}  // namespace corvaline
