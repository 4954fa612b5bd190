#include <fcntl.h>

#include <climits>
#include <future>
#include <thread>

#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline::testing {
namespace {

using TcpConnect = TcpSocketTest;

// A port nothing listens on: refused at once.
std::uint16_t closedPort() {
    RawListener gone;
    return gone.port();
}

TEST_F(TcpConnect, ConnectRefusalsAnswerWithTheirError) {
    RawListener peer;
    auto busy = newSocket();
    ASSERT_TRUE(busy->connectToAddress(peer.address(), 5.0));
    auto ipv4Off = newSocket();
    ipv4Off->setIPv4Enabled(false);
    auto bothOff = newSocket();
    bothOff->setIPv4Enabled(false);
    bothOff->setIPv6Enabled(false);
    Data fifteen = peer.address();
    fifteen.pop_back();
    struct Case {
        const char* name;
        std::function<bool(Error*)> attempt;
        long code;
        std::string message;
    };
    const Case cases[] = {
        {"no delegate",
         [&](Error* e) { return AsyncTcpSocket::create()->connectToHost("127.0.0.1", 1, e); }, 1,
         "Attempting to connect without a delegate. Set a delegate first."},
        {"no delegate queue",
         [&](Error* e) {
             return AsyncTcpSocket::create(delegate, nullptr)->connectToAddress(peer.address(), e);
         },
         1, "Attempting to connect without a delegate queue. Set a delegate queue first."},
        {"empty host", [&](Error* e) { return newSocket()->connectToHost("", 1, e); }, 2,
         "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string."},
        {"already connecting", [&](Error* e) { return busy->connectToHost("127.0.0.1", 1, e); }, 1,
         "Attempting to connect while connected or accepting connections. Disconnect first."},
        {"both families off", [&](Error* e) { return bothOff->connectToHost("localhost", 1, e); },
         1, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first."},
        {"15-byte address", [&](Error* e) { return newSocket()->connectToAddress(fifteen, e); }, 2,
         "A valid IPv4 or IPv6 address was not given"},
        {"IPv4 address, IPv4 off",
         [&](Error* e) { return ipv4Off->connectToAddress(peer.address(), e); }, 2,
         "IPv4 has been disabled and an IPv4 address was passed."},
        {"unknown interface",
         [&](Error* e) { return newSocket()->connectToHost("127.0.0.1", 1, "nope", 1.0, e); }, 2,
         "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."},
        {"empty unix path", [&](Error* e) { return newSocket()->connectToUrl("", 1.0, e); }, 2,
         "Invalid unix domain socket url."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(c.attempt(&error));
        EXPECT_EQ(error.domain, AsyncTcpSocketErrorDomain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.message, c.message);
    }
    settle({busy});
    EXPECT_EQ(delegate->count(Event::Disconnect), 0);
}

TEST_F(TcpConnect, EveryCloseIsReportedExactlyOnce) {
    RawListener peer;
    struct Case {
        const char* name;
        std::function<void(const AsyncTcpSocketPtr&)> close;
        std::optional<long> code;  // empty: a local close without error
    };
    const Case cases[] = {
        {"disconnect twice",
         [](const AsyncTcpSocketPtr& s) {
             s->disconnect();
             s->disconnect();
         },
         std::nullopt},
        {"disconnect after writing, nothing queued",
         [](const AsyncTcpSocketPtr& s) { s->disconnectAfterWriting(); }, std::nullopt},
        {"disconnect after writing, then disconnect",
         [](const AsyncTcpSocketPtr& s) {
             s->writeData(bytes("x"), -1, 1);
             s->disconnectAfterWriting();
             s->disconnect();
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto socket = newSocket();
        ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
        RawFd accepted = peer.accept();
        ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
        c.close(socket);
        ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
        settle({socket});
        EXPECT_EQ(delegate->countFor(Event::Disconnect, socket.get()), 1);
        EXPECT_FALSE(delegate->last(Event::Disconnect)->error);
        EXPECT_TRUE(socket->isDisconnected());
        readUntilClosed(accepted.get());
        EXPECT_TRUE(peerHasClosed(accepted.get()));
    }

    // A refused connect reports the system's error.
    auto refused = newSocket();
    ASSERT_TRUE(refused->connectToHost("127.0.0.1", closedPort(), 5.0));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, refused));
    auto error = delegate->last(Event::Disconnect)->error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kPosixErrorDomain);
    EXPECT_EQ(error->code, ECONNREFUSED);
    EXPECT_EQ(error->failureReason, "Error in connect() function");

    // So does a unix-domain path nobody listens on.
    auto unix = newSocket();
    ASSERT_TRUE(unix->connectToUrl("/nonexistent/socket", 5.0));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, unix));
    error = delegate->last(Event::Disconnect)->error;
    EXPECT_EQ(error->code, ENOENT);
    EXPECT_EQ(error->failureReason, "Error in connect() function");

