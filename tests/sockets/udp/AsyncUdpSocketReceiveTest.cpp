#include <thread>

#include "UdpTestSupport.h"

namespace corvaline::testing::udp {
namespace {

class UdpReceiveTest : public UdpSocketTest {
  protected:
    // A socket bound to 127.0.0.1 and a system-chosen port.
    AsyncUdpSocketPtr makeReceiver() {
        auto socket = makeSocket();
        socket->setIPv6Enabled(false);
        EXPECT_TRUE(socket->bindToPort(0, "127.0.0.1"));
        return socket;
    }
    Data addressOf(AsyncUdpSocket& socket) { return *socket.localAddress(); }
};

TEST_F(UdpReceiveTest, ReceivingNeedsTheSystemSocketsNotABind) {
    auto socket = makeSocket();
    Error error;
    EXPECT_FALSE(socket->beginReceiving(&error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadConfigError);
    EXPECT_EQ(error.message,
              "Must bind socket before you can receive data. You can do this explicitly via "
              "bind, or implicitly via connect or by sending data.");
    EXPECT_FALSE(socket->receiveOnce());
    ASSERT_TRUE(socket->enableReusePort(true));
    EXPECT_TRUE(socket->beginReceiving(&error));
    EXPECT_TRUE(socket->beginReceiving(&error));
}

// UDP has no end of file: an empty datagram from anyone must not close the socket.
TEST_F(UdpReceiveTest, EmptyDatagramIsDroppedAndReceivingGoesOn) {
    auto socket = makeReceiver();
    ASSERT_TRUE(socket->beginReceiving());
    RawUdp peer;
    peer.sendTo(addressOf(*socket), "");
    peer.sendTo(addressOf(*socket), "x");
    ASSERT_TRUE(waitForCount(Kind::Received, 1));
    peer.sendTo(addressOf(*socket), "");
    peer.sendTo(addressOf(*socket), "y");
    ASSERT_TRUE(waitForCount(Kind::Received, 2));
    EXPECT_EQ(delegate->received(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(delegate->count(Kind::Closed), 0u);
    EXPECT_FALSE(socket->isClosed());
    EXPECT_EQ(delegate->events[0].address, peer.address());
}

TEST_F(UdpReceiveTest, LongDatagramIsCutToTheReceiveSize) {
    auto socket = makeReceiver();
    socket->setMaxReceiveIPv4BufferSize(100);
    ASSERT_TRUE(socket->beginReceiving());
    RawUdp peer;
    peer.sendTo(addressOf(*socket), std::string(100, 'a') + std::string(100, 'b'));
    ASSERT_TRUE(waitForCount(Kind::Received, 1));
    EXPECT_EQ(delegate->received()[0], std::string(100, 'a'));
}

TEST_F(UdpReceiveTest, ReceiveOnceTakesOneDatagramAndLeavesTheNext) {
    auto socket = makeReceiver();
    RawUdp peer;
    peer.sendTo(addressOf(*socket), "1");
    peer.sendTo(addressOf(*socket), "2");
    ASSERT_TRUE(socket->receiveOnce());
    ASSERT_TRUE(waitForCount(Kind::Received, 1));
    settle(*socket);
    EXPECT_EQ(delegate->received(), (std::vector<std::string>{"1"}));
    ASSERT_TRUE(socket->receiveOnce());
    ASSERT_TRUE(waitForCount(Kind::Received, 2));
    EXPECT_EQ(delegate->received(), (std::vector<std::string>{"1", "2"}));
}

TEST_F(UdpReceiveTest, PausedReceivingPicksUpWhatCameMeanwhile) {
    auto socket = makeReceiver();
    ASSERT_TRUE(socket->beginReceiving());
    RawUdp peer;
    peer.sendTo(addressOf(*socket), "before");
    ASSERT_TRUE(waitForCount(Kind::Received, 1));
    socket->pauseReceiving();
    peer.sendTo(addressOf(*socket), "meanwhile");
    ASSERT_TRUE(socket->beginReceiving());
    ASSERT_TRUE(waitForCount(Kind::Received, 2));
    EXPECT_EQ(delegate->received(), (std::vector<std::string>{"before", "meanwhile"}));
}

struct FilterCase {
    const char* name;
    bool asynchronous;
    bool once;
};

// Each case sends a datagram the filter rejects, one it accepts and one more: rejected ones
// never arrive nor count for receive-once; accepted ones arrive with the filter's context.
TEST_F(UdpReceiveTest, ReceiveFilters) {
    const std::vector<FilterCase> cases = {
        {"synchronous, continuous", false, false},
        {"synchronous, once", false, true},
        {"asynchronous, continuous", true, false},
        {"asynchronous, once", true, true},
    };
    for (const FilterCase& row : cases) {
        SCOPED_TRACE(row.name);
        delegate->events.clear();
        auto socket = makeReceiver();
        auto filterQueue = dispatch::SerialQueue::create("filter");
        socket->setReceiveFilter(
            [filterQueue](const Data& data, const Data&, std::any* context) {
                EXPECT_TRUE(filterQueue->isCurrent());
                *context = "seen " + text(data);
                return text(data) != "reject";
            },
            filterQueue, row.asynchronous);
        RawUdp peer;
        for (const char* payload : {"reject", "accept", "later"}) {
            peer.sendTo(addressOf(*socket), payload);
        }
        ASSERT_TRUE(row.once ? socket->receiveOnce() : socket->beginReceiving());
        ASSERT_TRUE(waitForCount(Kind::Received, 1));
        if (row.once) {
            filterQueue->sync([] {});
            settle(*socket);
            EXPECT_EQ(delegate->count(Kind::Received), 1u);
            ASSERT_TRUE(socket->receiveOnce());
        }
        ASSERT_TRUE(waitForCount(Kind::Received, 2));
        EXPECT_EQ(delegate->received(), (std::vector<std::string>{"accept", "later"}));
        EXPECT_EQ(std::any_cast<std::string>(delegate->of(Kind::Received)[0].context),
                  "seen accept");
    }
}

TEST_F(UdpReceiveTest, AsynchronousFilterAnsweringAfterTheCloseDeliversNothing) {
    auto socket = makeReceiver();
    auto filterQueue = dispatch::SerialQueue::create("filter");
    HeldCall held;
    socket->setReceiveFilter(
        [&](const Data&, const Data&, std::any*) {
            held.holdHere();
            return true;
        },
        filterQueue);
    ASSERT_TRUE(socket->beginReceiving());
    RawUdp peer;
    peer.sendTo(addressOf(*socket), "late");
    ASSERT_TRUE(held.waitUntilHeld());
    socket->close();
    held.release();
    filterQueue->sync([] {});
    settle(*socket);
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0].kind, Kind::Closed);
}

// A peer flooding faster than the delegate's queue runs: the socket stops reading at the
// backlog bound and the kernel drops the rest, instead of every datagram waiting in memory.
TEST_F(UdpReceiveTest, FloodWaitingForTheDelegateStopsAtTheBacklogBound) {
    auto socket = makeReceiver();
    ASSERT_TRUE(socket->beginReceiving());
    RawUdp peer;
    const std::string payload(1000, 'f');
    constexpr int kSent = 4000;
    for (int burst = 0; burst < kSent / 100; ++burst) {
        for (int i = 0; i < 100; ++i) {
            peer.sendTo(addressOf(*socket), payload);
        }
        // The main loop does not run meanwhile: whatever the socket reads waits for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        socket->performBlock([] {});
    }
    loop->runPending();
    std::size_t flooded = delegate->count(Kind::Received);
    EXPECT_GE(flooded, ReceiveBacklog::kMaxDatagrams);
    // The bound plus what the kernel buffer held when reading went on.
    EXPECT_LT(flooded, 2 * ReceiveBacklog::kMaxDatagrams);

    peer.sendTo(addressOf(*socket), "after");
    ASSERT_TRUE(waitUntil([&] { return delegate->received().back() == "after"; }));
    EXPECT_FALSE(socket->isClosed());
}

}  // namespace
}  // namespace corvaline::testing::udp
