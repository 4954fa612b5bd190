#include <climits>
#include <cmath>
#include <thread>

#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline::testing {
namespace {

using TcpWrite = TcpSocketTest;

Data pattern(std::size_t size) {
    Data data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return data;
}

// Large enough to stall against a peer with a small receive window that does not read.
constexpr std::size_t kStallingSize = 16 * 1024 * 1024;

TEST_F(TcpWrite, WritesCompleteInOrderWithTheirTagsUnchanged) {
    RawListener peer;
    auto socket = newSocket();
    const long tags[] = {0, -1, LONG_MIN, LONG_MAX, 255};
    // Queued before the connection completes: they wait for it.
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    socket->writeData(Data{}, 5.0, 99);  // empty: ignored without a callback
    socket->writeData(std::shared_ptr<const Data>(), 5.0, 98);
    std::string expected;
    for (long tag : tags) {
        std::string piece = std::to_string(tag) + ";";
        socket->writeData(bytes(piece), 5.0, tag);
        expected += piece;
    }
    socket->disconnectAfterWriting();
    socket->writeData(bytes("refused"), 5.0, 97);  // after the disconnect request: dropped
    RawFd accepted = peer.accept();
    EXPECT_EQ(readUntilClosed(accepted.get()), bytes(expected));
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));

    std::vector<long> reported;
    for (const Event& event : delegate->events()) {
        if (event.kind == Event::Write) {
            reported.push_back(event.tag);
        }
    }
    EXPECT_EQ(reported, std::vector<long>(std::begin(tags), std::end(tags)));
    EXPECT_EQ(delegate->events().back().kind, Event::Disconnect);
    EXPECT_FALSE(delegate->events().back().error);
}

TEST_F(TcpWrite, WritesBeforeAConnectAreDropped) {
    RawListener peer;
    auto socket = newSocket();
    socket->writeData(bytes("early"), 5.0, 1);  // not started: dropped
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    socket->writeData(bytes("late"), 5.0, 2);
    socket->disconnectAfterWriting();
    RawFd accepted = peer.accept();
    EXPECT_EQ(readUntilClosed(accepted.get()), bytes("late"));
}

TEST_F(TcpWrite, DisconnectAfterWritingDeliversALargeWriteWhole) {
    RawListener peer(16, 4096);
    auto socket = newSocket();
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    auto data = std::make_shared<const Data>(pattern(786432));
    socket->writeData(data, 10.0, 5);
    socket->disconnectAfterWriting();
    RawFd accepted = peer.accept();
    EXPECT_EQ(readUntilClosed(accepted.get()), *data);
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));

    auto events = delegate->events();
    std::size_t partial = 0;
    for (const Event& event : events) {
        if (event.kind == Event::WritePartial) {
            EXPECT_EQ(event.tag, 5);
            partial += event.length;
        }
    }
    EXPECT_LT(partial, data->size());  // the final pass is not reported as partial
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[events.size() - 2].kind, Event::Write);
    EXPECT_FALSE(events.back().error);
}