    // An idle socket has nothing to report, closed or destroyed.
    int before = delegate->count(Event::Disconnect);
    {
        auto idle = AsyncTcpSocket::create(delegate, loop);
        idle->disconnect();
        idle->disconnectAfterReadingAndWriting();
        settle({idle, refused});
    }
    settle();
    EXPECT_EQ(delegate->count(Event::Disconnect), before);
}

TEST_F(TcpConnect, DestructionWhileConnectedReportsOnceWithNoSocket) {
    RawListener peer;
    auto socket = AsyncTcpSocket::create(delegate, loop);
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    RawFd accepted = peer.accept();
    ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
    socket.reset();
    ASSERT_TRUE(waitFor(Event::Disconnect));
    settle();
    EXPECT_EQ(delegate->count(Event::Disconnect), 1);
    EXPECT_EQ(delegate->last(Event::Disconnect)->socket, nullptr);
    EXPECT_FALSE(delegate->last(Event::Disconnect)->error);
    EXPECT_TRUE(readUntilClosed(accepted.get()).empty());  // the descriptor was closed
}

TEST_F(TcpConnect, TimesOutAgainstAFullListenerThenReconnectsCleanly) {
    RawListener full(0);
    RawFd filler = rawConnect(full.port());  // a backlog of 0 takes one; later SYNs are dropped
    auto socket = newSocket();
    ASSERT_TRUE(socket->connectToAddress(full.address(), 0.3));
    EXPECT_FALSE(socket->isConnected());
    EXPECT_FALSE(socket->isDisconnected());
    EXPECT_TRUE(socket->isIPv4());
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
    auto error = delegate->last(Event::Disconnect)->error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, AsyncTcpSocketErrorDomain);
    EXPECT_EQ(error->code, AsyncTcpSocketConnectTimeoutError);

    RawListener good;
    ASSERT_TRUE(socket->connectToHost("127.0.0.1", good.port(), 5.0));
    RawFd accepted = good.accept();
    ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
    settle({socket});
    auto events = delegate->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Event::Disconnect);
    EXPECT_EQ(events[1].kind, Event::ConnectHost);
    EXPECT_EQ(events[1].host, "127.0.0.1");
    EXPECT_EQ(events[1].port, good.port());
    EXPECT_EQ(socket->connectedPort(), good.port());
    EXPECT_EQ(socket->localHost(), "127.0.0.1");
}

TEST_F(TcpConnect, AConnectThatHasToWaitIsReportedOnceTheListenerTakesIt) {
    RawListener full(0);
    RawFd filler = rawConnect(full.port());
    auto socket = newSocket();
    ASSERT_TRUE(socket->connectToAddress(full.address(), 30.0));
    settle({socket});
    EXPECT_FALSE(socket->isConnected());  // its SYN was dropped: the connect waits
    RawFd fillerEnd = full.accept();      // room for the SYN the client sends again
    ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
    EXPECT_EQ(delegate->last(Event::ConnectHost)->port, full.port());
    socket->writeData(bytes("after the wait"), -1, 1);
    RawFd accepted = full.accept();
    Data received = readUntilClosed(accepted.get(), 14);
    EXPECT_EQ(std::string(received.begin(), received.end()), "after the wait");
}

TEST_F(TcpConnect, TimeOutZeroFiresAtOnceAndNonFiniteMeansNone) {
    RawListener full(0);
    RawFd filler = rawConnect(full.port());
    auto atOnce = newSocket();
    ASSERT_TRUE(atOnce->connectToAddress(full.address(), 0.0));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, atOnce));
    EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, AsyncTcpSocketConnectTimeoutError);

    for (double timeout : {-1.0, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(), 1e300}) {
        auto never = newSocket();
        ASSERT_TRUE(never->connectToAddress(full.address(), timeout));
        settle({never});
        EXPECT_FALSE(never->isDisconnected()) << timeout;
        never->disconnect();
    }
}

