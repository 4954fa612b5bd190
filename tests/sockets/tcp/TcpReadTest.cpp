#include <poll.h>
#include <sys/resource.h>

#include <climits>
#include <cmath>
#include <thread>

#include "sockets/tcp/TcpTestSupport.h"

namespace corvaline::testing {
namespace {

const Data kCRLF = AsyncTcpSocket::CRLFData();

// A socket under test connected to a raw peer. Test thread.
class TcpRead : public TcpSocketTest {
  protected:
    void connect() {
        socket = newSocket();
        ASSERT_TRUE(socket->connectToAddress(listener.address(), 5.0));
        peer = listener.accept();
        ASSERT_TRUE(peer);
        ASSERT_TRUE(waitFor(Event::ConnectHost, 1, socket));
    }
    std::vector<Event> reads() const {
        std::vector<Event> result;
        for (const Event& event : delegate->events()) {
            if (event.kind == Event::Read && event.socket == socket.get()) {
                result.push_back(event);
            }
        }
        return result;
    }
    // Process CPU time spent while the test thread sleeps for `wall`.
    static double cpuSecondsOver(std::chrono::milliseconds wall) {
        auto cpu = [] {
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        };
        double before = cpu();
        std::this_thread::sleep_for(wall);
        return cpu() - before;
    }

