// Listening on a port, an interface or a unix-domain path, and accepting connections.
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"

namespace corvaline {
namespace {

constexpr int kListenBacklog = 1024;
// How long accepting rests when the process or system has no descriptor or memory left for a
// new connection. The listener stays readable meanwhile: retrying at once would spin.
constexpr double kAcceptRestSeconds = 0.25;

bool isOutOfResources(int code) {
    return code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM;
}
// Connections taken per readiness event; the level-triggered source comes back for the rest.
constexpr int kAcceptsPerEvent = kListenBacklog;

using detail::bytesOf;
using detail::fail;

std::vector<std::string> splitAtColons(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = text.find(':', start);
        pieces.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) {
            return pieces;
        }
        start = colon + 1;
    }
}

void setPort(Data& address, std::uint16_t port) {
    std::uint16_t networkPort = htons(port);
    std::memcpy(address.data() + offsetof(sockaddr_in, sin_port), &networkPort, sizeof networkPort);
    static_assert(offsetof(sockaddr_in, sin_port) == offsetof(sockaddr_in6, sin6_port));
}

// The first IPv4 and IPv6 addresses of the interface named `name`, or equal to it in text form.
void findInterface(const std::string& name, std::optional<Data>* address4,
                   std::optional<Data>* address6) {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return;
    }
    for (ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        // Entries without an address (tunnels, interfaces that are down) and link-layer
        // entries have nothing to bind to.
        if (!entry->ifa_addr) {
            continue;
        }
        bool sameName = name == entry->ifa_name;
        if (entry->ifa_addr->sa_family == AF_INET && !*address4) {
            sockaddr_in address;
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            char text[INET_ADDRSTRLEN];
            if (sameName ||
                (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) && name == text)) {
                *address4 = bytesOf(address);
            }
        } else if (entry->ifa_addr->sa_family == AF_INET6 && !*address6) {
            sockaddr_in6 address;
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            char text[INET6_ADDRSTRLEN];
            if (sameName ||
                (::inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text) && name == text)) {
                *address6 = bytesOf(address);
            }
        }
    }
    ::freeifaddrs(interfaces);
}

}  // namespace

void AsyncTcpSocket::getInterfaceAddress4(std::optional<Data>* address4,
                                          std::optional<Data>* address6,
                                          const std::string& description, std::uint16_t port) {
    std::vector<std::string> pieces = splitAtColons(description);
    const std::string& interface = pieces.front();
    if (port == 0 && pieces.size() >= 2) {
        long value = std::strtol(pieces[1].c_str(), nullptr, 10);
        if (value >= 1 && value <= 65535) {
            port = static_cast<std::uint16_t>(value);
        }
    }
    std::optional<Data> found4;
    std::optional<Data> found6;
    if (interface.empty() || interface == "localhost" || interface == "loopback") {
        bool loopback = !interface.empty();
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
        sockaddr_in6 any6{};
        any6.sin6_family = AF_INET6;
        any6.sin6_addr = loopback ? in6addr_loopback : in6addr_any;
        found4 = bytesOf(any4);
        found6 = bytesOf(any6);
    } else {
        findInterface(interface, &found4, &found6);
    }
    for (std::optional<Data>* found : {&found4, &found6}) {
        if (*found) {
            setPort(**found, port);
        }
    }
    if (address4) {
        *address4 = std::move(found4);
    }
    if (address6) {
        *address6 = std::move(found6);
    }
}

std::optional<Data> AsyncTcpSocket::getInterfaceAddressFromUrl(const Path& url) {
    const std::string& path = url.native();
    if (path.empty()) {
        return std::nullopt;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), std::min(path.size(), sizeof address.sun_path - 1));
    return bytesOf(address);
}

bool AsyncTcpSocket::acceptOnPort(std::uint16_t port, Error* error) {
    return acceptOnInterface({}, port, error);
}

bool AsyncTcpSocket::acceptOnInterface(const std::string& interface, std::uint16_t port,
                                       Error* error) {
    bool result = false;
    runSync([&] { result = doAcceptOnInterface(interface, port, error); });
    return result;
}

bool AsyncTcpSocket::acceptOnUrl(const Path& url, Error* error) {
    bool result = false;
    runSync([&] { result = doAcceptOnUrl(url, error); });
    return result;
}