TEST_F(TcpConnect, LocalhostPrefersTheConfiguredFamily) {
    struct Case {
        const char* name;
        bool listenerIPv4;
        bool preferIPv4;
        const char* expectedHost;
    };
    const Case cases[] = {
        {"IPv4 preferred", true, true, "127.0.0.1"},
        {"IPv6 preferred", true, false, "::1"},
        // The preferred family is refused at once; the other one follows after its delay.
        {"IPv4 preferred, only IPv6 listens", false, true, "::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto listener = newSocket();
        listener->setIPv4Enabled(c.listenerIPv4);
        ASSERT_TRUE(listener->acceptOnInterface("localhost", 0));
        std::uint16_t port = listener->localPort();
        auto client = newSocket();
        client->setIPv4PreferredOverIPv6(c.preferIPv4);
        EXPECT_EQ(client->isIPv4PreferredOverIPv6(), c.preferIPv4);
        ASSERT_TRUE(client->connectToHost("localhost", port, 5.0));
        ASSERT_TRUE(waitFor(Event::ConnectHost, 1, client));
        EXPECT_EQ(delegate->last(Event::ConnectHost)->host, c.expectedHost);
        EXPECT_EQ(client->connectedHost(), c.expectedHost);
        EXPECT_NE(client->isIPv4(), client->isIPv6());  // the losing descriptor is gone
        client->disconnect();
        listener->disconnect();
        delegate->accepted.clear();
    }
}

TEST_F(TcpConnect, IPv6OffNeverTriesTheIPv6Address) {
    auto listener = newSocket();
    listener->setIPv4Enabled(false);
    ASSERT_TRUE(listener->acceptOnInterface("localhost", 0));
    auto client = newSocket();
    client->setIPv6Enabled(false);
    client->setAlternateAddressDelay(0);
    ASSERT_TRUE(client->connectToHost("localhost", listener->localPort(), 5.0));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, client));
    EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, ECONNREFUSED);
    EXPECT_EQ(delegate->count(Event::Accept), 0);
}

