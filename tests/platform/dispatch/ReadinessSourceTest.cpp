#include "platform/dispatch/ReadinessSource.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/Signal.h"

namespace corvaline::dispatch {
namespace {

using corvaline::testing::Signal;

class SocketPair : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    }
    void TearDown() override {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    void send(const char* text) { ASSERT_GT(::write(fds[1], text, std::strlen(text)), 0); }
    std::string drain() {
        char buffer[256];
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, n) : std::string();
    }

    int fds[2] = {-1, -1};
    std::shared_ptr<SerialQueue> queue = SerialQueue::create("source");
};

TEST_F(SocketPair, ReportsBytesThatArrivedWhileSuspended) {
    auto source = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue);
    ASSERT_TRUE(source);
    Signal event;
    std::atomic<std::size_t> reported{0};
    std::string received;
    source->setEventHandler([&](std::size_t available) {
        reported = available;
        received += drain();
        event.raise();
    });
    send("hello");  // before the first resume
    source->resume();
    ASSERT_TRUE(event.waitFor(1));
    EXPECT_EQ(reported.load(), 5u);

    queue->sync([&] { source->suspend(); });
    send("again");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(event.count(), 1);  // nothing delivered while suspended
    source->resume();
    ASSERT_TRUE(event.waitFor(2));
    queue->sync([&] { EXPECT_EQ(received, "helloagain"); });
    source->cancel();
}

TEST_F(SocketPair, ReportsAHangUpOnceInsteadOfSpinning) {
    auto source = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue);
    Signal event;
    source->setEventHandler([&](std::size_t available) {
        EXPECT_EQ(available, 0u);
        event.raise();
    });
    source->resume();
    ::close(fds[1]);
    fds[1] = -1;
    ASSERT_TRUE(event.waitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(event.count(), 1);
    // A fresh resume may report it again: the owner asked to look.
    source->suspend();
    source->resume();
    EXPECT_TRUE(event.waitFor(2));
    source->cancel();
}

TEST_F(SocketPair, ReadAndWriteSourcesShareADescriptorAndCancelRunsLast) {
    auto reader = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue);
    auto writer = ReadinessSource::create(ReadinessSource::Kind::Write, fds[0], queue);
    ASSERT_TRUE(reader && writer);
    Signal readable, writable, cancelled;
    std::atomic<bool> eventAfterCancel{false};
    std::string received;  // on the queue only
    reader->setEventHandler([&](std::size_t) {
        if (cancelled.count() > 0) {
            eventAfterCancel = true;
        }
        received += drain();
        readable.raise();
    });
    writer->setEventHandler([&](std::size_t) {
        writer->suspend();  // always writable: the owner suspends when it has nothing to write
        writable.raise();
    });
    reader->setCancelHandler([&] { cancelled.raise(); });
    reader->resume();
    writer->resume();
    send("x");
    ASSERT_TRUE(readable.waitFor(1));
    ASSERT_TRUE(writable.waitFor(1));
    reader->cancel();
    send("y");  // arrives after the cancel: must not reach the handler
    ASSERT_TRUE(cancelled.waitFor(1));
    queue->sync([] {});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(eventAfterCancel.load());
    queue->sync([&] { EXPECT_EQ(received, "x"); });
    writer->cancel();
}

// A read and a write source on one socket cost no descriptor beyond the socket's own.
TEST_F(SocketPair, SourcesTakeNoDescriptorOfTheirOwn) {
    auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator{});
    };
    // The reactor makes its own descriptors when it is first used.
    ReadinessSource::create(ReadinessSource::Kind::Read, fds[1], queue)->cancel();
    auto before = openDescriptors();
    auto reader = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue);
    auto writer = ReadinessSource::create(ReadinessSource::Kind::Write, fds[0], queue);
    ASSERT_TRUE(reader && writer);
    EXPECT_EQ(openDescriptors(), before);
    Signal readable;
    reader->setEventHandler([&](std::size_t) {
        drain();
        readable.raise();
    });
    reader->resume();
    writer->cancel();  // the reader keeps watching
    send("x");
    EXPECT_TRUE(readable.waitFor(1));
    reader->cancel();
}

// A listening socket keeps no byte count: each pending connection is reported with none, and
// a listener whose connections were taken stays quiet.
TEST(ReadinessSource, ReportsEachConnectionOfAListenerWithNoCount) {
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string name = "corvaline-listener-" + std::to_string(::getpid());
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: no file
    auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    auto queue = SerialQueue::create("listener");
    auto source = ReadinessSource::create(ReadinessSource::Kind::Read, listener, queue);
    ASSERT_TRUE(source);
    Signal event;
    std::vector<int> accepted;
    source->setEventHandler([&](std::size_t available) {
        EXPECT_EQ(available, 0u);
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) != -1;) {
            accepted.push_back(fd);
        }
        event.raise();
    });
    source->resume();
    std::vector<int> clients;
    for (int i = 1; i <= 3; ++i) {
        clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(clients.back(), reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_TRUE(event.waitFor(i));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(event.count(), 3);
    queue->sync([&] { EXPECT_EQ(accepted.size(), 3u); });
    source->cancel();
    queue->sync([] {});
    for (int fd : accepted) {
        ::close(fd);
    }
    for (int fd : clients) {
        ::close(fd);
    }
    ::close(listener);
}

// The worker that sees a report goes on with the queue itself; when that queue's turns have
// run long (a transfer encrypting chunks), another worker watches the descriptors meanwhile:
// a block that waits for another queue's report is not what keeps it from coming.
TEST_F(SocketPair, AReportContinuedByALongTurnLeavesOtherReportsFlowing) {
    auto longQueue = SerialQueue::create("long turns");
    Signal warmedUp;
    longQueue->async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        warmedUp.raise();
    });
    ASSERT_TRUE(warmedUp.waitFor());

    int other[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, other), 0);
    auto first = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], longQueue);
    auto second = ReadinessSource::create(ReadinessSource::Kind::Read, other[0], queue);
    ASSERT_TRUE(first && second);
    Signal secondReported, firstDone;
    std::atomic<bool> sawSecond{false};
    second->setEventHandler([&](std::size_t) {
        char byte;
        (void)::read(other[0], &byte, 1);
        secondReported.raise();
    });
    first->setEventHandler([&](std::size_t) {
        drain();
        ASSERT_EQ(::write(other[1], "x", 1), 1);
        sawSecond = secondReported.waitFor(1, std::chrono::seconds(5));
        firstDone.raise();
    });
    second->resume();
    first->resume();
    send("go");
    ASSERT_TRUE(firstDone.waitFor());
    EXPECT_TRUE(sawSecond.load());
    first->cancel();
    second->cancel();
    longQueue->sync([] {});
    queue->sync([] {});
    for (int fd : other) {
        ::close(fd);
    }
}

