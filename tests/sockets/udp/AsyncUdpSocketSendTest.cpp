#include <netdb.h>
#include <sys/socket.h>

#include <set>

#include "HeldResolver.h"
#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

class UdpSendTest : public UdpSocketTest {
  protected:
    void TearDown() override { HeldResolver::release(); }

    // Tags of the send reports, as "sent 3" or "not sent 1 (message)".
    std::vector<std::string> sendReports() const {
        std::vector<std::string> result;
        for (const UdpEvent& event : delegate->events) {
            if (event.kind == Kind::Sent) {
                result.push_back("sent " + std::to_string(event.tag));
            } else if (event.kind == Kind::NotSent) {
                result.push_back("not sent " + std::to_string(event.tag));
            }
        }
        return result;
    }
};

// The presence service's two sockets: a broadcast reaches every socket bound to the port.
TEST_F(UdpSendTest, PresenceSetUpBroadcastReachesTwoReusePortReceivers) {
    auto makeReceiver = [&] {
        auto receiver = makeSocket();
        receiver->setIPv6Enabled(false);
        Error error;
        EXPECT_TRUE(receiver->enableReusePort(true, &error)) << error.message;
        EXPECT_TRUE(receiver->bindToPort(19771, &error)) << error.message;
        EXPECT_TRUE(receiver->beginReceiving(&error)) << error.message;
        return receiver;
    };
    auto first = makeReceiver();
    auto second = makeReceiver();
    auto sender = makeSocket();
    sender->setIPv6Enabled(false);
    ASSERT_TRUE(sender->enableReusePort(true));
    ASSERT_TRUE(sender->enableBroadcast(true));
    sender->sendData(bytes("UI"), "127.255.255.255", 19771, -1, 1);

    ASSERT_TRUE(waitForCount(Kind::Received, 2));
    ASSERT_TRUE(waitForCount(Kind::Sent, 1));
    EXPECT_EQ(delegate->of(Kind::Sent)[0].tag, 1);
    std::set<const AsyncUdpSocket*> receivers;
    for (const UdpEvent& event : delegate->of(Kind::Received)) {
        EXPECT_EQ(event.data, "UI");
        EXPECT_EQ(AsyncUdpSocket::hostFromAddress(event.address), "127.0.0.1");
        EXPECT_FALSE(event.context.has_value());
        receivers.insert(event.socket);
    }
    EXPECT_EQ(receivers, (std::set<const AsyncUdpSocket*>{first.get(), second.get()}));
    EXPECT_FALSE(sender->isClosed());
}

// Datagrams leave in the order given even when an earlier one resolves last.
TEST_F(UdpSendTest, ReportsComeInHandOverOrderWhateverTheResolutionTakes) {
    for (bool slow : {false, true}) {
        SCOPED_TRACE(slow ? "first lookup slow" : "first lookup fast");
        delegate->events.clear();
        RawUdp peer;
        auto socket = makeSocket();
        int lookupsBefore = HeldResolver::passedLookups();
        if (slow) {
            HeldResolver::holdAgain();
        }
        socket->sendData(bytes("a"), slow ? "held.invalid" : "nowhere.invalid", peer.port(), -1,
                         -7);
        socket->sendData(bytes("b"), "127.0.0.1", peer.port(), -1, 0);
        socket->sendData(bytes("c"), "localhost", peer.port(), -1, 9);
        if (slow) {
            // The later lookups are done while the first is still held: nothing may overtake.
            ASSERT_TRUE(HeldResolver::waitForPassedLookups(lookupsBefore + 1));
            settle(*socket);
            EXPECT_TRUE(sendReports().empty());
            HeldResolver::release();
        }
        ASSERT_TRUE(waitUntil([&] { return sendReports().size() == 3; }));
        EXPECT_EQ(sendReports(), (std::vector<std::string>{"not sent -7", "sent 0", "sent 9"}));
        Error error = *delegate->of(Kind::NotSent).at(0).error;
        EXPECT_EQ(error.domain, kResolverErrorDomain);
        EXPECT_EQ(error.code, EAI_NONAME);
        EXPECT_EQ(peer.receive(), "b");
        EXPECT_EQ(peer.receive(), "c");
    }
}

