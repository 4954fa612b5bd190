// The system sockets and their readiness sources; binding, reuse-port and broadcast.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {
namespace {

// Closes the descriptor once both readiness sources have let go of it (on the socket queue).
class DescriptorCloser {
  public:
    explicit DescriptorCloser(int fd) : fd_(fd) {}
    ~DescriptorCloser() { ::close(fd_); }
    DescriptorCloser(const DescriptorCloser&) = delete;
    DescriptorCloser& operator=(const DescriptorCloser&) = delete;

  private:
    const int fd_;
};

socklen_t addressLength(const Data& address) {
    return static_cast<socklen_t>(address.size());
}

}  // namespace

bool AsyncUdpSocket::isFamilyUsable(int family) const {
    const Endpoint& socket = family == AF_INET ? socket4_ : socket6_;
    std::uint16_t disabled = family == AF_INET ? kIPv4Disabled : kIPv6Disabled;
    std::uint32_t deactivated = family == AF_INET ? kIPv4Deactivated : kIPv6Deactivated;
    return socket.fd != -1 && (config_ & disabled) == 0 && (flags_ & deactivated) == 0;
}

bool AsyncUdpSocket::createEnabledSockets(Error* error) {
    return createSockets((config_ & kIPv4Disabled) == 0, (config_ & kIPv6Disabled) == 0, error);
}

bool AsyncUdpSocket::createSockets(bool use4, bool use6, Error* error) {
    if (use4 && !createSocket(socket4_, error)) {
        return false;
    }
    if (use6 && !createSocket(socket6_, error)) {
        closeSocket(socket4_);
        return false;
    }
    flags_ |= kSocketsCreated;
    return true;
}

bool AsyncUdpSocket::createSocket(Endpoint& endpoint, Error* error) {
    int fd = ::socket(endpoint.family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    auto fail = [&](const char* reason) {
        int code = errno;
        if (fd != -1) {
            ::close(fd);
        }
        if (error) {
            *error = errnoError(code, reason);
        }
        return false;
    };
    if (fd == -1) {
        return fail("Error in socket() function");
    }
    if (::fcntl(fd, F_SETFL, O_NONBLOCK) == -1) {
        return fail("Error enabling non-blocking IO on socket (fcntl)");
    }
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == -1) {
        return fail("Error enabling address reuse (setsockopt)");
    }
    // Datagram sockets raise no SIGPIPE on Linux: there is no signal to switch off. IPv4 peers
    // reach the IPv4 socket only, never the IPv6 one as mapped addresses.
    if (endpoint.family == AF_INET6 &&
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == -1) {
        return fail("Error in setsockopt() function");
    }
    int size = maxSendSize_;
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) == -1) {
        return fail("Error setting send buffer size (setsockopt)");
    }
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == -1) {
        return fail("Error setting receive buffer size (setsockopt)");
    }
    if (!setupSendAndReceiveSources(endpoint, fd)) {
        return fail("Error in socket() function");
    }
    return true;
}

bool AsyncUdpSocket::setupSendAndReceiveSources(Endpoint& endpoint, int fd) {
    auto sendSource =
        dispatch::ReadinessSource::create(dispatch::ReadinessSource::Kind::Write, fd, socketQueue_);
    auto receiveSource =
        dispatch::ReadinessSource::create(dispatch::ReadinessSource::Kind::Read, fd, socketQueue_);
    if (!sendSource || !receiveSource) {
        return false;
    }
    int family = endpoint.family;
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    sendSource->setEventHandler([weak, family](std::size_t) {
        if (auto self = weak.lock()) {
            self->sendSourceFired(self->endpoint(family));
        }
    });
    receiveSource->setEventHandler([weak, family](std::size_t) {
        if (auto self = weak.lock()) {
            self->receiveSourceFired(self->endpoint(family));
        }
    });
    // Each cancel handler holds the descriptor; it closes when both are done with it.
    auto closer = std::make_shared<DescriptorCloser>(fd);
    sendSource->setCancelHandler([closer] {});
    receiveSource->setCancelHandler([closer] {});
    endpoint.fd = fd;
    endpoint.sendSource = std::move(sendSource);
    endpoint.receiveSource = std::move(receiveSource);
    endpoint.sendSourceSuspended = true;
    endpoint.receiveSourceSuspended = true;
    endpoint.canAcceptBytes = true;
    endpoint.readable = false;
    return true;
}