    RawListener listener;
    AsyncTcpSocketPtr socket;
    RawFd peer;
};

TEST_F(TcpRead, TwoLinesArriveWholeAtEverySplitPointIntoAnyBuffer) {
    const std::string stream = "L1\r\nL2\r\n";
    enum Buffer { Owned, CallerWithRoom, CallerTooSmall };
    for (Buffer kind : {Owned, CallerWithRoom, CallerTooSmall}) {
        for (std::size_t split = 0; split <= stream.size(); ++split) {
            SCOPED_TRACE("buffer " + std::to_string(kind) + ", split " + std::to_string(split));
            connect();
            std::shared_ptr<Data> buffers[2];
            for (long tag : {1, 2}) {
                if (kind == Owned) {
                    socket->readDataToData(kCRLF, 5.0, tag);
                    continue;
                }
                auto& buffer = buffers[tag - 1];
                buffer = std::make_shared<Data>(kind == CallerWithRoom ? 64 : 2, 'x');
                socket->readDataToData(kCRLF, 5.0, buffer, 1, tag);
            }
            int before = delegate->count(Event::ReadPartial) + delegate->count(Event::Read);
            sendAll(peer.get(), stream.substr(0, split));
            if (split > 0) {
                // The first part is taken before the rest arrives.
                ASSERT_TRUE(runUntil([&] {
                    return delegate->count(Event::ReadPartial) + delegate->count(Event::Read) >
                           before;
                }));
            }
            sendAll(peer.get(), stream.substr(split));
            ASSERT_TRUE(runUntil([&] { return reads().size() == 2; }));
            auto got = reads();
            EXPECT_EQ(got[0].data, "L1\r\n");
            EXPECT_EQ(got[0].tag, 1);
            EXPECT_EQ(got[1].data, "L2\r\n");
            EXPECT_EQ(got[1].tag, 2);
            for (int i = 0; i < 2 && kind != Owned; ++i) {
                // The caller's first byte is kept; the line follows it in the caller's buffer.
                std::string held(buffers[i]->begin(), buffers[i]->end());
                EXPECT_EQ(held.substr(0, 5), "x" + got[i].data);
                if (kind == CallerTooSmall) {
                    EXPECT_EQ(held.size(), 5u);  // grown to offset + line, no further
                }
            }
            socket->disconnect();
        }
    }
}

TEST_F(TcpRead, TerminatorReadsWithAMaximumLength) {
    struct Case {
        std::uint64_t maxLength;
        std::string sent;
        std::optional<std::string> line;  // empty: the read fails with code 6
    };
    const Case cases[] = {
        {5, "abc\r\n", "abc\r\n"},
        {4, "abc\r\n", std::nullopt},
        {2, "\r\nrest", "\r\n"},  // the limit equals the terminator
        {2, "x\r\n", std::nullopt},
        {1, "abc\r\n", "abc\r\n"},  // below the terminator: refused, the next read serves it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent + " max " + std::to_string(c.maxLength));
        connect();
        socket->readDataToData(kCRLF, 5.0, c.maxLength, 7);
        if (c.maxLength < kCRLF.size()) {
            socket->readDataToData(kCRLF, 5.0, 8);
        }
        sendAll(peer.get(), c.sent);
        ASSERT_TRUE(runUntil([&] {
            return !reads().empty() || delegate->countFor(Event::Disconnect, socket.get()) > 0;
        }));
        if (c.line) {
            ASSERT_EQ(reads().size(), 1u);
            EXPECT_EQ(reads()[0].data, *c.line);
            EXPECT_EQ(reads()[0].tag, c.maxLength < kCRLF.size() ? 8 : 7);
            socket->disconnect();
        } else {
            EXPECT_TRUE(reads().empty());
            EXPECT_EQ(delegate->last(Event::Disconnect)->error->code,
                      AsyncTcpSocketReadMaxedOutError);
        }
    }
}

TEST_F(TcpRead, ExactReadIntoTheCallersBufferAtAnOffset) {
    connect();
    auto buffer = std::make_shared<Data>(bytes("ABCDEF"));
    socket->readDataToLength(10, 5.0, buffer, 4, 3);
    socket->readDataToLength(0, 5.0, 9);              // zero length: ignored
    socket->readDataToLength(3, 5.0, buffer, 7, 9);   // offset beyond the buffer: ignored
    socket->readDataToData(Data{}, 5.0, 9);           // empty terminator: ignored
    socket->readDataWithTimeout(5.0, nullptr, 1, 9);  // offset into no buffer: ignored
    socket->readDataToLength(2, 5.0, 4);
    DataSlice slice;
    delegate->onRead = [&](const AsyncTcpSocketPtr&, const DataSlice& data, long tag) {
        if (tag == 3) {
            slice = data;
        }
    };
    sendAll(peer.get(), "0123456789tail");
    ASSERT_TRUE(runUntil([&] { return reads().size() == 2; }));
    EXPECT_EQ(buffer->size(), 14u);
    EXPECT_EQ(std::string(buffer->begin(), buffer->end()), "ABCD0123456789");
    EXPECT_EQ(slice.buffer(), buffer);  // no copy: a view into the caller's buffer
    EXPECT_EQ(slice.offset(), 4u);
    EXPECT_EQ(slice.size(), 10u);
    EXPECT_EQ(reads()[1].data, "ta");
    EXPECT_EQ(reads()[1].tag, 4);
}

TEST_F(TcpRead, WhateverIsAvailableAndProgress) {
    connect();
    long tag = -1;
    std::uint64_t done = 1, total = 1;
    EXPECT_TRUE(std::isnan(socket->progressOfReadReturningTag(&tag, &done, &total)));
    EXPECT_EQ(tag, 0);
    EXPECT_EQ(done + total, 0u);

    socket->readDataToLength(8, -1, LONG_MIN);
    sendAll(peer.get(), "abc");
    ASSERT_TRUE(waitFor(Event::ReadPartial));
    EXPECT_EQ(delegate->last(Event::ReadPartial)->length, 3u);
    EXPECT_FLOAT_EQ(socket->progressOfReadReturningTag(&tag, &done, &total), 3.0f / 8);
    EXPECT_EQ(tag, LONG_MIN);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(total, 8u);
    sendAll(peer.get(), "defgh");
    ASSERT_TRUE(waitFor(Event::Read));

    // Two reads of whatever is available each take what one pass brings, at least a byte.
    socket->readDataWithTimeout(-1, LONG_MAX);
    socket->readDataWithTimeout(-1, nullptr, 0, 2, 0);
    sendAll(peer.get(), "xyz");
    ASSERT_TRUE(runUntil([&] { return reads().size() == 2; }));
    ASSERT_TRUE(waitFor(Event::Read, 2));
    EXPECT_EQ(reads()[1].data, "xyz");
    EXPECT_EQ(reads()[1].tag, LONG_MAX);
    sendAll(peer.get(), "123");
    ASSERT_TRUE(runUntil([&] { return reads().size() == 3; }));
    EXPECT_EQ(reads()[2].data, "12");  // limited to 2
}

// The caller does the work itself when the socket can do it at once: the line that is there
// is read and the answer written before the call returns, with no worker in between.
TEST_F(TcpRead, WorkAskedWithTheBlockIsDoneOnTheCaller) {
    connect();
    sendAll(peer.get(), "question\r\n");
    pollfd arrived{-1, POLLIN, 0};
    socket->performBlock([&] { arrived.fd = socket->socketFD(); });
    ASSERT_EQ(::poll(&arrived, 1, 5000), 1);
    socket->performBlockAndQueuedWork([&] {
        socket->readDataToData(kCRLF, 5.0, 1);
        socket->writeData(bytes("answer\r\n"), 5.0, 2);
    });
    loop->runPending();  // the reports were posted before the call returned
    ASSERT_EQ(reads().size(), 1u);
    EXPECT_EQ(reads()[0].data, "question\r\n");
    EXPECT_EQ(delegate->countFor(Event::Write, socket.get()), 1);
    socket->disconnect();
    EXPECT_EQ(readUntilClosed(peer.get()), bytes("answer\r\n"));
}

TEST_F(TcpRead, LinesLeftInTheReadAheadAreServedBeforeThePeersClose) {
    connect();
    sendAll(peer.get(), "one\r\ntwo\r\n");
    peer.reset();
    socket->readDataToData(kCRLF, 5.0, 1);
    socket->readDataToData(kCRLF, 5.0, 2);
    socket->readDataToData(kCRLF, 5.0, 3);  // never served: the close drops it silently
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
    ASSERT_EQ(reads().size(), 2u);
    EXPECT_EQ(reads()[0].data, "one\r\n");
    EXPECT_EQ(reads()[1].data, "two\r\n");
    EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, AsyncTcpSocketClosedError);
}

TEST_F(TcpRead, HalfCloseKeepsTheWriteSideOnlyWhenAskedTo) {
    for (bool autoDisconnect : {false, true}) {
        SCOPED_TRACE(autoDisconnect ? "auto-disconnect" : "half-duplex");
        connect();
        socket->setAutoDisconnectOnClosedReadStream(autoDisconnect);
        EXPECT_EQ(socket->autoDisconnectOnClosedReadStream(), autoDisconnect);
        socket->readDataToData(kCRLF, -1, 1);
        ::shutdown(peer.get(), SHUT_WR);
        if (autoDisconnect) {
            ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
            EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, AsyncTcpSocketClosedError);
            continue;
        }
        ASSERT_TRUE(waitFor(Event::CloseReadStream, 1, socket));
        EXPECT_TRUE(socket->isConnected());
        socket->writeData(bytes("still here"), 5.0, 2);
        socket->disconnectAfterWriting();
        EXPECT_EQ(readUntilClosed(peer.get()), bytes("still here"));
        ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
        settle({socket});
        EXPECT_EQ(delegate->countFor(Event::CloseReadStream, socket.get()), 1);
        EXPECT_EQ(delegate->countFor(Event::Disconnect, socket.get()), 1);
        EXPECT_FALSE(delegate->last(Event::Disconnect)->error);
        EXPECT_TRUE(reads().empty());
    }
}