bool AsyncTcpSocket::doAcceptOnInterface(const std::string& interface, std::uint16_t port,
                                         Error* error) {
    if (!checkDelegate("accept", error) || !checkFamilies(error) || !checkIdle("accept", error)) {
        return false;
    }
    emptyQueues();

    std::optional<Data> address4;
    std::optional<Data> address6;
    if (!interfaceAddresses(interface, port, &address4, &address6, error)) {
        return false;
    }
    bool listen4 = address4 && !(config_ & kIPv4Disabled);
    bool listen6 = address6 && !(config_ & kIPv6Disabled);

    if (listen4) {
        socket4FD_ = createListeningSocket(AF_INET, *address4, error);
        if (socket4FD_ == -1) {
            return false;
        }
    }
    if (listen6) {
        if (listen4 && port == 0) {
            // Both families on the one port the system chose for IPv4.
            setPort(*address6, localPort4());
        }
        socket6FD_ = createListeningSocket(AF_INET6, *address6, error);
        if (socket6FD_ == -1) {
            if (socket4FD_ != -1) {
                ::close(socket4FD_);
                socket4FD_ = -1;
            }
            return false;
        }
    }
    if ((listen4 && !watchListeningSocket(socket4FD_, &accept4Source_, error)) ||
        (listen6 && !watchListeningSocket(socket6FD_, &accept6Source_, error))) {
        closeWithError(std::nullopt);  // not started yet: nothing is reported
        return false;
    }
    flags_ |= kSocketStarted;
    return true;
}

bool AsyncTcpSocket::doAcceptOnUrl(const Path& url, Error* error) {
    if (!checkDelegate("accept", error) || !checkIdle("accept", error)) {
        return false;
    }
    emptyQueues();

    std::optional<Data> address = getInterfaceAddressFromUrl(url);
    if (!address) {
        fail(error, badParamError("Invalid unix domain url. Specify a valid file url that does "
                                  "not exist (e.g. \"file:///tmp/socket\")"));
        return false;
    }
    // The path the socket is bound to (long paths are cut). Only a stale socket file is
    // replaced: anything else at the path is the user's and stays.
    Path bound = urlFromSockaddrUN(*reinterpret_cast<const sockaddr_un*>(address->data()));
    struct stat existing;
    if (::lstat(bound.c_str(), &existing) == 0 &&
        (!S_ISSOCK(existing.st_mode) || ::unlink(bound.c_str()) != 0)) {
        fail(error, otherError("Could not remove previous unix domain socket at given url."));
        return false;
    }
    socketUN_ = createListeningSocket(AF_UNIX, *address, error);
    if (socketUN_ == -1) {
        return false;
    }
    socketUrl_ = bound;
    if (!watchListeningSocket(socketUN_, &acceptUNSource_, error)) {
        closeWithError(std::nullopt);
        return false;
    }
    flags_ |= kSocketStarted;
    return true;
}

int AsyncTcpSocket::createListeningSocket(int family, const Data& address, Error* error) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd == -1) {
        fail(error, errorWithErrno(errno, "Error in socket() function"));
        return -1;
    }
    auto giveUp = [&](const char* reason) {
        fail(error, errorWithErrno(errno, reason));
        ::close(fd);
        return -1;
    };
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == -1) {
        return giveUp("Error enabling address reuse (setsockopt)");
    }
    // Linux lets an IPv6 listener take IPv4 connections too, which would keep the IPv4
    // listener of the same port from binding.
    if (family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == -1) {
        return giveUp("Error enabling IPv6-only mode (setsockopt)");
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()),
               static_cast<socklen_t>(address.size())) == -1) {
        return giveUp("Error in bind() function");
    }
    if (::listen(fd, kListenBacklog) == -1) {
        return giveUp("Error in listen() function");
    }
    return fd;
}