TEST_F(UdpSendTest, DatagramsThatCannotGoAreReportedAloneAndTheSocketStaysOpen) {
    RawUdp peer;
    auto socket = makeSocket();
    socket->sendData(std::make_shared<const Data>(), peer.address(), -1, 1);  // ignored
    socket->sendData(bytes("x"), Data{1, 2, 3}, -1, 2);
    socket->sendData(bytes("x"), "", peer.port(), -1, 3);
    socket->sendData(bytes("x"), -1, 4);  // no destination on an unconnected socket
    socket->sendData(bytes("ok"), peer.address(), -1, 5);
    ASSERT_TRUE(waitUntil([&] { return sendReports().size() == 4; }));
    EXPECT_EQ(sendReports(),
              (std::vector<std::string>{"not sent 2", "not sent 3", "not sent 4", "sent 5"}));
    auto error = [&](std::size_t index) { return *delegate->events.at(index).error; };
    EXPECT_EQ(error(0).code, AsyncUdpSocketBadParamError);
    EXPECT_EQ(error(0).message, "A valid IPv4 or IPv6 address was not given");
    EXPECT_EQ(error(1).message,
              "The host param is nil. Should be domain name or IP address string.");
    EXPECT_EQ(error(2).code, AsyncUdpSocketBadConfigError);
    EXPECT_EQ(error(2).message,
              "You must specify destination of packet for a non-connected socket");
    EXPECT_EQ(peer.receive(), "ok");
    EXPECT_FALSE(socket->isClosed());
    EXPECT_EQ(delegate->count(Kind::Closed), 0u);
}

// Sends to "localhost" follow the preferences: 127.0.0.1 first unless IPv6 is preferred.
TEST_F(UdpSendTest, LocalhostGoesToTheFamilyThePreferencesChoose) {
    RawUdp peer4;
    RawUdp peer6(AF_INET6, peer4.port());
    auto neutral = makeSocket();
    neutral->sendData(bytes("neutral"), "localhost", peer4.port(), -1, 1);
    EXPECT_EQ(peer4.receive(), "neutral");
    auto preferring = makeSocket();
    preferring->setPreferIPv6();
    preferring->sendData(bytes("preferring"), "localhost", peer4.port(), -1, 2);
    EXPECT_EQ(peer6.receive(), "preferring");
    auto ipv6Off = makeSocket();
    ipv6Off->setPreferIPv6();
    ipv6Off->setIPv6Enabled(false);
    ipv6Off->sendData(bytes("ipv6 off"), "localhost", peer4.port(), -1, 3);
    EXPECT_EQ(peer4.receive(), "ipv6 off");
    ASSERT_TRUE(waitForCount(Kind::Sent, 3));

    // The first datagram bound the socket to a port the system chose.
    EXPECT_NE(neutral->localPort(), 0);
}

TEST_F(UdpSendTest, SendFilterRunsOnItsQueueAndDropsCountAsSent) {
    for (bool asynchronous : {false, true}) {
        SCOPED_TRACE(asynchronous ? "asynchronous" : "synchronous");
        delegate->events.clear();
        RawUdp peer;
        auto socket = makeSocket();
        auto filterQueue = dispatch::SerialQueue::create("filter");
        std::vector<long> seen;  // on the filter queue only
        socket->setSendFilter(
            [&](const Data& data, const Data& address, long tag) {
                EXPECT_TRUE(filterQueue->isCurrent());
                EXPECT_EQ(address, peer.address());
                seen.push_back(tag);
                return text(data) != "drop";
            },
            filterQueue, asynchronous);
        socket->sendData(bytes("drop"), "127.0.0.1", peer.port(), -1, 1);
        socket->sendData(bytes("keep"), "127.0.0.1", peer.port(), -1, 2);
        ASSERT_TRUE(waitForCount(Kind::Sent, 2));
        EXPECT_EQ(sendReports(), (std::vector<std::string>{"sent 1", "sent 2"}));
        EXPECT_EQ(peer.receive(), "keep");
        filterQueue->sync([&] { EXPECT_EQ(seen, (std::vector<long>{1, 2})); });
    }
}

