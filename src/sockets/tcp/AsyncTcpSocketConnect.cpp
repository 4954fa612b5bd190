// Connecting to a host, an address or a unix-domain path, and the one close routine.
//
// Connects are non-blocking on the socket queue: a blocking connect on another thread would
// act on a descriptor number the socket may have closed and reused meanwhile, and takes
// minutes to fail on Linux.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

#include "platform/dispatch/GlobalQueue.h"
#include "sockets/tcp/AsyncTcpSocket.h"
#include "sockets/tcp/TcpInternal.h"
#include "sockets/tcp/TlsSession.h"

namespace corvaline {
namespace {

using detail::fail;

const sockaddr* asSockaddr(const Data& address) {
    return reinterpret_cast<const sockaddr*>(address.data());
}

// Whether a connect in progress has an outcome: a connecting socket is neither writable nor
// failed.
bool isConnectSettled(int fd) {
    pollfd probe{fd, POLLOUT, 0};
    return ::poll(&probe, 1, 0) == 1;
}

// The outcome of a settled connect: 0 or the error.
int connectOutcome(int fd) {
    int result = 0;
    socklen_t length = sizeof result;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) == -1) {
        result = errno;
    }
    return result;
}

}  // namespace

bool AsyncTcpSocket::connectToHost(const std::string& host, std::uint16_t port, Error* error) {
    return connectToHost(host, port, -1.0, error);
}

bool AsyncTcpSocket::connectToHost(const std::string& host, std::uint16_t port, double timeout,
                                   Error* error) {
    return connectToHost(host, port, std::string(), timeout, error);
}

bool AsyncTcpSocket::connectToHost(const std::string& host, std::uint16_t port,
                                   const std::string& interface, double timeout, Error* error) {
    bool result = false;
    runSync([&] { result = doConnectToHost(host, port, interface, timeout, error); });
    return result;
}

bool AsyncTcpSocket::connectToAddress(const Data& address, Error* error) {
    return connectToAddress(address, std::string(), -1.0, error);
}

bool AsyncTcpSocket::connectToAddress(const Data& address, double timeout, Error* error) {
    return connectToAddress(address, std::string(), timeout, error);
}

bool AsyncTcpSocket::connectToAddress(const Data& address, const std::string& interface,
                                      double timeout, Error* error) {
    bool result = false;
    runSync([&] { result = doConnectToAddress(address, interface, timeout, error); });
    return result;
}

bool AsyncTcpSocket::connectToUrl(const Path& url, double timeout, Error* error) {
    bool result = false;
    runSync([&] { result = doConnectToUrl(url, timeout, error); });
    return result;
}

bool AsyncTcpSocket::preConnectWithInterface(const std::string& interface, Error* error) {
    if (!checkDelegate("connect", error) || !checkIdle("connect", error) || !checkFamilies(error)) {
        return false;
    }
    if (!interface.empty()) {
        std::optional<Data> address4;
        std::optional<Data> address6;
        if (!interfaceAddresses(interface, 0, &address4, &address6, error)) {
            return false;
        }
        connectInterface4_ = std::move(address4);
        connectInterface6_ = std::move(address6);
    }
    emptyQueues();  // leftovers of an earlier connection go without callbacks
    return true;
}

bool AsyncTcpSocket::preConnectWithUrl(const Path& url, Error* error) {
    if (!checkDelegate("connect", error) || !checkIdle("connect", error)) {
        return false;
    }
    std::optional<Data> address = getInterfaceAddressFromUrl(url);
    if (!address) {
        fail(error, badParamError(kUnknownInterfaceText));
        return false;
    }
    connectInterfaceUN_ = std::move(address);
    emptyQueues();
    return true;
}