void AsyncUdpSocket::suspendSendSource(Endpoint& endpoint) {
    if (endpoint.sendSource && !endpoint.sendSourceSuspended) {
        endpoint.sendSource->suspend();
        endpoint.sendSourceSuspended = true;
    }
}

void AsyncUdpSocket::resumeSendSource(Endpoint& endpoint) {
    if (endpoint.sendSource && endpoint.sendSourceSuspended) {
        endpoint.sendSource->resume();
        endpoint.sendSourceSuspended = false;
    }
}

void AsyncUdpSocket::suspendReceiveSource(Endpoint& endpoint) {
    if (endpoint.receiveSource && !endpoint.receiveSourceSuspended) {
        endpoint.receiveSource->suspend();
        endpoint.receiveSourceSuspended = true;
    }
}

void AsyncUdpSocket::resumeReceiveSource(Endpoint& endpoint) {
    if (endpoint.receiveSource && endpoint.receiveSourceSuspended) {
        endpoint.receiveSource->resume();
        endpoint.receiveSourceSuspended = false;
    }
}

void AsyncUdpSocket::closeSocket(Endpoint& endpoint) {
    if (endpoint.fd == -1) {
        return;
    }
    endpoint.sendSource->cancel();
    endpoint.receiveSource->cancel();
    endpoint.sendSource.reset();
    endpoint.receiveSource.reset();
    endpoint.fd = -1;
    endpoint.sendSourceSuspended = false;
    endpoint.receiveSourceSuspended = false;
    endpoint.canAcceptBytes = false;
    endpoint.readable = false;
    endpoint.cachedLocalAddress.reset();
    endpoint.cachedLocalHost.reset();
    endpoint.cachedLocalPort = 0;
}

void AsyncUdpSocket::closeSockets() {
    closeSocket(socket4_);
    closeSocket(socket6_);
    flags_ &= ~kSocketsCreated;
}

