#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

class UdpSetupTest : public UdpSocketTest {};

constexpr const char* kNoDelegate =
    "Attempting to use socket without a delegate. Set a delegate first.";
constexpr const char* kNoDelegateQueue =
    "Attempting to use socket without a delegate queue. Set a delegate queue first.";

// Every set-up operation checks for a delegate and a delegate queue before anything else.
TEST_F(UdpSetupTest, SetUpNeedsDelegateAndDelegateQueueFirst) {
    using Operation = std::function<bool(AsyncUdpSocket&, Error*)>;
    const std::vector<std::pair<const char*, Operation>> operations = {
        {"bindToPort", [](AsyncUdpSocket& s, Error* e) { return s.bindToPort(0, e); }},
        {"bindToAddress",
         [](AsyncUdpSocket& s, Error* e) {
             return s.bindToAddress(Data{1, 2}, e);
         }},
        {"enableReusePort", [](AsyncUdpSocket& s, Error* e) { return s.enableReusePort(true, e); }},
        {"enableBroadcast", [](AsyncUdpSocket& s, Error* e) { return s.enableBroadcast(true, e); }},
        {"connectToHost", [](AsyncUdpSocket& s, Error* e) { return s.connectToHost("", 9, e); }},
        {"joinMulticastGroup",
         [](AsyncUdpSocket& s, Error* e) { return s.joinMulticastGroup("x", e); }},
        {"sendIPv4MulticastOnInterface",
         [](AsyncUdpSocket& s, Error* e) { return s.sendIPv4MulticastOnInterface("lo", e); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        auto gone = std::make_shared<RecordingDelegate>();
        auto orphaned = AsyncUdpSocket::create(gone, loop);
        gone.reset();
        Error error;
        EXPECT_FALSE(operation(*orphaned, &error));
        EXPECT_EQ(error.code, AsyncUdpSocketBadConfigError);
        EXPECT_EQ(error.message, kNoDelegate);

        auto queueless = AsyncUdpSocket::create(delegate, nullptr);
        EXPECT_FALSE(operation(*queueless, &error));
        EXPECT_EQ(error.message, kNoDelegateQueue);
        EXPECT_TRUE(queueless->isClosed());
    }
}

// The presence service's receiving socket: IPv6 off, reuse-port on, then bind to the port.
TEST_F(UdpSetupTest, ReusePortWithIPv6OffMakesOnlyTheIPv4SocketAndBindUsesIt) {
    auto socket = makeSocket();
    socket->setIPv6Enabled(false);
    EXPECT_TRUE(socket->isIPv4());
    EXPECT_FALSE(socket->isIPv6());
    EXPECT_TRUE(socket->isClosed());
    ASSERT_TRUE(socket->enableReusePort(true));
    EXPECT_FALSE(socket->isClosed());
    EXPECT_TRUE(socket->isIPv4());
    EXPECT_FALSE(socket->isIPv6());
    EXPECT_EQ(socket->localPort(), 0);  // not bound yet
    EXPECT_FALSE(socket->localAddress());

    Error error;
    ASSERT_TRUE(socket->bindToPort(19771, &error)) << error.message;
    EXPECT_EQ(socket->localHost(), "0.0.0.0");
    EXPECT_EQ(socket->localPort(), 19771);
    EXPECT_FALSE(socket->localAddress_IPv6());
    int reusePort = 0;
    socket->performBlock([&] {
        socklen_t length = sizeof reusePort;
        ::getsockopt(socket->socket4FD(), SOL_SOCKET, SO_REUSEPORT, &reusePort, &length);
    });
    EXPECT_EQ(reusePort, 1);

    // IPv6 is out of use now: a destination that is only IPv6 is refused.
    socket->sendData(bytes("x"), "::1", 9, -1, 4);
    ASSERT_TRUE(waitForCount(Kind::NotSent, 1));
    EXPECT_EQ(delegate->events[0].error->message,
              "IPv6 has been disabled and DNS lookup found no IPv4 address(es).");
}

TEST_F(UdpSetupTest, BindRefusals) {
    auto socket = makeSocket();
    Error error;
    ASSERT_TRUE(socket->bindToPort(0, "127.0.0.1", &error)) << error.message;
    std::uint16_t port = socket->localPort();
    EXPECT_FALSE(socket->bindToPort(0, &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadConfigError);
    EXPECT_EQ(error.message, "Cannot bind a socket more than once.");
    EXPECT_EQ(socket->localPort(), port);
    EXPECT_EQ(socket->localHost(), "127.0.0.1");

    auto disabled = makeSocket();
    disabled->setIPv4Enabled(false);
    disabled->setIPv6Enabled(false);
    const char* bothOff =
        "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.";
    EXPECT_FALSE(disabled->bindToPort(0, &error));
    EXPECT_EQ(error.message, bothOff);
    EXPECT_FALSE(disabled->connectToHost("localhost", 9, &error));
    EXPECT_EQ(error.message, bothOff);

    auto unknown = makeSocket();
    EXPECT_FALSE(unknown->bindToPort(0, "nosuchif0", &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadParamError);
    EXPECT_EQ(error.message,
              "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");
    EXPECT_TRUE(unknown->isClosed());

    // An IPv4 address text names no IPv6 address.
    auto v4Only = makeSocket();
    v4Only->setIPv4Enabled(false);
    EXPECT_FALSE(v4Only->bindToPort(0, "127.0.0.1", &error));
    EXPECT_EQ(error.message,
              "IPv4 has been disabled and specified interface doesn't support IPv6.");
}

TEST_F(UdpSetupTest, BindToLocalhostBindsBothFamiliesToLoopback) {
    auto socket = makeSocket();
    ASSERT_TRUE(socket->bindToPort(0, "localhost"));
    EXPECT_EQ(socket->localHost_IPv4(), "127.0.0.1");
    EXPECT_EQ(socket->localHost_IPv6(), "::1");
    EXPECT_NE(socket->localPort_IPv4(), 0);
    EXPECT_NE(socket->localPort_IPv6(), 0);

    // By interface name the first address of each family is used.
    auto byName = makeSocket();
    ASSERT_TRUE(byName->bindToPort(0, "lo"));
    EXPECT_EQ(byName->localHost_IPv4(), "127.0.0.1");
}

TEST_F(UdpSetupTest, BindToAddressChecksTheAddressAndDeactivatesTheOtherFamily) {
    Error error;
    auto socket = makeSocket();
    EXPECT_FALSE(socket->bindToAddress(Data{1, 2, 3}, &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadParamError);
    EXPECT_EQ(error.message, "A valid IPv4 or IPv6 address was not given");

    auto noIPv4 = makeSocket();
    noIPv4->setIPv4Enabled(false);
    EXPECT_FALSE(noIPv4->bindToAddress(address4("127.0.0.1", 0), &error));
    EXPECT_EQ(error.message, "IPv4 has been disabled and an IPv4 address was passed.");
    auto noIPv6 = makeSocket();
    noIPv6->setIPv6Enabled(false);
    EXPECT_FALSE(noIPv6->bindToAddress(address6("::1", 0), &error));
    EXPECT_EQ(error.message, "IPv6 has been disabled and an IPv6 address was passed.");

    ASSERT_TRUE(socket->bindToAddress(address6("::1", 0), &error)) << error.message;
    EXPECT_FALSE(socket->isIPv4());  // only the family of the address is made
    EXPECT_EQ(socket->localHost(), "::1");
    socket->sendData(bytes("x"), "127.0.0.1", 9, -1, 1);
    ASSERT_TRUE(waitForCount(Kind::NotSent, 1));
    EXPECT_EQ(delegate->events[0].error->message,
              "IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 "
              "address(es).");
}

TEST_F(UdpSetupTest, FailedBindIsAPosixErrorAndClosesTheSockets) {
    auto socket = makeSocket();
    Error error;
    EXPECT_FALSE(socket->bindToAddress(address4("192.0.2.1", 0), &error));
    EXPECT_EQ(error.domain, kPosixErrorDomain);
    EXPECT_EQ(error.code, EADDRNOTAVAIL);
    EXPECT_EQ(error.failureReason, "Error in bind() function");
    EXPECT_TRUE(socket->isClosed());
    settle(*socket);
    EXPECT_TRUE(delegate->events.empty());  // a failed set-up reports nothing
}

TEST_F(UdpSetupTest, BroadcastNeedsAnIPv4Socket) {
    auto socket = makeSocket();
    socket->setIPv4Enabled(false);
    Error error{"untouched", 0, {}, {}, {}};
    EXPECT_FALSE(socket->enableBroadcast(true, &error));
    EXPECT_EQ(error.domain, "untouched");
    EXPECT_FALSE(socket->isClosed());  // the IPv6 socket was made

    auto ipv4 = makeSocket();
    ASSERT_TRUE(ipv4->enableBroadcast(true));
    int broadcast = 0;
    ipv4->performBlock([&] {
        socklen_t length = sizeof broadcast;
        ::getsockopt(ipv4->socket4FD(), SOL_SOCKET, SO_BROADCAST, &broadcast, &length);
    });
    EXPECT_EQ(broadcast, 1);
}

// New system sockets take the send size for both buffers; IPv6 ones take no IPv4 peers.
TEST_F(UdpSetupTest, NewSocketsTakeTheSendSizeForBothBuffersAndAreIPv6Only) {
    auto socket = makeSocket();
    socket->setMaxSendBufferSize(16384);
    ASSERT_TRUE(socket->enableReusePort(true));
    socket->setMaxSendBufferSize(8192);  // too late for the existing sockets
    socket->performBlock([&] {
        for (int fd : {socket->socket4FD(), socket->socket6FD()}) {
            int send = 0;
            int receive = 0;
            socklen_t length = sizeof send;
            ::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send, &length);
            ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive, &length);
            EXPECT_EQ(send, 2 * 16384);  // Linux reports twice the size asked for
            EXPECT_EQ(receive, 2 * 16384);
        }
        int v6Only = 0;
        socklen_t length = sizeof v6Only;
        ::getsockopt(socket->socket6FD(), IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, &length);
        EXPECT_EQ(v6Only, 1);
    });
    EXPECT_EQ(socket->maxSendBufferSize(), 8192);
}

TEST_F(UdpSetupTest, DescriptorsAreOnlyGivenOutOnTheSocketQueueOrAMarkedQueue) {
    auto socket = makeSocket();
    ASSERT_TRUE(socket->enableReusePort(true));
    EXPECT_EQ(socket->socket4FD(), -1);
    EXPECT_EQ(socket->socketFD(), -1);
    int inside = -1;
    socket->performBlock([&] { inside = socket->socketFD(); });
    EXPECT_GE(inside, 0);

    auto marked = dispatch::SerialQueue::create("owner");
    socket->markSocketQueueTargetQueue(*marked);
    int onMarked = -1;
    marked->sync([&] { onMarked = socket->socket4FD(); });
    EXPECT_EQ(onMarked, inside);
    socket->unmarkSocketQueueTargetQueue(*marked);
    marked->sync([&] { onMarked = socket->socket4FD(); });
    EXPECT_EQ(onMarked, -1);
}

// A marked queue does not run in step with the socket queue: what its code asks of the
// socket waits for the socket queue's own work instead of running beside it. `done` is a
// plain flag, so a build with the thread sanitizer also reports any overlap.
TEST_F(UdpSetupTest, CodeOnAMarkedQueueWaitsForTheSocketQueue) {
    auto socket = makeSocket();
    auto marked = dispatch::SerialQueue::create("owner");
    socket->markSocketQueueTargetQueue(*marked);
    std::atomic<bool> holding = false;
    bool done = false;
    std::thread busy([&] {
        socket->performBlock([&] {
            holding = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            done = true;
        });
    });
    while (!holding) {
        std::this_thread::yield();
    }
    bool sawDone = false;
    marked->sync([&] { socket->performBlock([&] { sawDone = done; }); });
    busy.join();
    EXPECT_TRUE(sawDone);
    socket->unmarkSocketQueueTargetQueue(*marked);
}

// Setters return at once, yet a later read from the same thread sees them.
TEST_F(UdpSetupTest, ConfigurationReadsSeeEarlierSetters) {
    auto socket = makeSocket();
    EXPECT_TRUE(socket->isIPVersionNeutral());
    socket->setPreferIPv4();
    socket->setPreferIPv6();
    EXPECT_TRUE(socket->isIPv6Preferred());
    EXPECT_FALSE(socket->isIPv4Preferred());
    EXPECT_EQ(socket->maxReceiveIPv6BufferSize(), 65535u);
    socket->setMaxReceiveIPv6BufferSize(100000);
    EXPECT_EQ(socket->maxReceiveIPv6BufferSize(), 100000u);

    std::shared_ptr<AsyncUdpSocket::Delegate> readDelegate;
    std::shared_ptr<dispatch::Queue> readQueue;
    socket->getDelegate(&readDelegate, &readQueue);
    EXPECT_EQ(readDelegate, delegate);
    EXPECT_EQ(readQueue, loop);
    socket->synchronouslySetDelegate(std::weak_ptr<AsyncUdpSocket::Delegate>(), nullptr);
    EXPECT_EQ(socket->delegate(), nullptr);
    EXPECT_EQ(socket->delegateQueue(), nullptr);
}

}  // namespace
}  // namespace corvaline::testing::udp