TEST_F(TcpRead, IdleSocketsCostNoCpu) {
    // Readable, with no read queued.
    connect();
    sendAll(peer.get(), "unread");
    settle({socket});
    EXPECT_LT(cpuSecondsOver(std::chrono::milliseconds(300)), 0.1);

    // Half-closed by the peer, with a read that can never complete.
    socket->setAutoDisconnectOnClosedReadStream(false);
    socket->readDataToData(kCRLF, -1, 1);
    ::shutdown(peer.get(), SHUT_WR);
    ASSERT_TRUE(waitFor(Event::CloseReadStream, 1, socket));
    EXPECT_LT(cpuSecondsOver(std::chrono::milliseconds(300)), 0.1);
    EXPECT_TRUE(socket->isConnected());
}

TEST_F(TcpRead, ReadTimeOutsAndTheirExtension) {
    auto recorder =
        std::make_shared<RecordingDelegate>(std::initializer_list<AsyncTcpSocketDelegate::Callback>{
            RecordingDelegate::C::DidReadData, RecordingDelegate::C::ShouldTimeoutRead,
            RecordingDelegate::C::DidDisconnect});
    auto timed = AsyncTcpSocket::create(recorder, loop);
    ASSERT_TRUE(timed->connectToAddress(listener.address(), 5.0));
    RawFd other = listener.accept();
    int asked = 0;
    recorder->readTimeoutAnswer = [&](long tag, double, std::uint64_t done) {
        EXPECT_EQ(tag, 6);
        EXPECT_EQ(done, 2u);
        if (++asked == 1) {
            sendAll(other.get(), "cd");  // arrives within the extension
            return 5.0;
        }
        return 0.0;
    };
    timed->readDataToLength(4, 0.2, 6);
    sendAll(other.get(), "ab");
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Read) == 1; }));
    EXPECT_EQ(recorder->last(Event::ReadTimeoutQuery)->elapsed, 0.2);
    EXPECT_EQ(recorder->last(Event::Read)->data, "abcd");

    // Without an extension the socket closes with code 4 and the read gets no callback.
    timed->readDataToLength(4, 0.2, 6);
    sendAll(other.get(), "ab");
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Disconnect) == 1; }));
    EXPECT_EQ(recorder->last(Event::Disconnect)->error->code, AsyncTcpSocketReadTimeoutError);
    EXPECT_EQ(recorder->count(Event::Read), 1);
    EXPECT_EQ(asked, 2);

    // Time-out 0 fires at once unless the bytes are already there; negative never fires.
    connect();
    socket->readDataToLength(1, 0.0, 1);
    ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
    EXPECT_EQ(delegate->last(Event::Disconnect)->error->code, AsyncTcpSocketReadTimeoutError);
}

