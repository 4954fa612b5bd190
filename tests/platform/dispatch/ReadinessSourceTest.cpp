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

TEST(ReadinessSource, RefusesADescriptorThatIsNotOpen) {
    EXPECT_EQ(
        ReadinessSource::create(ReadinessSource::Kind::Read, 987654, SerialQueue::create("bad")),
        nullptr);
}

}  // namespace
}  // namespace corvaline::dispatch