// A descriptor that is not open cannot be watched: it reads as hung up, once, like any
// descriptor that ended; a negative one is refused outright.
TEST(ReadinessSource, ADescriptorThatIsNotOpenReportsAHangUpOnce) {
    auto queue = SerialQueue::create("bad");
    EXPECT_EQ(ReadinessSource::create(ReadinessSource::Kind::Read, -1, queue), nullptr);
    for (auto descriptor :
         {ReadinessSource::Descriptor::Other, ReadinessSource::Descriptor::ConnectedStream}) {
        auto source =
            ReadinessSource::create(ReadinessSource::Kind::Read, 987654, queue, descriptor);
        ASSERT_TRUE(source);
        Signal event;
        source->setEventHandler([&](std::size_t available) {
            EXPECT_EQ(available, 0u);
            event.raise();
        });
        source->resume();
        ASSERT_TRUE(event.waitFor(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(event.count(), 1);
        source->cancel();
    }
}

// The reactor keeps a descriptor registered until it is closed, and a report can be on its
// way while that happens. A descriptor that gets the number next (right after the close, or
// the same descriptor let go of by all its sources and watched again) hears only of itself.
TEST(ReadinessSource, ADescriptorNumberTakenAgainHearsOnlyOfItsOwnDescriptor) {
    const struct {
        const char* name;
        bool closeBefore;
    } cases[] = {{"number reused after a close", true}, {"same descriptor watched again", false}};
    auto queue = SerialQueue::create("reuse");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int first[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, first), 0);
        // Watched (it waits with nothing to read), then made ready and hung up at once.
        auto old = ReadinessSource::create(ReadinessSource::Kind::Read, first[0], queue,
                                           ReadinessSource::Descriptor::ConnectedStream);
        old->setEventHandler([](std::size_t) {});
        old->resume();
        queue->sync([] {});
        ASSERT_EQ(::write(first[1], "stale", 5), 5);
        ::close(first[1]);
        old->cancel();
        old.reset();
        int fds[2] = {first[0], -1};
        if (c.closeBefore) {
            ::close(first[0]);
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
            EXPECT_EQ(fds[0], first[0]) << "the number was not reused: the case is weaker";
        }
        auto source = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue,
                                              ReadinessSource::Descriptor::ConnectedStream);
        Signal event;
        std::string received;  // on the queue only
        std::atomic<int> hangUps{0};
        source->setEventHandler([&](std::size_t available) {
            char buffer[16];
            ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (available == 0 && n == 0) {
                ++hangUps;
            }
            received += std::string(buffer, n > 0 ? n : 0);
            event.raise();
        });
        source->resume();
        if (c.closeBefore) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(event.count(), 0);  // the old descriptor's data and hang-up are not its
            ASSERT_EQ(::write(fds[1], "fresh", 5), 5);
            ASSERT_TRUE(event.waitFor(1));
            queue->sync([&] { EXPECT_EQ(received, "fresh"); });
            ::close(fds[1]);
        } else {
            // Its own data and hang-up, reported though their edges went to the old source.
            ASSERT_TRUE(event.waitFor(2));
            queue->sync([&] { EXPECT_EQ(received, "stale"); });
        }
        ASSERT_TRUE(event.waitFor(2));
        EXPECT_EQ(hangUps.load(), 1);
        source->cancel();
        queue->sync([] {});
        ::close(fds[0]);
    }
}

// A cancel while a report is on its way to the queue: the report is dropped and only the
// cancel handler runs.
TEST_F(SocketPair, ASourceCancelledWhileReadyReportsNothingMore) {
    auto source = ReadinessSource::create(ReadinessSource::Kind::Read, fds[0], queue,
                                          ReadinessSource::Descriptor::ConnectedStream);
    Signal release, cancelled;
    std::atomic<int> events{0};
    source->setEventHandler([&](std::size_t) { ++events; });
    source->setCancelHandler([&] { cancelled.raise(); });
    queue->async([&] { release.waitFor(); });  // holds the queue while the report comes in
    send("ready");
    source->resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    source->cancel();
    release.raise();
    ASSERT_TRUE(cancelled.waitFor());
    send("more");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue->sync([] {});
    EXPECT_EQ(events.load(), 0);
}

}  // namespace
}  // namespace corvaline::dispatch
