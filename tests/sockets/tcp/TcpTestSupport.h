#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/runloop/MainLoop.h"
#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline::testing {

// A plain blocking POSIX endpoint on 127.0.0.1, the peer the socket under test talks to.
// Used on the test thread (or one helper thread per descriptor).
class RawFd {
  public:
    RawFd() = default;
    explicit RawFd(int fd) : fd_(fd) {}
    RawFd(RawFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    RawFd& operator=(RawFd&& other) noexcept {
        reset();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }
    ~RawFd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ != -1) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    explicit operator bool() const { return fd_ != -1; }

  private:
    int fd_ = -1;
};

inline sockaddr_in loopback4(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline Data bytesOf(const sockaddr_in& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return Data(bytes, bytes + sizeof address);
}

// A listening socket on 127.0.0.1 and a system-chosen port. A small receive buffer makes a
// peer that does not read stall the writer early.
class RawListener {
  public:
    explicit RawListener(int backlog = 16, int receiveBuffer = 0) {
        fd_ = RawFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (receiveBuffer > 0) {
            ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address = loopback4(0);
        EXPECT_EQ(::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_.get(), backlog), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    std::uint16_t port() const { return port_; }
    Data address() const { return bytesOf(loopback4(port_)); }
    // Waits (bounded) for one connection.
    RawFd accept(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        pollfd ready{fd_.get(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(limit.count())) != 1) {
            return RawFd();
        }
        return RawFd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

  private:
    RawFd fd_;
    std::uint16_t port_ = 0;
};

inline RawFd rawConnect(std::uint16_t port) {
    RawFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = loopback4(port);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Reads until end of stream or `limit` bytes; a receive time-out guards against a hang.
inline Data readUntilClosed(int fd, std::size_t limit = SIZE_MAX) {
    timeval guard{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    Data received;
    std::uint8_t buffer[65536];
    while (received.size() < limit) {
        ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, limit - received.size()), 0);
        if (n <= 0) {
            break;
        }
        received.insert(received.end(), buffer, buffer + n);
    }
    return received;
}

inline void sendAll(int fd, const std::string& text) {
    ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(text.size()));
}

// True once the peer has closed and everything it sent was read.
inline bool peerHasClosed(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

inline Data bytes(const std::string& text) {
    return Data(text.begin(), text.end());
}

inline std::string text(const DataSlice& data) {
    return std::string(data.begin(), data.end());
}

// One report of a socket. A plain value.
struct Event {
    enum Kind {
        Accept,
        ConnectHost,
        ConnectUrl,
        Read,
        ReadPartial,
        Write,
        WritePartial,
        ReadTimeoutQuery,
        WriteTimeoutQuery,
        CloseReadStream,
        Disconnect
    };
    Kind kind;
    const AsyncTcpSocket* socket = nullptr;  // null for a report from a destructor
    long tag = 0;
    std::size_t length = 0;
    std::string data = {};
    std::optional<Error> error = {};
    std::string host = {};
    std::uint16_t port = 0;
    double elapsed = 0;
};

// A delegate that records everything. Accepted children are kept until `accepted` is cleared.
// Called on the delegate queue; the records may be read from any thread.
class RecordingDelegate : public AsyncTcpSocketDelegate {
  public:
    using C = Callback;
    static std::initializer_list<Callback> allButQueries() {
        static const std::initializer_list<Callback> list = {
            C::DidAcceptNewSocket,  C::DidConnectToHost,   C::DidConnectToUrl,
            C::DidReadData,         C::DidReadPartialData, C::DidWriteData,
            C::DidWritePartialData, C::DidCloseReadStream, C::DidDisconnect};
        return list;
    }
    explicit RecordingDelegate(std::initializer_list<Callback> implemented = allButQueries())
        : AsyncTcpSocketDelegate(implemented) {}

    std::function<double(long tag, double elapsed, std::uint64_t done)> readTimeoutAnswer;
    std::function<double(long tag, double elapsed, std::uint64_t done)> writeTimeoutAnswer;
    std::function<void(const AsyncTcpSocketPtr&, const DataSlice&, long)> onRead;
    std::function<void(const AsyncTcpSocketPtr&, long)> onWrite;
    std::function<void(const AsyncTcpSocketPtr&)> onAccept;

    std::vector<Event> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    int count(Event::Kind kind) const {
        return countWhere(kind, [](const Event&) { return true; });
    }
    int countFor(Event::Kind kind, const AsyncTcpSocket* socket) const {
        return countWhere(kind, [socket](const Event& event) { return event.socket == socket; });
    }
    std::optional<Event> last(Event::Kind kind) const {
        std::lock_guard lock(mutex_);
        for (auto event = events_.rbegin(); event != events_.rend(); ++event) {
            if (event->kind == kind) {
                return *event;
            }
        }
        return std::nullopt;
    }
    std::vector<AsyncTcpSocketPtr> accepted;

    void socketDidAcceptNewSocket(const AsyncTcpSocketPtr& listener,
                                  const AsyncTcpSocketPtr& newSocket) override {
        record({.kind = Event::Accept, .socket = listener.get()});
        accepted.push_back(newSocket);
        if (onAccept) {
            onAccept(newSocket);
        }
    }
    void socketDidConnectToHost(const AsyncTcpSocketPtr& socket, const std::string& host,
                                std::uint16_t port) override {
        record({.kind = Event::ConnectHost, .socket = socket.get(), .host = host, .port = port});
    }
    void socketDidConnectToUrl(const AsyncTcpSocketPtr& socket,
                               const std::filesystem::path& url) override {
        record({.kind = Event::ConnectUrl, .socket = socket.get(), .host = url});
    }
    void socketDidReadData(const AsyncTcpSocketPtr& socket, const DataSlice& data,
                           long tag) override {
        record({.kind = Event::Read,
                .socket = socket.get(),
                .tag = tag,
                .length = data.size(),
                .data = text(data)});
        if (onRead) {
            onRead(socket, data, tag);
        }
    }
    void socketDidReadPartialDataOfLength(const AsyncTcpSocketPtr& socket, std::size_t length,
                                          long tag) override {
        record({.kind = Event::ReadPartial, .socket = socket.get(), .tag = tag, .length = length});
    }
    void socketDidWriteDataWithTag(const AsyncTcpSocketPtr& socket, long tag) override {
        record({.kind = Event::Write, .socket = socket.get(), .tag = tag});
        if (onWrite) {
            onWrite(socket, tag);
        }
    }
    void socketDidWritePartialDataOfLength(const AsyncTcpSocketPtr& socket, std::size_t length,
                                           long tag) override {
        record({.kind = Event::WritePartial, .socket = socket.get(), .tag = tag, .length = length});
    }
    double socketShouldTimeoutReadWithTag(const AsyncTcpSocketPtr& socket, long tag, double elapsed,
                                          std::uint64_t done) override {
        record({.kind = Event::ReadTimeoutQuery,
                .socket = socket.get(),
                .tag = tag,
                .length = done,
                .elapsed = elapsed});
        return readTimeoutAnswer ? readTimeoutAnswer(tag, elapsed, done) : 0;
    }
    double socketShouldTimeoutWriteWithTag(const AsyncTcpSocketPtr& socket, long tag,
                                           double elapsed, std::uint64_t done) override {
        record({.kind = Event::WriteTimeoutQuery,
                .socket = socket.get(),
                .tag = tag,
                .length = done,
                .elapsed = elapsed});
        return writeTimeoutAnswer ? writeTimeoutAnswer(tag, elapsed, done) : 0;
    }
    void socketDidCloseReadStream(const AsyncTcpSocketPtr& socket) override {
        record({.kind = Event::CloseReadStream, .socket = socket.get()});
    }
    void socketDidDisconnect(const AsyncTcpSocketPtr& socket,
                             const std::optional<Error>& error) override {
        record({.kind = Event::Disconnect, .socket = socket.get(), .error = error});
    }

  private:
    int countWhere(Event::Kind kind, const std::function<bool(const Event&)>& match) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const Event& event : events_) {
            n += event.kind == kind && match(event);
        }
        return n;
    }
    void record(Event event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

// Sockets reporting to a recording delegate on a headless main loop run by the test thread.
// Used on the test thread.
class TcpSocketTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const auto& socket : kept_) {
            socket->disconnect();
        }
        kept_.clear();
        // A connection can still be accepted while the loop settles, and its end would then
        // be reported after the loop has gone: a report left queued on the loop keeps the
        // socket and the loop alive for ever. Such children are closed here, and their
        // reports taken.
        for (int round = 0; round < 3; ++round) {
            settle();
            auto accepted = std::move(delegate->accepted);
            delegate->accepted.clear();
            for (const auto& socket : accepted) {
                socket->disconnect();
            }
            settle(accepted);
        }
    }

    // Kept until the test ends, so no later socket reuses its address in the reports.
    AsyncTcpSocketPtr newSocket() {
        kept_.push_back(AsyncTcpSocket::create(delegate, loop));
        return kept_.back();
    }

    bool runUntil(const std::function<bool()>& done, Duration limit = std::chrono::seconds(10)) {
        return loop->runUntil(done, limit);
    }
    // For conditions no block on the loop reports: looks again every few milliseconds.
    bool runUntilPolling(const std::function<bool()>& done) {
        TimerHandle poll = loop->repeating(std::chrono::milliseconds(5), [] {});
        bool result = runUntil(done);
        poll.cancel();
        return result;
    }
    // Waits for the `n`-th report of `kind` (about `socket`, when given).
    bool waitFor(Event::Kind kind, int n = 1, const AsyncTcpSocketPtr& socket = nullptr) {
        return runUntil([&] {
            return socket ? delegate->countFor(kind, socket.get()) >= n
                          : delegate->count(kind) >= n;
        });
    }
    // Lets every socket queue finish what it was given and delivers what that posted.
    void settle(const std::vector<AsyncTcpSocketPtr>& sockets = {}) {
        for (int round = 0; round < 3; ++round) {
            for (const auto& socket : sockets) {
                socket->performBlock([] {});
            }
            loop->runPending();
        }
    }

    std::shared_ptr<MainLoop> loop = std::make_shared<MainLoop>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();

  private:
    std::vector<AsyncTcpSocketPtr> kept_;
};

}  // namespace corvaline::testing