bool AsyncTcpSocket::watchListeningSocket(int fd,
                                          std::shared_ptr<dispatch::ReadinessSource>* source,
                                          Error* error) {
    *source =
        dispatch::ReadinessSource::create(dispatch::ReadinessSource::Kind::Read, fd, socketQueue_);
    if (!*source) {
        fail(error, errorWithErrno(errno, "Error watching the socket (epoll_ctl)"));
        return false;
    }
    // Linux reports no count of pending connections: take them until none is left.
    (*source)->setEventHandler([weak = weak_from_this(), fd](std::size_t) {
        if (auto self = weak.lock()) {
            for (int i = 0; i < kAcceptsPerEvent && self->doAccept(fd); ++i) {
            }
        }
    });
    (*source)->resume();
    return true;
}

bool AsyncTcpSocket::doAccept(int fd) {
    int family = fd == socket4FD_ ? AF_INET : fd == socket6FD_ ? AF_INET6 : AF_UNIX;
    sockaddr_storage peer{};
    socklen_t length = family == AF_INET    ? sizeof(sockaddr_in)
                       : family == AF_INET6 ? sizeof(sockaddr_in6)
                                            : sizeof(sockaddr_un);
    int child =
        ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (child == -1) {
        if (isOutOfResources(errno)) {
            restAccepting();
        }
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&peer);
    Data address(bytes, bytes + std::min<std::size_t>(length, sizeof peer));

    auto delegate = delegate_.lock();
    if (!delegateQueue_ || !delegate) {
        // Nobody would hear of the connection or keep it.
        ::close(child);
        return true;
    }
    auto delegateQueue = delegateQueue_;
    delegateQueue->async([delegate = std::move(delegate), delegateQueue,
                          listener = shared_from_this(), address = std::move(address), child,
                          family] {
        std::shared_ptr<dispatch::SerialQueue> childQueue;
        if (delegate->respondsTo(Callback::NewSocketQueueForConnection)) {
            childQueue = delegate->newSocketQueueForConnectionFromAddress(address, listener);
        }
        const bool ownQueue = childQueue == nullptr;
        // A child starts with the default configuration, not a copy of the listener's.
        auto accepted = create(delegate, delegateQueue, std::move(childQueue));
        // Taken over on this thread: a hand-over would only wake a worker for it.
        const auto adopt = [&] {
            accepted->adoptAcceptedSocket(child, family, std::move(address));
        };
        const auto tellDelegate = [&] {
            if (delegate->respondsTo(Callback::DidAcceptNewSocket)) {
                delegate->socketDidAcceptNewSocket(listener, accepted);
            }
        };
        if (ownQueue) {
            // The delegate hears of it in the same turn of the new queue, before a report
            // queued meanwhile (the first bytes, usually) reaches the socket: it sets the socket
            // up first, and the report then runs here too, not on a worker woken for it.
            accepted->socketQueue_->syncAndRunQueued([&] {
                adopt();
                tellDelegate();
            });
        } else {
            // A queue the delegate gave keeps its other work, and its reports, with its workers.
            accepted->socketQueue_->sync(adopt);
            tellDelegate();
        }
        if (accepted.use_count() == 1) {
            // Released inside a block: a child nobody keeps closes itself on its own queue.
            auto& queue = *accepted->socketQueue_;
            queue.async([accepted = std::move(accepted)] {});
        }
    });
    return true;
}

void AsyncTcpSocket::restAccepting() {
    if (acceptRestTimer_) {
        return;
    }
    for (auto& source : {accept4Source_, accept6Source_, acceptUNSource_}) {
        if (source) {
            source->suspend();
        }
    }
    acceptRestTimer_ = startTimer(kAcceptRestSeconds, &AsyncTcpSocket::endAcceptRest);
}

void AsyncTcpSocket::endAcceptRest() {
    stopTimer(acceptRestTimer_);
    for (auto& source : {accept4Source_, accept6Source_, acceptUNSource_}) {
        if (source) {
            source->resume();
        }
    }
}

void AsyncTcpSocket::adoptAcceptedSocket(int fd, int family, Data peerAddress) {
    (family == AF_INET ? socket4FD_ : family == AF_INET6 ? socket6FD_ : socketUN_) = fd;
    flags_ = kSocketStarted | kSocketConnected;
    if (family != AF_UNIX) {
        peerAddress_ = std::move(peerAddress);  // what accept reported: no need to ask again
    }
    setupReadAndWriteSourcesForNewlyConnectedSocket(fd);
}

}  // namespace corvaline