TEST_F(TcpWrite, AStalledWriteTimesOutUnlessTheDelegateExtendsIt) {
    for (bool extend : {false, true}) {
        SCOPED_TRACE(extend ? "extended" : "not extended");
        auto recorder = std::make_shared<RecordingDelegate>(
            std::initializer_list<AsyncTcpSocketDelegate::Callback>{
                RecordingDelegate::C::DidWriteData, RecordingDelegate::C::ShouldTimeoutWrite,
                RecordingDelegate::C::DidDisconnect});
        RawListener peer(16, 4096);
        auto socket = AsyncTcpSocket::create(recorder, loop);
        ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
        RawFd accepted = peer.accept();
        std::jthread drain;
        recorder->writeTimeoutAnswer = [&](long, double, std::uint64_t done) {
            long tag = 0;
            std::uint64_t bytesDone = 0;
            std::uint64_t total = 0;
            float progress = socket->progressOfWriteReturningTag(&tag, &bytesDone, &total);
            EXPECT_EQ(tag, 3);
            EXPECT_EQ(bytesDone, done);
            EXPECT_EQ(total, kStallingSize);
            EXPECT_LT(progress, 1.0f);
            if (!extend) {
                return 0.0;
            }
            if (!drain.joinable()) {
                drain = std::jthread([&] {
                    // A wide window again, so that the rest goes quickly.
                    int wide = 4 * 1024 * 1024;
                    ::setsockopt(accepted.get(), SOL_SOCKET, SO_RCVBUF, &wide, sizeof wide);
                    readUntilClosed(accepted.get(), kStallingSize);
                });
            }
            return 60.0;
        };
        socket->writeData(pattern(kStallingSize), 0.2, 3);
        ASSERT_TRUE(runUntil(
            [&] { return recorder->count(Event::Write) + recorder->count(Event::Disconnect) > 0; },
            std::chrono::seconds(60)));
        if (drain.joinable()) {
            drain.join();
        }
        auto query = recorder->last(Event::WriteTimeoutQuery);
        ASSERT_TRUE(query);
        EXPECT_EQ(query->tag, 3);
        EXPECT_DOUBLE_EQ(query->elapsed, 0.2);
        if (extend) {
            EXPECT_EQ(recorder->count(Event::Write), 1);
            EXPECT_EQ(recorder->count(Event::Disconnect), 0);
        } else {
            EXPECT_EQ(recorder->count(Event::Write), 0);
            EXPECT_EQ(recorder->last(Event::Disconnect)->error->code,
                      AsyncTcpSocketWriteTimeoutError);
        }
        long tag = -5;
        EXPECT_TRUE(std::isnan(socket->progressOfWriteReturningTag(&tag, nullptr, nullptr)));
        EXPECT_EQ(tag, 0);
        socket->disconnect();
        settle({socket});
    }
}

TEST_F(TcpWrite, WithoutTheQueryAStalledWriteTimesOutWithCode5) {
    RawListener peer(16, 4096);
    auto socket = newSocket();
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    RawFd accepted = peer.accept();
    socket->writeData(pattern(kStallingSize), 0.2, 3);
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
    EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, AsyncTcpSocketWriteTimeoutError);
    EXPECT_EQ(delegate->count(Event::Write), 0);
}

TEST_F(TcpWrite, ALateTimeOutAnswerLeavesTheNextConnectionAlone) {
    auto recorder =
        std::make_shared<RecordingDelegate>(std::initializer_list<AsyncTcpSocketDelegate::Callback>{
            RecordingDelegate::C::ShouldTimeoutWrite, RecordingDelegate::C::DidDisconnect});
    RawListener peer(16, 4096);
    auto socket = AsyncTcpSocket::create(recorder, loop);
    ASSERT_TRUE(socket->connectToAddress(peer.address(), 5.0));
    RawFd first = peer.accept();
    RawFd second;
    recorder->writeTimeoutAnswer = [&](long tag, double, std::uint64_t) {
        if (tag != 1) {
            return 0.0;  // the new write's own time-out stands
        }
        // Before answering, the socket moves on: closed, connected again, a new write current.
        socket->disconnect();
        EXPECT_TRUE(socket->connectToAddress(peer.address(), 5.0));
        second = peer.accept();
        socket->writeData(pattern(kStallingSize), 0.3, 2);
        long current = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (current != 2 && std::chrono::steady_clock::now() < deadline) {
            socket->progressOfWriteReturningTag(&current, nullptr, nullptr);
            std::this_thread::yield();
        }
        EXPECT_EQ(current, 2);
        return 1000.0;  // meant for the first write only
    };
    socket->writeData(pattern(kStallingSize), 0.1, 1);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Disconnect) >= 2; }));
    auto error = recorder->last(Event::Disconnect)->error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, AsyncTcpSocketWriteTimeoutError);
    EXPECT_EQ(recorder->last(Event::WriteTimeoutQuery)->tag, 2);
}

}  // namespace
}  // namespace corvaline::testing
