// The default peer (connect) and multicast membership.
#include <netdb.h>
#include <sys/socket.h>

#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {
namespace {

// The first IPv4 and the first IPv6 address of a numeric host text.
void numericHostAddresses(const std::string& host, std::optional<Data>* address4,
                          std::optional<Data>* address6) {
    *address4 = std::nullopt;
    *address6 = std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* results = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), "0", &hints, &results) != 0) {
        return;
    }
    for (addrinfo* result = results; result; result = result->ai_next) {
        if (result->ai_family == AF_INET && !*address4) {
            *address4 = addressData(*reinterpret_cast<const sockaddr_in*>(result->ai_addr));
        } else if (result->ai_family == AF_INET6 && !*address6) {
            *address6 = addressData(*reinterpret_cast<const sockaddr_in6*>(result->ai_addr));
        }
    }
    ::freeaddrinfo(results);
}

}  // namespace

bool AsyncUdpSocket::preConnect(Error* error) const {
    if (!preOp(error)) {
        return false;
    }
    std::optional<Error> failure;
    if (flags_ & (kConnecting | kConnected)) {
        failure = badConfigError("Cannot connect a socket more than once.");
    } else if ((config_ & (kIPv4Disabled | kIPv6Disabled)) == (kIPv4Disabled | kIPv6Disabled)) {
        failure = badConfigError(
            "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    }
    if (failure && error) {
        *error = std::move(*failure);
    }
    return !failure;
}

bool AsyncUdpSocket::connectToHost(const std::string& host, std::uint16_t port, Error* error) {
    bool result = false;
    runSync([&] {
        if (!preConnect(error)) {
            return;
        }
        if (host.empty()) {
            if (error) {
                *error = badParamError(
                    "The host param is nil. Should be domain name or IP address string.");
            }
            return;
        }
        if (!(flags_ & kSocketsCreated) && !createEnabledSockets(error)) {
            return;
        }
        auto packet = std::make_shared<AsyncUdpSpecialPacket>();
        packet->resolveInProgress = true;
        asyncResolveHost(host, port,
                         [weak = weak_from_this(), packet](std::vector<Data> addresses,
                                                           std::optional<Error> failure) {
                             auto self = weak.lock();
                             if (!self) {
                                 return;
                             }
                             packet->addresses = std::move(addresses);
                             packet->error = std::move(failure);
                             packet->resolveInProgress = false;
                             self->maybeConnect();
                         });
        result = queueConnect(std::move(packet));
    });
    return result;
}

bool AsyncUdpSocket::connectToAddress(const Data& address, Error* error) {
    bool result = false;
    runSync([&] {
        if (!preConnect(error)) {
            return;
        }
        if (address.empty()) {
            if (error) {
                *error = badParamError("The address param is nil. Should be a valid address.");
            }
            return;
        }
        if (!(flags_ & kSocketsCreated) && !createEnabledSockets(error)) {
            return;
        }
        auto packet = std::make_shared<AsyncUdpSpecialPacket>();
        packet->addresses = {address};
        result = queueConnect(std::move(packet));
    });
    return result;
}

bool AsyncUdpSocket::queueConnect(std::shared_ptr<AsyncUdpSpecialPacket> packet) {
    flags_ |= kConnecting;
    sendQueue_.push_back(std::move(packet));
    maybeDequeueSend();
    return true;
}

void AsyncUdpSocket::maybeConnect() {
    AsyncUdpSpecialPacket* packet = currentConnect();
    if (!packet || packet->resolveInProgress) {
        return;
    }
    std::optional<Error> failure = packet->error;
    if (!failure) {
        Data address;
        Error error;
        int family = getAddress(&address, &error, packet->addresses);
        if (family == 0) {
            failure = std::move(error);
        } else if (::connect(endpoint(family).fd, reinterpret_cast<const sockaddr*>(address.data()),
                             static_cast<socklen_t>(address.size())) != 0) {
            failure = errnoError(errno, "Error in connect() function");
        } else {
            bool is4 = family == AF_INET;
            closeSocket(is4 ? socket6_ : socket4_);
            flags_ |= (is4 ? kIPv6Deactivated : kIPv4Deactivated) | kBound | kConnected;
            std::string host;
            std::uint16_t port = 0;
            getHost(&host, &port, nullptr, address);
            cachedConnectedAddress_ = address;
            cachedConnectedHost_ = host;
            cachedConnectedPort_ = port;
            cachedConnectedFamily_ = family;
            notify(Callback::DidConnectToAddress,
                   [address](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
                       delegate.udpSocketDidConnectToAddress(socket, address);
                   });
        }
    }
    if (failure) {
        notify(Callback::DidNotConnect,
               [error = std::move(*failure)](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
                   delegate.udpSocketDidNotConnect(socket, error);
               });
    }
    flags_ &= ~kConnecting;
    endCurrentSend();
    maybeDequeueSend();
}

bool AsyncUdpSocket::preJoin(Error* error) const {
    if (!preOp(error)) {
        return false;
    }
    std::optional<Error> failure;
    if (!(flags_ & kBound)) {
        failure = badConfigError("Must bind a socket before joining a multicast group.");
    } else if (flags_ & (kConnecting | kConnected)) {
        failure = badConfigError("Cannot join a multicast group if connected.");
    }
    if (failure && error) {
        *error = std::move(*failure);
    }
    return !failure;
}

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, Error* error) {
    bool result = false;
    runSync([&] { result = performMulticastRequest(true, group, std::nullopt, error); });
    return result;
}

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interface,
                                        Error* error) {
    bool result = false;
    runSync([&] { result = performMulticastRequest(true, group, interface, error); });
    return result;
}