bool AsyncUdpSocket::preBind(Error* error) const {
    if (!preOp(error)) {
        return false;
    }
    std::optional<Error> failure;
    if (flags_ & kBound) {
        failure = badConfigError("Cannot bind a socket more than once.");
    } else if (flags_ & (kConnecting | kConnected)) {
        failure =
            badConfigError("Cannot bind after connecting. If needed, bind first, then connect.");
    } else if ((config_ & (kIPv4Disabled | kIPv6Disabled)) == (kIPv4Disabled | kIPv6Disabled)) {
        failure = badConfigError(
            "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    }
    if (failure && error) {
        *error = std::move(*failure);
    }
    return !failure;
}

bool AsyncUdpSocket::bindToPort(std::uint16_t port, Error* error) {
    bool result = false;
    runSync([&] { result = doBind(port, std::nullopt, error); });
    return result;
}

bool AsyncUdpSocket::bindToPort(std::uint16_t port, const std::string& interface, Error* error) {
    bool result = false;
    runSync([&] { result = doBind(port, interface, error); });
    return result;
}

bool AsyncUdpSocket::doBind(std::uint16_t port, const std::optional<std::string>& interface,
                            Error* error) {
    if (!preBind(error)) {
        return false;
    }
    std::optional<Data> address4;
    std::optional<Data> address6;
    interfaceAddresses(interface, port, &address4, &address6);
    std::optional<Error> failure;
    bool disabled4 = config_ & kIPv4Disabled;
    bool disabled6 = config_ & kIPv6Disabled;
    if (!address4 && !address6) {
        failure = badParamError(
            "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");
    } else if (!address6 && disabled4) {
        failure =
            badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
    } else if (!address4 && disabled6) {
        failure =
            badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
    }
    if (failure) {
        if (error) {
            *error = std::move(*failure);
        }
        return false;
    }
    return bindSockets(disabled4 ? std::nullopt : address4, disabled6 ? std::nullopt : address6,
                       error);
}

bool AsyncUdpSocket::bindToAddress(const Data& address, Error* error) {
    bool result = false;
    runSync([&] {
        if (!preBind(error)) {
            return;
        }
        int family = addressFamily(address);
        std::optional<Error> failure;
        if (family == 0) {
            failure = badParamError("A valid IPv4 or IPv6 address was not given");
        } else if (family == AF_INET && (config_ & kIPv4Disabled)) {
            failure = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
        } else if (family == AF_INET6 && (config_ & kIPv6Disabled)) {
            failure = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
        }
        if (failure) {
            if (error) {
                *error = std::move(*failure);
            }
            return;
        }
        result = family == AF_INET ? bindSockets(address, std::nullopt, error)
                                   : bindSockets(std::nullopt, address, error);
    });
    return result;
}

bool AsyncUdpSocket::bindSockets(const std::optional<Data>& address4,
                                 const std::optional<Data>& address6, Error* error) {
    if (!(flags_ & kSocketsCreated) &&
        !createSockets(address4.has_value(), address6.has_value(), error)) {
        return false;
    }
    auto bindOne = [&](const Endpoint& socket, const Data& address) {
        return ::bind(socket.fd, reinterpret_cast<const sockaddr*>(address.data()),
                      addressLength(address)) == 0;
    };
    if ((address4 && !bindOne(socket4_, *address4)) ||
        (address6 && !bindOne(socket6_, *address6))) {
        int code = errno;
        closeSockets();
        if (error) {
            *error = errnoError(code, "Error in bind() function");
        }
        return false;
    }
    flags_ |= kBound;
    if (!address4) {
        flags_ |= kIPv4Deactivated;
    }
    if (!address6) {
        flags_ |= kIPv6Deactivated;
    }
    return true;
}

bool AsyncUdpSocket::preOpWithSockets(Error* error) {
    return preOp(error) && ((flags_ & kSocketsCreated) || createEnabledSockets(error));
}

bool AsyncUdpSocket::setSocketOption(int fd, int level, int option, const void* value,
                                     socklen_t size, Error* error) {
    if (::setsockopt(fd, level, option, value, size) == 0) {
        return true;
    }
    if (error) {
        *error = errnoError(errno, "Error in setsockopt() function");
    }
    return false;
}

bool AsyncUdpSocket::enableReusePort(bool flag, Error* error) {
    bool result = false;
    runSync([&] {
        if (!preOpWithSockets(error)) {
            return;
        }
        int value = flag ? 1 : 0;
        if (socket4_.fd != -1) {
            if (!setSocketOption(socket4_.fd, SOL_SOCKET, SO_REUSEPORT, &value, sizeof value,
                                 error)) {
                return;  // the IPv6 socket is left as it is
            }
            result = true;
        }
        if (socket6_.fd != -1 &&
            setSocketOption(socket6_.fd, SOL_SOCKET, SO_REUSEPORT, &value, sizeof value, error)) {
            result = true;
        }
    });
    return result;
}

bool AsyncUdpSocket::enableBroadcast(bool flag, Error* error) {
    bool result = false;
    runSync([&] {
        // IPv6 has no broadcast.
        if (!preOpWithSockets(error) || socket4_.fd == -1) {
            return;
        }
        int value = flag ? 1 : 0;
        result =
            setSocketOption(socket4_.fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value, error);
    });
    return result;
}

}  // namespace corvaline
