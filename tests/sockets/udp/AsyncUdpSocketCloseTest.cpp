#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

class UdpCloseTest : public UdpSocketTest {};

TEST_F(UdpCloseTest, CloseAfterSendingReportsEverySendThenOneClose) {
    RawUdp peer;
    auto socket = makeSocket();
    for (long tag : {1, 2, 3}) {
        socket->sendData(bytes("d" + std::to_string(tag)), "127.0.0.1", peer.port(), -1, tag);
    }
    socket->closeAfterSending();
    ASSERT_TRUE(waitForCount(Kind::Closed, 1));
    settle(*socket);
    ASSERT_EQ(delegate->events.size(), 4u);
    for (long tag : {1, 2, 3}) {
        EXPECT_EQ(delegate->events[tag - 1].kind, Kind::Sent);
        EXPECT_EQ(delegate->events[tag - 1].tag, tag);
    }
    EXPECT_EQ(delegate->events[3].kind, Kind::Closed);
    EXPECT_FALSE(delegate->events[3].error);
    EXPECT_TRUE(socket->isClosed());
    EXPECT_EQ(peer.receive(), "d1");

    // With nothing queued it closes at once; a closed socket can be used again.
    ASSERT_TRUE(socket->enableBroadcast(true));
    socket->closeAfterSending();
    ASSERT_TRUE(waitForCount(Kind::Closed, 2));
    EXPECT_TRUE(socket->isClosed());
}

TEST_F(UdpCloseTest, CloseIsReportedOnceAndOnlyForASocketThatHadItsSockets) {
    auto unused = makeSocket();
    unused->close();
    settle(*unused);
    EXPECT_TRUE(delegate->events.empty());

    auto socket = makeSocket();
    ASSERT_TRUE(socket->enableReusePort(true));
    socket->close();
    socket->close();
    settle(*socket);
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0].kind, Kind::Closed);
    EXPECT_EQ(delegate->events[0].socket, socket.get());
    EXPECT_FALSE(delegate->events[0].error);
}

// A connected socket learns that nobody listens at the peer's port and closes with that error;
// a close afterwards adds nothing.
TEST_F(UdpCloseTest, CloseAfterThePeerErrorIsNotReportedAgain) {
    std::uint16_t unusedPort;
    {
        RawUdp gone;
        unusedPort = gone.port();
    }
    auto socket = makeSocket();
    ASSERT_TRUE(socket->connectToAddress(address4("127.0.0.1", unusedPort)));
    ASSERT_TRUE(waitForCount(Kind::Connected, 1));
    ASSERT_TRUE(socket->beginReceiving());
    socket->sendData(bytes("anyone?"), 1);
    ASSERT_TRUE(waitForCount(Kind::Closed, 1));
    Error error = *delegate->of(Kind::Closed)[0].error;
    EXPECT_EQ(error.domain, kPosixErrorDomain);
    EXPECT_EQ(error.code, ECONNREFUSED);
    EXPECT_EQ(error.failureReason, "Error in recvfrom() function");
    socket->close();
    settle(*socket);
    EXPECT_EQ(delegate->count(Kind::Closed), 1u);
    EXPECT_FALSE(socket->connectedAddress());  // forgotten with the close
}

TEST_F(UdpCloseTest, DestructionClosesAndReportsWithoutTheSocket) {
    auto socket = makeSocket();
    ASSERT_TRUE(socket->enableReusePort(true));
    ASSERT_TRUE(socket->beginReceiving());  // its read source waits meanwhile
    std::weak_ptr<AsyncUdpSocket> weak = socket;
    socket.reset();
    ASSERT_TRUE(waitForCount(Kind::Closed, 1));
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(delegate->of(Kind::Closed)[0].socket, nullptr);
    EXPECT_FALSE(delegate->of(Kind::Closed)[0].error);
}

TEST_F(UdpCloseTest, LastReferenceDroppedOnTheSocketQueueClosesThere) {
    auto queue = dispatch::SerialQueue::create("socket");
    auto socket = AsyncUdpSocket::create(delegate, loop, queue);
    ASSERT_TRUE(socket->enableReusePort(true));
    queue->async([socket = std::move(socket)] {});  // the block's capture is the last owner
    ASSERT_TRUE(waitForCount(Kind::Closed, 1));
    EXPECT_EQ(delegate->of(Kind::Closed)[0].socket, nullptr);
}

// A delegate that implements no callback gets none, and nothing fails for it.
TEST_F(UdpCloseTest, UnimplementedCallbacksAreSkipped) {
    struct Silent : AsyncUdpSocketDelegate {
        Silent() : AsyncUdpSocketDelegate({}) {}
        void udpSocketDidClose(const AsyncUdpSocketPtr&, const std::optional<Error>&) override {
            ADD_FAILURE() << "not declared, so never called";
        }
    };
    auto silent = std::make_shared<Silent>();
    auto socket = AsyncUdpSocket::create(silent, loop);
    ASSERT_TRUE(socket->enableReusePort(true));
    socket->close();
    settle(*socket);
}

}  // namespace
}  // namespace corvaline::testing::udp