bool AsyncTcpSocket::doConnectToHost(const std::string& host, std::uint16_t port,
                                     const std::string& interface, double timeout, Error* error) {
    if (host.empty()) {
        fail(error, badParamError("Invalid host parameter (nil or \"\"). Should be a domain name "
                                  "or IP address string."));
        return false;
    }
    if (!preConnectWithInterface(interface, error)) {
        return false;
    }
    flags_ |= kSocketStarted;
    long index = stateIndex_;
    dispatch::globalQueue()->async([weak = weak_from_this(), host, port, index] {
        std::optional<Error> failure;
        std::vector<Data> addresses = lookupHost(host, port, &failure);
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (failure) {
            self->socketQueue_->async([weak, index, failure = *failure] {
                if (auto socket = weak.lock()) {
                    socket->lookupDidFail(index, failure);
                }
            });
            return;
        }
        std::optional<Data> address4;
        std::optional<Data> address6;
        for (const Data& address : addresses) {
            if (!address4 && isIPv4Address(address)) {
                address4 = address;
            } else if (!address6 && isIPv6Address(address)) {
                address6 = address;
            }
        }
        self->socketQueue_->async([weak, index, address4, address6] {
            if (auto socket = weak.lock()) {
                socket->lookupDidSucceed(index, address4, address6);
            }
        });
    });
    startConnectTimeout(timeout);
    return true;
}

void AsyncTcpSocket::lookupDidFail(long index, Error error) {
    if (index != stateIndex_) {
        return;
    }
    endConnectTimeout();
    closeWithError(std::move(error));
}

void AsyncTcpSocket::lookupDidSucceed(long index, std::optional<Data> address4,
                                      std::optional<Data> address6) {
    if (index != stateIndex_) {
        return;
    }
    bool ipv4Disabled = (config_ & kIPv4Disabled) != 0;
    bool ipv6Disabled = (config_ & kIPv6Disabled) != 0;
    if (ipv4Disabled && !address6) {
        closeWithError(otherError("IPv4 has been disabled and DNS lookup found no IPv6 address."));
        return;
    }
    if (ipv6Disabled && !address4) {
        closeWithError(otherError("IPv6 has been disabled and DNS lookup found no IPv4 address."));
        return;
    }
    if (ipv4Disabled) {
        address4.reset();
    }
    if (ipv6Disabled) {
        address6.reset();
    }
    Error error;
    if (!connectWithAddress4(std::move(address4), std::move(address6), &error)) {
        closeWithError(std::move(error));
    }
}

bool AsyncTcpSocket::doConnectToAddress(const Data& address, const std::string& interface,
                                        double timeout, Error* error) {
    bool ipv4 = isIPv4Address(address) && address.size() == sizeof(sockaddr_in);
    bool ipv6 = isIPv6Address(address) && address.size() == sizeof(sockaddr_in6);
    if (!ipv4 && !ipv6) {
        fail(error, badParamError("A valid IPv4 or IPv6 address was not given"));
        return false;
    }
    if (ipv4 && (config_ & kIPv4Disabled)) {
        fail(error, badParamError("IPv4 has been disabled and an IPv4 address was passed."));
        return false;
    }
    if (ipv6 && (config_ & kIPv6Disabled)) {
        fail(error, badParamError("IPv6 has been disabled and an IPv6 address was passed."));
        return false;
    }
    if (!preConnectWithInterface(interface, error)) {
        return false;
    }
    std::optional<Data> address4 = ipv4 ? std::optional(address) : std::nullopt;
    std::optional<Data> address6 = ipv6 ? std::optional(address) : std::nullopt;
    if (!connectWithAddress4(std::move(address4), std::move(address6), error)) {
        return false;
    }
    flags_ |= kSocketStarted;
    startConnectTimeout(timeout);
    return true;
}

bool AsyncTcpSocket::doConnectToUrl(const Path& url, double timeout, Error* error) {
    if (url.empty()) {
        fail(error, badParamError("Invalid unix domain socket url."));
        return false;
    }
    if (!preConnectWithUrl(url, error)) {
        return false;
    }
    // A refusal leaves the socket idle and says why, like every other set-up failure.
    if (!connectWithAddressUN(*connectInterfaceUN_, error)) {
        return false;
    }
    flags_ |= kSocketStarted;
    startConnectTimeout(timeout);
    return true;
}