TEST_F(TcpRead, ALateTimeOutAnswerLeavesTheNextReadAlone) {
    auto recorder =
        std::make_shared<RecordingDelegate>(std::initializer_list<AsyncTcpSocketDelegate::Callback>{
            RecordingDelegate::C::ShouldTimeoutRead, RecordingDelegate::C::DidDisconnect});
    auto timed = AsyncTcpSocket::create(recorder, loop);
    ASSERT_TRUE(timed->connectToAddress(listener.address(), 5.0));
    RawFd first = listener.accept();
    RawFd second;
    recorder->readTimeoutAnswer = [&](long tag, double, std::uint64_t) {
        if (tag != 1) {
            return 0.0;
        }
        // The socket moves on before the answer: closed, connected again, a new read current.
        timed->disconnect();
        EXPECT_TRUE(timed->connectToAddress(listener.address(), 5.0));
        second = listener.accept();
        timed->readDataToLength(1, 0.3, 2);
        long current = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (current != 2 && std::chrono::steady_clock::now() < deadline) {
            timed->progressOfReadReturningTag(&current, nullptr, nullptr);
            std::this_thread::yield();
        }
        EXPECT_EQ(current, 2);
        return 1000.0;  // meant for the first read only
    };
    timed->readDataToLength(1, 0.1, 1);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Disconnect) >= 2; }));
    EXPECT_EQ(recorder->last(Event::Disconnect)->error->code, AsyncTcpSocketReadTimeoutError);
    EXPECT_EQ(recorder->last(Event::ReadTimeoutQuery)->tag, 2);
}

TEST_F(TcpRead, DisconnectAfterReadingWaitsForTheQueuedReads) {
    struct Case {
        const char* name;
        void (AsyncTcpSocket::*disconnect)();
        bool waitsForWrite;
    };
    const Case cases[] = {
        {"after reading", &AsyncTcpSocket::disconnectAfterReading, false},
        {"after reading and writing", &AsyncTcpSocket::disconnectAfterReadingAndWriting, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connect();
        socket->readDataToData(kCRLF, 5.0, 1);
        socket->writeData(bytes("bye"), 5.0, 2);
        ((*socket).*c.disconnect)();
        socket->readDataToData(kCRLF, 5.0, 3);  // refused after the request
        sendAll(peer.get(), "last\r\nignored\r\n");
        ASSERT_TRUE(waitFor(Event::Disconnect, 1, socket));
        ASSERT_EQ(reads().size(), 1u);
        EXPECT_EQ(reads()[0].data, "last\r\n");
        EXPECT_FALSE(delegate->last(Event::Disconnect)->error);
        if (c.waitsForWrite) {
            EXPECT_EQ(readUntilClosed(peer.get()), bytes("bye"));
        }
    }
}

}  // namespace
}  // namespace corvaline::testing