TEST_F(TcpConnect, AdoptsAConnectedDescriptorOnly) {
    RawListener peer;
    RawFd connected = rawConnect(peer.port());
    auto adopted = AsyncTcpSocket::socketFromConnectedSocketFD(connected.get(), delegate, loop);
    ASSERT_TRUE(adopted);
    connected.release();  // the socket owns it now
    EXPECT_TRUE(adopted->isConnected());
    ASSERT_TRUE(waitFor(Event::ConnectHost, 1, adopted));
    EXPECT_EQ(delegate->last(Event::ConnectHost)->port, peer.port());
    int statusFlags = 0;
    adopted->performBlock([&] { statusFlags = ::fcntl(adopted->socketFD(), F_GETFL); });
    EXPECT_TRUE(statusFlags & O_NONBLOCK);  // a blocking descriptor would stall the queue

    RawFd unconnected(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    RawFd local(pair[0]), other(pair[1]);
    struct Case {
        int fd;
        std::string message;
    };
    const Case cases[] = {
        {unconnected.get(), "Attempt to create socket from socket FD failed. getpeername() failed"},
        {local.get(),
         "Attempt to create socket from socket FD failed. socket FD is neither IPv4 nor IPv6"},
    };
    for (const Case& c : cases) {
        Error error;
        EXPECT_FALSE(AsyncTcpSocket::socketFromConnectedSocketFD(c.fd, delegate, loop, &error));
        EXPECT_EQ(error.code, AsyncTcpSocketOtherError);
        EXPECT_EQ(error.message, c.message);
        EXPECT_NE(::fcntl(c.fd, F_GETFD), -1);  // left open for its owner
    }
}

// What a connected socket says of its peer, asked on its queue once the system has forgotten
// the peer (after a reset), before the socket itself has seen the reset.
struct PeerAnswers {
    bool systemForgot = false;
    std::optional<std::string> host;
    std::uint16_t port = 0;
    std::optional<std::string> addressHost;
};

PeerAnswers answersAfterReset(const AsyncTcpSocketPtr& socket, dispatch::SerialQueue& queue,
                              RawFd peer) {
    std::promise<PeerAnswers> promise;
    queue.async([&] {
        PeerAnswers answers;
        for (int i = 0; i < 10000 && !answers.systemForgot; ++i) {
            sockaddr_storage address;
            socklen_t length = sizeof address;
            answers.systemForgot =
                ::getpeername(socket->socketFD(), reinterpret_cast<sockaddr*>(&address), &length) !=
                0;
            if (!answers.systemForgot) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        answers.host = socket->connectedHost();
        answers.port = socket->connectedPort();
        if (auto address = socket->connectedAddress()) {
            answers.addressHost = AsyncTcpSocket::hostFromAddress(*address);
        }
        promise.set_value(answers);
    });
    linger abort{1, 0};
    ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    peer.reset();  // the block above holds the socket's queue: the socket has not seen this yet
    return promise.get_future().get();
}

TEST_F(TcpConnect, BothEndsStillKnowTheirPeerAfterItHasReset) {
    struct Chooser : RecordingDelegate {
        Chooser()
            : RecordingDelegate({C::NewSocketQueueForConnection, C::DidAcceptNewSocket,
                                 C::DidConnectToHost, C::DidDisconnect}) {}
        std::shared_ptr<dispatch::SerialQueue> queue = dispatch::SerialQueue::create("peer");
        std::shared_ptr<dispatch::SerialQueue> newSocketQueueForConnectionFromAddress(
            const Data&, const AsyncTcpSocketPtr&) override {
            return queue;
        }
    };
    auto chooser = std::make_shared<Chooser>();

    SCOPED_TRACE("connected");
    RawListener server;
    auto connector = AsyncTcpSocket::create(chooser, loop, chooser->queue);
    ASSERT_TRUE(connector->connectToAddress(server.address()));
    RawFd accepted = server.accept();
    ASSERT_TRUE(runUntil([&] { return chooser->count(Event::ConnectHost) == 1; }));
    PeerAnswers answers = answersAfterReset(connector, *chooser->queue, std::move(accepted));
    EXPECT_TRUE(answers.systemForgot);
    EXPECT_EQ(answers.host, "127.0.0.1");
    EXPECT_EQ(answers.port, server.port());
    EXPECT_EQ(answers.addressHost, "127.0.0.1");
    connector->disconnect();

    SCOPED_TRACE("accepted");
    auto listener = AsyncTcpSocket::create(chooser, loop);
    ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
    RawFd client = rawConnect(listener->localPort());
    sockaddr_in clientAddress{};
    socklen_t length = sizeof clientAddress;
    ::getsockname(client.get(), reinterpret_cast<sockaddr*>(&clientAddress), &length);
    ASSERT_TRUE(runUntil([&] { return chooser->count(Event::Accept) == 1; }));
    answers = answersAfterReset(chooser->accepted[0], *chooser->queue, std::move(client));
    EXPECT_TRUE(answers.systemForgot);
    EXPECT_EQ(answers.host, "127.0.0.1");
    EXPECT_EQ(answers.port, ntohs(clientAddress.sin_port));
    EXPECT_EQ(answers.addressHost, "127.0.0.1");
    listener->disconnect();
    chooser->accepted.clear();
}

TEST_F(TcpConnect, ConfigurationAndDelegateAccessors) {
    auto socket = newSocket();
    EXPECT_TRUE(socket->isIPv4Enabled());
    EXPECT_TRUE(socket->isIPv6Enabled());
    EXPECT_TRUE(socket->isIPv4PreferredOverIPv6());
    EXPECT_DOUBLE_EQ(socket->alternateAddressDelay(), 0.3);
    socket->setAlternateAddressDelay(-2.5);
    EXPECT_DOUBLE_EQ(socket->alternateAddressDelay(), -2.5);

    auto object = std::make_shared<int>(7);
    socket->setUserData(object);
    socket->setUserData(object);
    EXPECT_EQ(socket->userData(), object);
    socket->setUserData(nullptr);
    EXPECT_EQ(socket->userData(), nullptr);

    std::shared_ptr<AsyncTcpSocketDelegate> gotDelegate;
    std::shared_ptr<dispatch::Queue> gotQueue;
    socket->getDelegate(&gotDelegate, &gotQueue);
    EXPECT_EQ(gotDelegate, delegate);
    EXPECT_EQ(gotQueue, loop);
    socket->getDelegate(nullptr, nullptr);
    socket->setDelegate({}, nullptr);
    EXPECT_EQ(socket->delegate(), nullptr);
    EXPECT_EQ(socket->delegateQueue(), nullptr);
    socket->synchronouslySetDelegate(delegate, loop);
    EXPECT_EQ(socket->delegate(), delegate);

    // Only code on the socket queue sees the descriptors.
    RawListener peer;
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
    EXPECT_EQ(socket->socketFD(), -1);
    int onQueue = -1;
    socket->performBlock([&] { onQueue = socket->socket4FD(); });
    EXPECT_GE(onQueue, 0);
    auto other = dispatch::SerialQueue::create("marked");
    socket->markSocketQueueTargetQueue(*other);
    other->sync([&] { EXPECT_EQ(socket->socketFD(), onQueue); });
    socket->unmarkSocketQueueTargetQueue(*other);
    other->sync([&] { EXPECT_EQ(socket->socketFD(), -1); });
    EXPECT_EQ(socket->socket6FD(), -1);
}

}  // namespace
}  // namespace corvaline::testing
