#include "HeldResolver.h"
#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

class UdpConnectTest : public UdpSocketTest {
  protected:
    void TearDown() override { HeldResolver::release(); }
};

TEST_F(UdpConnectTest, ConnectedSocketTalksToItsPeerOnly) {
    RawUdp peer;
    RawUdp stranger;
    auto socket = makeSocket();
    Error error;
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), &error)) << error.message;
    EXPECT_FALSE(socket->connectToAddress(peer.address(), &error));
    EXPECT_EQ(error.message, "Cannot connect a socket more than once.");
    ASSERT_TRUE(waitForCount(Kind::Connected, 1));
    EXPECT_EQ(delegate->of(Kind::Connected)[0].address, peer.address());
    EXPECT_TRUE(socket->isConnected());
    EXPECT_FALSE(socket->isIPv6());  // the other family is closed
    EXPECT_EQ(socket->connectedHost(), "127.0.0.1");
    EXPECT_EQ(socket->connectedPort(), peer.port());
    EXPECT_NE(socket->localPort(), 0);

    socket->sendData(bytes("to peer"), 1);
    socket->sendData(bytes("elsewhere"), "127.0.0.1", stranger.port(), -1, 2);
    ASSERT_TRUE(waitForCount(Kind::NotSent, 1));
    EXPECT_EQ(delegate->of(Kind::NotSent)[0].tag, 2);
    EXPECT_EQ(delegate->of(Kind::NotSent)[0].error->message,
              "Cannot specify destination of packet for connected socket");
    EXPECT_EQ(peer.receive(), "to peer");

    ASSERT_TRUE(socket->beginReceiving());
    Data local = *socket->localAddress();
    stranger.sendTo(local, "from stranger");
    peer.sendTo(local, "from peer");
    ASSERT_TRUE(waitForCount(Kind::Received, 1));
    settle(*socket);
    EXPECT_EQ(delegate->received(), (std::vector<std::string>{"from peer"}));
}

// While a connect waits for its lookup the socket refuses a bind and a multicast join.
TEST_F(UdpConnectTest, PendingConnectRefusesBindAndJoin) {
    HeldResolver::holdAgain();
    auto unbound = makeSocket();
    auto bound = makeSocket();
    ASSERT_TRUE(bound->bindToPort(0));
    ASSERT_TRUE(unbound->connectToHost("held.invalid", 9));
    ASSERT_TRUE(bound->connectToHost("held.invalid", 9));
    Error error;
    EXPECT_FALSE(unbound->bindToPort(0, &error));
    EXPECT_EQ(error.message, "Cannot bind after connecting. If needed, bind first, then connect.");
    EXPECT_FALSE(bound->joinMulticastGroup("224.0.0.251", &error));
    EXPECT_EQ(error.message, "Cannot join a multicast group if connected.");
    HeldResolver::release();
    ASSERT_TRUE(waitForCount(Kind::NotConnected, 2));
}

TEST_F(UdpConnectTest, FailedConnectIsReportedAndLeavesTheSocketUnconnected) {
    auto socket = makeSocket();
    Error error;
    EXPECT_FALSE(socket->connectToHost("", 9, &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadParamError);
    EXPECT_FALSE(socket->connectToAddress(Data{}, &error));
    EXPECT_EQ(error.message, "The address param is nil. Should be a valid address.");

    ASSERT_TRUE(socket->connectToHost("nowhere.invalid", 9));
    ASSERT_TRUE(waitForCount(Kind::NotConnected, 1));
    EXPECT_EQ(delegate->of(Kind::NotConnected)[0].error->domain, kResolverErrorDomain);
    EXPECT_FALSE(socket->isConnected());

    // The request is taken again, and the datagram queued behind it waits for it.
    RawUdp peer;
    ASSERT_TRUE(socket->connectToAddress(peer.address()));
    socket->sendData(bytes("after connect"), 1);
    EXPECT_EQ(peer.receive(), "after connect");
    ASSERT_TRUE(waitForCount(Kind::Sent, 1));
    EXPECT_EQ(delegate->count(Kind::Connected), 1u);
}

TEST_F(UdpConnectTest, Multicast) {
    Error error;
    auto socket = makeSocket();
    EXPECT_FALSE(socket->joinMulticastGroup("224.0.0.251", &error));
    EXPECT_EQ(error.message, "Must bind a socket before joining a multicast group.");
    ASSERT_TRUE(socket->bindToPort(0));
    EXPECT_FALSE(socket->joinMulticastGroup("not-a-group", &error));
    EXPECT_EQ(error.message, "Unknown group. Specify valid group IP address.");
    EXPECT_FALSE(socket->joinMulticastGroup("224.0.0.251", "nosuchif0", &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadParamError);
    EXPECT_TRUE(socket->isIPv6());
    ASSERT_TRUE(socket->joinMulticastGroup("224.0.0.251", "127.0.0.1", &error)) << error.message;
    EXPECT_FALSE(socket->isIPv6());  // the membership is IPv4's
    // IPv6 is out of use from now on, so an IPv6 destination is refused, not a failure.
    socket->sendData(bytes("x"), "::1", 9, -1, 1);
    ASSERT_TRUE(waitForCount(Kind::NotSent, 1));
    EXPECT_FALSE(socket->isClosed());
    EXPECT_TRUE(socket->leaveMulticastGroup("224.0.0.251", "127.0.0.1", &error)) << error.message;
    EXPECT_TRUE(socket->sendIPv4MulticastOnInterface("127.0.0.1", &error)) << error.message;
    EXPECT_FALSE(socket->sendIPv4MulticastOnInterface("nosuchif0", &error));
    EXPECT_EQ(error.message, "Unknown interface. Specify valid interface by IP address.");

    auto ipv6Only = makeSocket();
    ipv6Only->setIPv4Enabled(false);
    Error untouched{"untouched", 0, {}, {}, {}};
    EXPECT_FALSE(ipv6Only->sendIPv4MulticastOnInterface("127.0.0.1", &untouched));
    EXPECT_EQ(untouched.domain, "untouched");
}

}  // namespace
}  // namespace corvaline::testing::udp
