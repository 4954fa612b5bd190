// Endpoint queries with their caches, state queries and the class address functions.
#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {

void AsyncUdpSocket::maybeUpdateCachedLocalAddressInfo(Endpoint& socket) {
    if (socket.cachedLocalAddress || !(flags_ & kBound) || socket.fd == -1) {
        return;
    }
    std::optional<Data> address = localAddressOfSocket(socket.fd, socket.family);
    if (!address) {
        return;  // the next query asks again
    }
    std::string host;
    getHost(&host, &socket.cachedLocalPort, nullptr, *address);
    socket.cachedLocalHost = std::move(host);
    socket.cachedLocalAddress = std::move(address);
}

void AsyncUdpSocket::maybeUpdateCachedConnectedAddressInfo() {
    if (cachedConnectedAddress_ || !(flags_ & kConnected)) {
        return;
    }
    Endpoint& socket = socket4_.fd != -1 ? socket4_ : socket6_;
    if (socket.fd == -1) {
        return;
    }
    std::optional<Data> address = peerAddressOfSocket(socket.fd, socket.family);
    if (!address) {
        return;
    }
    std::string host;
    getHost(&host, &cachedConnectedPort_, nullptr, *address);
    cachedConnectedHost_ = std::move(host);
    cachedConnectedFamily_ = socket.family;
    cachedConnectedAddress_ = std::move(address);
}

template <class Value>
Value AsyncUdpSocket::localCacheField(int family, Value Endpoint::*field) {
    Value result{};
    runSync([&] {
        Endpoint& socket = family == 0 ? localEndpoint() : endpoint(family);
        maybeUpdateCachedLocalAddressInfo(socket);
        result = socket.*field;
    });
    return result;
}

std::optional<Data> AsyncUdpSocket::localAddress() {
    return localCacheField(0, &Endpoint::cachedLocalAddress);
}

std::optional<std::string> AsyncUdpSocket::localHost() {
    return localCacheField(0, &Endpoint::cachedLocalHost);
}

std::uint16_t AsyncUdpSocket::localPort() {
    return localCacheField(0, &Endpoint::cachedLocalPort);
}

std::optional<Data> AsyncUdpSocket::localAddress_IPv4() {
    return localCacheField(AF_INET, &Endpoint::cachedLocalAddress);
}

std::optional<std::string> AsyncUdpSocket::localHost_IPv4() {
    return localCacheField(AF_INET, &Endpoint::cachedLocalHost);
}

std::uint16_t AsyncUdpSocket::localPort_IPv4() {
    return localCacheField(AF_INET, &Endpoint::cachedLocalPort);
}

std::optional<Data> AsyncUdpSocket::localAddress_IPv6() {
    return localCacheField(AF_INET6, &Endpoint::cachedLocalAddress);
}

std::optional<std::string> AsyncUdpSocket::localHost_IPv6() {
    return localCacheField(AF_INET6, &Endpoint::cachedLocalHost);
}

std::uint16_t AsyncUdpSocket::localPort_IPv6() {
    return localCacheField(AF_INET6, &Endpoint::cachedLocalPort);
}

std::optional<Data> AsyncUdpSocket::connectedAddress() {
    std::optional<Data> result;
    runSync([&] {
        maybeUpdateCachedConnectedAddressInfo();
        result = cachedConnectedAddress_;
    });
    return result;
}

std::optional<std::string> AsyncUdpSocket::connectedHost() {
    std::optional<std::string> result;
    runSync([&] {
        maybeUpdateCachedConnectedAddressInfo();
        result = cachedConnectedHost_;
    });
    return result;
}

std::uint16_t AsyncUdpSocket::connectedPort() {
    std::uint16_t result = 0;
    runSync([&] {
        maybeUpdateCachedConnectedAddressInfo();
        result = cachedConnectedPort_;
    });
    return result;
}

bool AsyncUdpSocket::isConnected() const {
    bool result = false;
    runSync([&] { result = flags_ & kConnected; });
    return result;
}

bool AsyncUdpSocket::isClosed() const {
    bool result = false;
    runSync([&] { result = !(flags_ & kSocketsCreated); });
    return result;
}

bool AsyncUdpSocket::isIPv4() const {
    bool result = false;
    runSync([&] {
        result = (flags_ & kSocketsCreated) ? socket4_.fd != -1 : !(config_ & kIPv4Disabled);
    });
    return result;
}

bool AsyncUdpSocket::isIPv6() const {
    bool result = false;
    runSync([&] {
        result = (flags_ & kSocketsCreated) ? socket6_.fd != -1 : !(config_ & kIPv6Disabled);
    });
    return result;
}

std::optional<std::string> AsyncUdpSocket::hostFromAddress(const Data& address) {
    std::string host;
    if (!corvaline::getHost(&host, nullptr, nullptr, address)) {
        return std::nullopt;
    }
    return host;
}

std::uint16_t AsyncUdpSocket::portFromAddress(const Data& address) {
    std::uint16_t port = 0;
    corvaline::getHost(nullptr, &port, nullptr, address);
    return port;
}

int AsyncUdpSocket::familyFromAddress(const Data& address) {
    return addressFamily(address);
}

bool AsyncUdpSocket::isIPv4Address(const Data& address) {
    return addressFamily(address) == AF_INET;
}

bool AsyncUdpSocket::isIPv6Address(const Data& address) {
    return addressFamily(address) == AF_INET6;
}

bool AsyncUdpSocket::getHost(std::string* host, std::uint16_t* port, const Data& address) {
    return corvaline::getHost(host, port, nullptr, address);
}

bool AsyncUdpSocket::getHost(std::string* host, std::uint16_t* port, int* family,
                             const Data& address) {
    return corvaline::getHost(host, port, family, address);
}

std::string AsyncUdpSocket::hostFromSockaddr4(const sockaddr_in& address) {
    return corvaline::hostFromSockaddr4(address);
}

std::string AsyncUdpSocket::hostFromSockaddr6(const sockaddr_in6& address) {
    return corvaline::hostFromSockaddr6(address);
}

std::uint16_t AsyncUdpSocket::portFromSockaddr4(const sockaddr_in& address) {
    return corvaline::portFromSockaddr4(address);
}

std::uint16_t AsyncUdpSocket::portFromSockaddr6(const sockaddr_in6& address) {
    return corvaline::portFromSockaddr6(address);
}

}  // namespace corvaline