int AsyncTcpSocket::createSocket(int family, const std::optional<Data>& connectInterface,
                                 Error* error) {
    // Non-blocking from the start: the connect must not wait, and the connection keeps it.
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd == -1) {
        fail(error, errorWithErrno(errno, "Error in socket() function"));
        return -1;
    }
    if (connectInterface) {
        if (portFromAddress(*connectInterface) != 0) {
            int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        if (::bind(fd, asSockaddr(*connectInterface),
                   static_cast<socklen_t>(connectInterface->size())) == -1) {
            fail(error, errorWithErrno(errno, "Error in bind() function"));
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

bool AsyncTcpSocket::connectWithAddress4(std::optional<Data> address4, std::optional<Data> address6,
                                         Error* error) {
    Error lastFailure;
    if (address4) {
        socket4FD_ = createSocket(AF_INET, connectInterface4_, &lastFailure);
    }
    if (address6) {
        socket6FD_ = createSocket(AF_INET6, connectInterface6_, &lastFailure);
    }
    if (socket4FD_ == -1 && socket6FD_ == -1) {
        fail(error, std::move(lastFailure));
        return false;
    }
    bool primaryIs6 = ((config_ & kPreferIPv6) && socket6FD_ != -1) || socket4FD_ == -1;
    const Data& primary = primaryIs6 ? *address6 : *address4;
    const std::optional<Data>& alternate = primaryIs6 ? address4 : address6;
    connectSocket(primaryIs6 ? socket6FD_ : socket4FD_, primary, stateIndex_);
    if (alternate) {
        // The other family gets its turn after the preferred one's head start.
        alternateTimer_ = dispatch::TimerSource::create(socketQueue_);
        alternateTimer_->setEventHandler([weak = weak_from_this(), alternateIs6 = !primaryIs6,
                                          address = *alternate, index = stateIndex_] {
            auto self = weak.lock();
            if (!self || index != self->stateIndex_) {
                return;
            }
            self->alternateTimer_->cancel();
            self->alternateTimer_.reset();
            int fd = alternateIs6 ? self->socket6FD_ : self->socket4FD_;
            if (fd != -1) {
                self->connectSocket(fd, address, index);
            }
        });
        alternateTimer_->setTimer(dispatch::TimerSource::Seconds(alternateAddressDelay_));
        alternateTimer_->resume();
    }
    return true;
}

void AsyncTcpSocket::connectSocket(int fd, const Data& address, long index) {
    if (flags_ & kSocketConnected) {
        closeSocket(fd);
        return;
    }
    auto finishLater = [this, fd, index](int result) {
        socketQueue_->async([weak = weak_from_this(), fd, index, result] {
            if (auto self = weak.lock()) {
                self->connectDidFinish(fd, index, result);
            }
        });
    };
    if (::connect(fd, asSockaddr(address), static_cast<socklen_t>(address.size())) == 0) {
        finishLater(0);
        return;
    }
    if (errno != EINPROGRESS) {
        finishLater(errno);
        return;
    }
    // On a local link the peer's answer is mostly handled before connect returns: then the
    // outcome is there at once, and watching for it would cost a registration and a wake-up.
    if (isConnectSettled(fd)) {
        finishLater(connectOutcome(fd));
        return;
    }
    // Writable once the connect has an outcome; SO_ERROR tells which.
    auto watch =
        dispatch::ReadinessSource::create(dispatch::ReadinessSource::Kind::Write, fd, socketQueue_);
    if (!watch) {
        finishLater(errno);
        return;
    }
    watch->setEventHandler([weak = weak_from_this(), fd, index](std::size_t) {
        if (auto self = weak.lock()) {
            self->connectDidFinish(fd, index, connectOutcome(fd));
        }
    });
    (fd == socket4FD_ ? connect4Source_ : connect6Source_) = watch;
    watch->resume();
}

void AsyncTcpSocket::connectDidFinish(int fd, long index, int result) {
    if (index != stateIndex_ || (fd != socket4FD_ && fd != socket6FD_)) {
        return;
    }
    auto& watch = fd == socket4FD_ ? connect4Source_ : connect6Source_;
    if (flags_ & kSocketConnected) {
        closeSocket(fd);  // the other family won
        return;
    }
    if (result != 0) {
        closeSocket(fd);
        if (socket4FD_ == -1 && socket6FD_ == -1) {
            didNotConnect(index, errorWithErrno(result, "Error in connect() function"));
        }
        return;  // otherwise the other family is still pending
    }
    closeUnusedSocket(fd);
    didConnect(index);
    // The watch lets go only now that the connection's sources use the descriptor too: it
    // stays in the reactor, where a registration given up and taken again would cost calls.
    if (watch) {
        watch->cancel();
        watch.reset();
    }
}

bool AsyncTcpSocket::connectWithAddressUN(const Data& address, Error* error) {
    socketUN_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socketUN_ == -1) {
        fail(error, errorWithErrno(errno, "Error in socket() function"));
        return false;
    }
    int on = 1;
    ::setsockopt(socketUN_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // A unix-domain connect completes at once or fails at once.
    int result =
        ::connect(socketUN_, asSockaddr(address), static_cast<socklen_t>(address.size())) == 0
            ? 0
            : errno;
    socketQueue_->async([weak = weak_from_this(), index = stateIndex_, result] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (result == 0) {
            self->didConnect(index);
        } else {
            self->didNotConnect(index, errorWithErrno(result, "Error in connect() function"));
        }
    });
    return true;
}

void AsyncTcpSocket::closeSocket(int fd) {
    if (fd == -1) {
        return;
    }
    for (auto [field, watch] :
         {std::pair{&socket4FD_, &connect4Source_}, std::pair{&socket6FD_, &connect6Source_}}) {
        if (*field == fd) {
            if (*watch) {
                (*watch)->cancel();
                watch->reset();
            }
            ::close(fd);
            *field = -1;
        }
    }
}

void AsyncTcpSocket::closeUnusedSocket(int fd) {
    if (socket4FD_ != -1 && socket4FD_ != fd) {
        closeSocket(socket4FD_);
    } else if (socket6FD_ != -1 && socket6FD_ != fd) {
        closeSocket(socket6FD_);
    }
}

void AsyncTcpSocket::didConnect(long index, bool makeNonBlocking) {
    if (index != stateIndex_) {
        return;
    }
    flags_ |= kSocketConnected;
    endConnectTimeout();

    int fd = connectedFD();
    if (!peerAddress_ && socketUN_ == -1) {
        peerAddress_ = askPeerAddress(fd);
    }
    std::optional<std::string> host = socket4FD_ != -1 ? connectedHost4() : connectedHost6();
    std::uint16_t port = socket4FD_ != -1 ? connectedPort4() : connectedPort6();
    std::optional<Path> url = connectedUrlFromSocketUN(socketUN_);
    if (host && delegateResponds(Callback::DidConnectToHost)) {
        notify(Callback::DidConnectToHost, [host = *host, port](Delegate& d, auto& socket) {
            d.socketDidConnectToHost(socket, host, port);
        });
    } else if (url && delegateResponds(Callback::DidConnectToUrl)) {
        notify(Callback::DidConnectToUrl,
               [url = *url](Delegate& d, auto& socket) { d.socketDidConnectToUrl(socket, url); });
    }

    if (makeNonBlocking && !detail::setNonBlocking(fd)) {
        closeWithError(otherError("Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }
    setupReadAndWriteSourcesForNewlyConnectedSocket(fd);
    maybeDequeueRead();
    maybeDequeueWrite();
}

void AsyncTcpSocket::didNotConnect(long index, Error error) {
    if (index != stateIndex_) {
        return;
    }
    closeWithError(std::move(error));
}

void AsyncTcpSocket::startConnectTimeout(double timeout) {
    connectTimer_ = startTimer(timeout, &AsyncTcpSocket::doConnectTimeout);
}

void AsyncTcpSocket::endConnectTimeout() {
    stopTimer(connectTimer_);
    stopTimer(alternateTimer_);
    ++stateIndex_;  // late results of this attempt are dropped from now on
    connectInterface4_.reset();
    connectInterface6_.reset();
}

void AsyncTcpSocket::doConnectTimeout() {
    endConnectTimeout();
    closeWithError(connectTimeoutError());
}

// Closing.

void AsyncTcpSocket::disconnect() {
    runSync([this] {
        if (flags_ & kSocketStarted) {
            closeWithError(std::nullopt);
        }
    });
}

void AsyncTcpSocket::disconnectAfterReading() {
    disconnectAfter(kDisconnectAfterReads);
}

void AsyncTcpSocket::disconnectAfterWriting() {
    disconnectAfter(kDisconnectAfterWrites);
}

void AsyncTcpSocket::disconnectAfterReadingAndWriting() {
    disconnectAfter(kDisconnectAfterReads | kDisconnectAfterWrites);
}

void AsyncTcpSocket::disconnectAfter(std::uint32_t flags) {
    // Always a later turn, so requests this thread queued just before are in their queues.
    postAsync([this, flags] {
        if (flags_ & kSocketStarted) {
            flags_ |= kForbidReadsWrites | flags;
            maybeClose();
        }
    });
}

void AsyncTcpSocket::closeWithError(std::optional<Error> error) {
    endConnectTimeout();
    endCurrentRead();
    endCurrentWrite();
    emptyQueues();
    preBuffer_.reset();
    closeTLS();
    stopTimer(acceptRestTimer_);

    // Cancelled sources have let go of the descriptors' reactor registrations, so the
    // descriptors close here and now, also when the socket is being destroyed.
    for (auto* source : {&accept4Source_, &accept6Source_, &acceptUNSource_, &connect4Source_,
                         &connect6Source_, &readSource_, &writeSource_}) {
        if (*source) {
            (*source)->cancel();
            source->reset();
        }
    }
    for (int fd : {socket4FD_, socket6FD_, socketUN_}) {
        if (fd != -1) {
            ::close(fd);
        }
    }
    socket4FD_ = socket6FD_ = socketUN_ = -1;
    if (socketUrl_) {
        ::unlink(socketUrl_->c_str());
        socketUrl_.reset();
    }

    socketFDBytesAvailable_ = 0;
    peerAddress_.reset();
    bool wasStarted = (flags_ & kSocketStarted) != 0;
    flags_ &= kSocketDeallocating;
    if (wasStarted) {
        notify(Callback::DidDisconnect, [error = std::move(error)](Delegate& d, auto& socket) {
            d.socketDidDisconnect(socket, error);
        });
    }
}

void AsyncTcpSocket::maybeClose() {
    bool readsDone = readQueue_.empty() && !currentRead_ && !(flags_ & kStartingReadTLS);
    bool writesDone = writeQueue_.empty() && !currentWrite_ && !(flags_ & kStartingWriteTLS);
    bool afterReads = (flags_ & kDisconnectAfterReads) != 0;
    bool afterWrites = (flags_ & kDisconnectAfterWrites) != 0;
    if ((afterReads && readsDone && (!afterWrites || writesDone)) ||
        (!afterReads && afterWrites && writesDone)) {
        closeWithError(std::nullopt);
    }
}

void AsyncTcpSocket::emptyQueues() {
    readQueue_.clear();
    writeQueue_.clear();
}

}  // namespace corvaline