bool AsyncUdpSocket::leaveMulticastGroup(const std::string& group, Error* error) {
    bool result = false;
    runSync([&] { result = performMulticastRequest(false, group, std::nullopt, error); });
    return result;
}

bool AsyncUdpSocket::leaveMulticastGroup(const std::string& group, const std::string& interface,
                                         Error* error) {
    bool result = false;
    runSync([&] { result = performMulticastRequest(false, group, interface, error); });
    return result;
}

bool AsyncUdpSocket::performMulticastRequest(bool join, const std::string& group,
                                             const std::optional<std::string>& interface,
                                             Error* error) {
    if (!preJoin(error)) {
        return false;
    }
    auto fail = [&](Error failure) {
        if (error) {
            *error = std::move(failure);
        }
        return false;
    };
    std::optional<Data> group4;
    std::optional<Data> group6;
    numericHostAddresses(group, &group4, &group6);
    if (!group4 && !group6) {
        return fail(badParamError("Unknown group. Specify valid group IP address."));
    }
    std::optional<Data> interface4;
    std::optional<Data> interface6;
    interfaceAddresses(interface, 0, &interface4, &interface6);
    if (!interface4 && !interface6) {
        return fail(badParamError(
            "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."));
    }
    if (socket4_.fd != -1 && group4 && interface4) {
        ip_mreq request{};
        request.imr_multiaddr = sockaddr4Of(*group4).sin_addr;
        request.imr_interface = sockaddr4Of(*interface4).sin_addr;
        int option = join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
        if (!setSocketOption(socket4_.fd, IPPROTO_IP, option, &request, sizeof request, error)) {
            return false;
        }
        // The membership is IPv4's: IPv6 goes out of use, so no datagram is sent to it.
        closeSocket(socket6_);
        flags_ |= kIPv6Deactivated;
        return true;
    }
    if (socket6_.fd != -1 && group6 && interface6) {
        ipv6_mreq request{};
        request.ipv6mr_multiaddr = sockaddr6Of(*group6).sin6_addr;
        request.ipv6mr_interface = interfaceIndexOfAddress(*interface6);
        int option = join ? IPV6_JOIN_GROUP : IPV6_LEAVE_GROUP;
        if (!setSocketOption(socket6_.fd, IPPROTO_IPV6, option, &request, sizeof request, error)) {
            return false;
        }
        closeSocket(socket4_);
        flags_ |= kIPv4Deactivated;
        return true;
    }
    return fail(badParamError("Socket, group, and interface do not have matching IP versions"));
}

bool AsyncUdpSocket::sendIPv4MulticastOnInterface(const std::string& interface, Error* error) {
    bool result = false;
    runSync([&] { result = setMulticastInterface(AF_INET, interface, error); });
    return result;
}

bool AsyncUdpSocket::sendIPv6MulticastOnInterface(const std::string& interface, Error* error) {
    bool result = false;
    runSync([&] { result = setMulticastInterface(AF_INET6, interface, error); });
    return result;
}

bool AsyncUdpSocket::setMulticastInterface(int family, const std::string& interface, Error* error) {
    if (!preOpWithSockets(error)) {
        return false;
    }
    std::optional<Data> interface4;
    std::optional<Data> interface6;
    interfaceAddresses(interface, 0, &interface4, &interface6);
    bool is4 = family == AF_INET;
    if (!(is4 ? interface4 : interface6)) {
        if (error) {
            *error = badParamError(
                is4 ? "Unknown interface. Specify valid interface by IP address."
                    : "Unknown interface. Specify valid interface by name (e.g. \"en1\").");
        }
        return false;
    }
    int fd = endpoint(family).fd;
    if (fd == -1) {
        return false;
    }
    if (is4) {
        in_addr address = sockaddr4Of(*interface4).sin_addr;
        return setSocketOption(fd, IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address, error);
    }
    std::uint32_t index = interfaceIndexOfAddress(*interface6);
    return setSocketOption(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index, error);
}

}  // namespace corvaline
