// State and endpoint queries. A connection's peer comes from what was learnt when it was made;
// everything else is asked of the system afresh on every call.
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "sockets/tcp/AsyncTcpSocket.h"

namespace corvaline {
namespace {

template <class Address, class Query>
std::optional<Address> ask(int fd, Query query) {
    Address address{};
    socklen_t length = sizeof address;
    if (fd == -1 || query(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return std::nullopt;
    }
    return address;
}

template <class Address>
std::optional<Address> peerOf(int fd) {
    return ask<Address>(fd, ::getpeername);
}

template <class Address>
std::optional<Address> localOf(int fd) {
    return ask<Address>(fd, ::getsockname);
}

// The address as the system reported it, cut to the reported length.
std::optional<Data> addressBytes(int fd, bool peer) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int result = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                      : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (result != 0) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return Data(bytes, bytes + std::min<std::size_t>(length, sizeof address));
}

// The remembered peer address as the family's structure, when it belongs to `fd`.
template <class Address>
std::optional<Address> knownPeer(const std::optional<Data>& peer, int fd, sa_family_t family) {
    sa_family_t stored = AF_UNSPEC;
    if (fd == -1 || !peer || peer->size() < sizeof stored) {
        return std::nullopt;
    }
    std::memcpy(&stored, peer->data(), sizeof stored);
    if (stored != family) {
        return std::nullopt;
    }
    Address address{};
    std::memcpy(&address, peer->data(), std::min(peer->size(), sizeof address));
    return address;
}

}  // namespace

bool AsyncTcpSocket::isDisconnected() const {
    bool result = false;
    runSync([&] { result = (flags_ & kSocketStarted) == 0; });
    return result;
}

bool AsyncTcpSocket::isConnected() const {
    bool result = false;
    runSync([&] { result = (flags_ & kSocketConnected) != 0; });
    return result;
}

bool AsyncTcpSocket::isIPv4() const {
    bool result = false;
    runSync([&] { result = socket4FD_ != -1; });
    return result;
}

bool AsyncTcpSocket::isIPv6() const {
    bool result = false;
    runSync([&] { result = socket6FD_ != -1; });
    return result;
}

bool AsyncTcpSocket::isSecure() const {
    bool result = false;
    runSync([&] { result = (flags_ & kSocketSecure) != 0; });
    return result;
}

std::optional<std::string> AsyncTcpSocket::connectedHost() const {
    std::optional<std::string> result;
    runSync([&] { result = socket4FD_ != -1 ? connectedHost4() : connectedHost6(); });
    return result;
}

std::uint16_t AsyncTcpSocket::connectedPort() const {
    std::uint16_t result = 0;
    runSync([&] { result = socket4FD_ != -1 ? connectedPort4() : connectedPort6(); });
    return result;
}

std::optional<AsyncTcpSocket::Path> AsyncTcpSocket::connectedUrl() const {
    std::optional<Path> result;
    runSync([&] { result = connectedUrlFromSocketUN(socketUN_); });
    return result;
}

std::optional<std::string> AsyncTcpSocket::localHost() const {
    std::optional<std::string> result;
    runSync([&] { result = socket4FD_ != -1 ? localHost4() : localHost6(); });
    return result;
}

std::uint16_t AsyncTcpSocket::localPort() const {
    std::uint16_t result = 0;
    runSync([&] { result = socket4FD_ != -1 ? localPort4() : localPort6(); });
    return result;
}

std::optional<Data> AsyncTcpSocket::connectedAddress() const {
    std::optional<Data> result;
    runSync([&] {
        if (peerAddress_) {
            result = peerAddress_;
            return;
        }
        for (int fd : {socket4FD_, socket6FD_}) {
            if (fd == -1) {
                continue;
            }
            if (auto address = addressBytes(fd, true)) {
                result = std::move(address);
            }
        }
    });
    return result;
}

std::optional<Data> AsyncTcpSocket::localAddress() const {
    std::optional<Data> result;
    runSync([&] {
        for (int fd : {socket4FD_, socket6FD_}) {
            if (fd == -1) {
                continue;
            }
            if (auto address = addressBytes(fd, false)) {
                result = std::move(address);
            }
        }
    });
    return result;
}

std::optional<Data> AsyncTcpSocket::askPeerAddress(int fd) {
    return addressBytes(fd, true);
}

std::optional<std::string> AsyncTcpSocket::connectedHost4() const {
    if (auto known = knownPeer<sockaddr_in>(peerAddress_, socket4FD_, AF_INET)) {
        return hostFromSockaddr4(*known);
    }
    return connectedHostFromSocket4(socket4FD_);
}

std::optional<std::string> AsyncTcpSocket::connectedHost6() const {
    if (auto known = knownPeer<sockaddr_in6>(peerAddress_, socket6FD_, AF_INET6)) {
        return hostFromSockaddr6(*known);
    }
    return connectedHostFromSocket6(socket6FD_);
}

std::uint16_t AsyncTcpSocket::connectedPort4() const {
    if (auto known = knownPeer<sockaddr_in>(peerAddress_, socket4FD_, AF_INET)) {
        return portFromSockaddr4(*known);
    }
    return connectedPortFromSocket4(socket4FD_);
}

std::uint16_t AsyncTcpSocket::connectedPort6() const {
    if (auto known = knownPeer<sockaddr_in6>(peerAddress_, socket6FD_, AF_INET6)) {
        return portFromSockaddr6(*known);
    }
    return connectedPortFromSocket6(socket6FD_);
}

std::optional<std::string> AsyncTcpSocket::localHost4() const {
    return localHostFromSocket4(socket4FD_);
}

std::optional<std::string> AsyncTcpSocket::localHost6() const {
    return localHostFromSocket6(socket6FD_);
}

std::uint16_t AsyncTcpSocket::localPort4() const {
    return localPortFromSocket4(socket4FD_);
}

std::uint16_t AsyncTcpSocket::localPort6() const {
    return localPortFromSocket6(socket6FD_);
}

std::optional<std::string> AsyncTcpSocket::connectedHostFromSocket4(int fd) {
    auto address = peerOf<sockaddr_in>(fd);
    return address ? std::optional(hostFromSockaddr4(*address)) : std::nullopt;
}

std::optional<std::string> AsyncTcpSocket::connectedHostFromSocket6(int fd) {
    auto address = peerOf<sockaddr_in6>(fd);
    return address ? std::optional(hostFromSockaddr6(*address)) : std::nullopt;
}

std::uint16_t AsyncTcpSocket::connectedPortFromSocket4(int fd) {
    auto address = peerOf<sockaddr_in>(fd);
    return address ? portFromSockaddr4(*address) : 0;
}

std::uint16_t AsyncTcpSocket::connectedPortFromSocket6(int fd) {
    auto address = peerOf<sockaddr_in6>(fd);
    return address ? portFromSockaddr6(*address) : 0;
}

std::optional<AsyncTcpSocket::Path> AsyncTcpSocket::connectedUrlFromSocketUN(int fd) {
    auto address = peerOf<sockaddr_un>(fd);
    return address ? std::optional(urlFromSockaddrUN(*address)) : std::nullopt;
}

std::optional<std::string> AsyncTcpSocket::localHostFromSocket4(int fd) {
    auto address = localOf<sockaddr_in>(fd);
    return address ? std::optional(hostFromSockaddr4(*address)) : std::nullopt;
}

std::optional<std::string> AsyncTcpSocket::localHostFromSocket6(int fd) {
    auto address = localOf<sockaddr_in6>(fd);
    return address ? std::optional(hostFromSockaddr6(*address)) : std::nullopt;
}

std::uint16_t AsyncTcpSocket::localPortFromSocket4(int fd) {
    auto address = localOf<sockaddr_in>(fd);
    return address ? portFromSockaddr4(*address) : 0;
}

std::uint16_t AsyncTcpSocket::localPortFromSocket6(int fd) {
    auto address = localOf<sockaddr_in6>(fd);
    return address ? portFromSockaddr6(*address) : 0;
}

}  // namespace corvaline
