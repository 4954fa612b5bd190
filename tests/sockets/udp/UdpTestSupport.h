#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <any>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runloop/MainLoop.h"
#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"
#include "support/Signal.h"

namespace corvaline::testing::udp {

inline std::shared_ptr<const Data> bytes(const std::string& text) {
    return std::make_shared<const Data>(text.begin(), text.end());
}

inline std::string text(const Data& data) {
    return std::string(data.begin(), data.end());
}

inline Data address4(const std::string& host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return addressData(address);
}

inline Data address6(const std::string& host, std::uint16_t port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    ::inet_pton(AF_INET6, host.c_str(), &address.sin6_addr);
    return addressData(address);
}

// Everything a socket reported, in order. Used on the main loop's thread.
struct UdpEvent {
    enum class Kind { Connected, NotConnected, Sent, NotSent, Received, Closed };
    Kind kind;
    const AsyncUdpSocket* socket = nullptr;  // null for a close during destruction
    long tag = 0;
    std::optional<Error> error;
    std::string data;
    Data address;
    std::any context;
};

class RecordingDelegate : public AsyncUdpSocketDelegate {
  public:
    using Kind = UdpEvent::Kind;

    RecordingDelegate()
        : AsyncUdpSocketDelegate({Callback::DidConnectToAddress, Callback::DidNotConnect,
                                  Callback::DidSendData, Callback::DidNotSendData,
                                  Callback::DidReceiveData, Callback::DidClose}) {}

    void udpSocketDidConnectToAddress(const AsyncUdpSocketPtr& socket,
                                      const Data& address) override {
        add({Kind::Connected, socket.get(), 0, std::nullopt, {}, address, {}});
    }
    void udpSocketDidNotConnect(const AsyncUdpSocketPtr& socket, const Error& error) override {
        add({Kind::NotConnected, socket.get(), 0, error, {}, {}, {}});
    }
    void udpSocketDidSendDataWithTag(const AsyncUdpSocketPtr& socket, long tag) override {
        add({Kind::Sent, socket.get(), tag, std::nullopt, {}, {}, {}});
    }
    void udpSocketDidNotSendDataWithTag(const AsyncUdpSocketPtr& socket, long tag,
                                        const Error& error) override {
        add({Kind::NotSent, socket.get(), tag, error, {}, {}, {}});
    }
    void udpSocketDidReceiveData(const AsyncUdpSocketPtr& socket, const Data& data,
                                 const Data& address, const std::any& context) override {
        add({Kind::Received, socket.get(), 0, std::nullopt, text(data), address, context});
    }
    void udpSocketDidClose(const AsyncUdpSocketPtr& socket,
                           const std::optional<Error>& error) override {
        add({Kind::Closed, socket.get(), 0, error, {}, {}, {}});
    }

    std::vector<UdpEvent> events;

    std::vector<UdpEvent> of(Kind kind) const {
        std::vector<UdpEvent> result;
        for (const UdpEvent& event : events) {
            if (event.kind == kind) {
                result.push_back(event);
            }
        }
        return result;
    }
    std::size_t count(Kind kind) const { return of(kind).size(); }
    std::vector<std::string> received() const {
        std::vector<std::string> result;
        for (const UdpEvent& event : of(Kind::Received)) {
            result.push_back(event.data);
        }
        return result;
    }

  private:
    void add(UdpEvent event) { events.push_back(std::move(event)); }
};

// A plain non-blocking POSIX datagram socket on a loopback address: the peer of the socket
// under test. Used on the test thread.
class RawUdp {
  public:
    explicit RawUdp(int family = AF_INET, std::uint16_t port = 0) : family_(family) {
        fd_ = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        Data address = family == AF_INET ? address4("127.0.0.1", port) : address6("::1", port);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(address.data()),
                         static_cast<socklen_t>(address.size())),
                  0);
    }
    ~RawUdp() { ::close(fd_); }
    RawUdp(const RawUdp&) = delete;
    RawUdp& operator=(const RawUdp&) = delete;

    int fd() const { return fd_; }
    Data address() const { return *localAddressOfSocket(fd_, family_); }
    std::uint16_t port() const { return AsyncUdpSocket::portFromAddress(address()); }

    void sendTo(const Data& address, const std::string& payload) {
        ASSERT_EQ(::sendto(fd_, payload.data(), payload.size(), 0,
                           reinterpret_cast<const sockaddr*>(address.data()),
                           static_cast<socklen_t>(address.size())),
                  static_cast<ssize_t>(payload.size()));
    }
    // The next datagram, waiting at most `limit`.
    std::optional<std::string> receive(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(limit.count())) != 1) {
            return std::nullopt;
        }
        char buffer[65536];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, n));
    }

  private:
    int family_;
    int fd_ = -1;
};

// Holds a filter call until the test lets it answer. Used from the filter's queue and the test.
class HeldCall {
  public:
    void holdHere() {
        entered_.raise();
        released_.waitFor();
    }
    bool waitUntilHeld() { return entered_.waitFor(); }
    void release() { released_.raise(); }

  private:
    Signal entered_;
    Signal released_;
};

// True only inside a network namespace that still has nothing but loopback, so that the
// commands of a test can never change the machine's own network.
inline bool inPrivateNetworkNamespace() {
    struct if_nameindex* names = ::if_nameindex();
    if (!names) {
        return false;
    }
    bool onlyLoopback =
        names[0].if_name && std::string(names[0].if_name) == "lo" && names[1].if_name == nullptr;
    ::if_freenameindex(names);
    return onlyLoopback;
}

inline bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// One test's socket world: the main loop the reports arrive on and a delegate recording them.
// The test thread runs the loop.
class UdpSocketTest : public ::testing::Test {
  protected:
    using Kind = UdpEvent::Kind;

    AsyncUdpSocketPtr makeSocket() { return AsyncUdpSocket::create(delegate, loop); }

    bool waitUntil(const std::function<bool()>& predicate) {
        return loop->runUntil(predicate, Duration(10));
    }
    bool waitForCount(Kind kind, std::size_t count) {
        return waitUntil([&] { return delegate->count(kind) >= count; });
    }
    // Lets the socket queue finish what it has, then delivers the reports it posted.
    void settle(AsyncUdpSocket& socket) {
        socket.performBlock([] {});
        loop->runPending();
    }

    std::shared_ptr<MainLoop> loop = std::make_shared<MainLoop>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

}  // namespace corvaline::testing::udp