TEST_F(UdpSendTest, AsynchronousSendFilterAnsweringAfterTheCloseHasNoEffect) {
    RawUdp peer;
    auto socket = makeSocket();
    auto filterQueue = dispatch::SerialQueue::create("filter");
    HeldCall held;
    socket->setSendFilter(
        [&](const Data&, const Data&, long) {
            held.holdHere();
            return true;
        },
        filterQueue);
    socket->sendData(bytes("held"), peer.address(), -1, 1);
    socket->sendData(bytes("queued"), peer.address(), -1, 2);
    ASSERT_TRUE(held.waitUntilHeld());
    socket->close();
    held.release();
    filterQueue->sync([] {});
    settle(*socket);
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0].kind, Kind::Closed);
    EXPECT_FALSE(delegate->events[0].error);
    EXPECT_TRUE(socket->isClosed());
    EXPECT_FALSE(peer.receive(std::chrono::milliseconds(0)));
}

// A veth link whose queue holds every packet: the socket's send buffer fills and stays full
// until the queue is taken away.
class UdpBlockedLinkTest : public UdpSendTest {
  protected:
    void SetUp() override {
        if (!inPrivateNetworkNamespace()) {
            GTEST_SKIP() << "needs a network namespace of its own";
        }
        ASSERT_TRUE(
            run("ip link add cvl0 type veth peer name cvl1 && "
                "ip addr add 10.77.0.1/24 dev cvl0 && ip link set cvl0 up && "
                "ip link set cvl1 up && "
                "ip neigh add 10.77.0.2 lladdr 02:00:00:00:00:02 dev cvl0 nud permanent "
                "&& tc qdisc add dev cvl0 root tbf rate 8bit burst 1600 limit 1000000"));
    }
    void releaseLink() { ASSERT_TRUE(run("tc qdisc del dev cvl0 root")); }
};

// A datagram that would block waits for the socket and goes out once it can take it; its
// time-out runs while it waits.
TEST_F(UdpBlockedLinkTest, WouldBlockWaitsForTheSocketKeepingItsTimeOut) {
    auto socket = makeSocket();
    socket->setMaxSendBufferSize(4096);
    socket->setIPv6Enabled(false);
    const Data target = address4("10.77.0.2", 9);
    const auto payload = bytes(std::string(1000, 'x'));
    // Fill the buffer until a datagram times out waiting.
    long tag = 0;
    while (delegate->count(Kind::NotSent) == 0 && tag < 200) {
        socket->sendData(payload, target, 0.2, ++tag);
        ASSERT_TRUE(waitUntil([&] { return sendReports().size() == std::size_t(tag); }));
    }
    ASSERT_EQ(delegate->count(Kind::NotSent), 1u);
    Error timeout = *delegate->of(Kind::NotSent)[0].error;
    EXPECT_EQ(timeout.code, AsyncUdpSocketSendTimeoutError);
    EXPECT_EQ(timeout.message, "Send operation timed out");

    // Without a time-out it waits as long as it takes, holding back the one behind it.
    socket->sendData(payload, target, -1, 1000);
    socket->sendData(payload, target, -1, 1001);
    settle(*socket);
    EXPECT_EQ(sendReports().size(), std::size_t(tag));
    releaseLink();
    ASSERT_TRUE(waitUntil([&] { return sendReports().size() == std::size_t(tag) + 2; }));
    EXPECT_EQ(sendReports().back(), "sent 1001");
    EXPECT_EQ(sendReports()[tag], "sent 1000");
    EXPECT_FALSE(socket->isClosed());
}

}  // namespace
}  // namespace corvaline::testing::udp
