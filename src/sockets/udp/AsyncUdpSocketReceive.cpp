// Receiving in either mode with receive filters; closing and closing after the sends.
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {
namespace {

// Datagrams read in one turn of the socket queue before it lets other work in.
constexpr int kDatagramsPerTurn = 64;

}  // namespace

bool AsyncUdpSocket::receiveOnce(Error* error) {
    bool result = false;
    runSync([&] { result = startReceiving(kReceiveOnce, error); });
    return result;
}

bool AsyncUdpSocket::beginReceiving(Error* error) {
    bool result = false;
    runSync([&] { result = startReceiving(kReceiveContinuous, error); });
    return result;
}

bool AsyncUdpSocket::startReceiving(Flag mode, Error* error) {
    if (flags_ & mode) {
        return true;
    }
    if (!(flags_ & kSocketsCreated)) {
        if (error) {
            *error = badConfigError(
                "Must bind socket before you can receive data. You can do this explicitly via "
                "bind, or implicitly via connect or by sending data.");
        }
        return false;
    }
    flags_ = (flags_ & ~(kReceiveOnce | kReceiveContinuous)) | mode;
    socketQueue_->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->doReceive();
        }
    });
    return true;
}

void AsyncUdpSocket::pauseReceiving() {
    runAsync([this] {
        flags_ &= ~(kReceiveOnce | kReceiveContinuous);
        for (Endpoint* socket : {&socket4_, &socket6_}) {
            if (socket->readable) {
                suspendReceiveSource(*socket);
            }
        }
    });
}

void AsyncUdpSocket::setReceiveFilter(ReceiveFilter filter,
                                      std::shared_ptr<dispatch::SerialQueue> queue,
                                      bool isAsynchronous) {
    if (!filter) {
        queue.reset();
    }
    runAsync([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous] {
        receiveFilterBlock_ = filter;
        receiveFilterQueue_ = queue;
        receiveFilterAsync_ = isAsynchronous;
    });
}

void AsyncUdpSocket::receiveSourceFired(Endpoint& socket) {
    // The byte count a datagram socket reports is that of the next datagram only, and 0 for an
    // empty one: it says nothing about the end of the stream, which UDP does not have.
    socket.readable = true;
    doReceive();
}

void AsyncUdpSocket::doReceive() {
    for (int turn = 0;; ++turn) {
        bool receiving = flags_ & (kReceiveOnce | kReceiveContinuous);
        if (!receiving || ((flags_ & kReceiveOnce) && pendingFilterOperations_ > 0) ||
            backlog_->pauseIfFull()) {
            for (Endpoint* socket : {&socket4_, &socket6_}) {
                if (socket->readable) {
                    suspendReceiveSource(*socket);
                }
            }
            return;
        }
        if (!socket4_.readable && !socket6_.readable) {
            resumeReceiveSource(socket4_);
            resumeReceiveSource(socket6_);
            return;  // the next read-readiness event brings the step back
        }
        if (turn == kDatagramsPerTurn) {
            socketQueue_->async([weak = weak_from_this()] {
                if (auto self = weak.lock()) {
                    self->doReceive();
                }
            });
            return;
        }
        if (!receiveOneDatagram()) {
            return;
        }
    }
}

bool AsyncUdpSocket::receiveOneDatagram() {
    Endpoint* socket = nullptr;
    if (flags_ & kConnected) {
        socket = socket4_.fd != -1 ? &socket4_ : &socket6_;
    } else if (socket4_.readable != socket6_.readable) {
        socket = socket4_.readable ? &socket4_ : &socket6_;
    } else {
        bool readIPv4 = flags_ & kReceiveAlternation;
        flags_ ^= kReceiveAlternation;
        socket = readIPv4 ? &socket4_ : &socket6_;
    }

    std::size_t size = socket->family == AF_INET ? max4ReceiveSize_ : max6ReceiveSize_;
    receiveBuffer_.resize(size);
    sockaddr_in6 source{};  // room for either family
    socklen_t sourceLength = socket->family == AF_INET ? sizeof(sockaddr_in) : sizeof source;
    // A longer datagram is cut to the buffer size.
    ssize_t result = ::recvfrom(socket->fd, receiveBuffer_.data(), size, 0,
                                reinterpret_cast<sockaddr*>(&source), &sourceLength);
    int code = errno;
    if (result < 0) {
        if (code == EAGAIN || code == EWOULDBLOCK) {
            socket->readable = false;
            resumeReceiveSource(*socket);
            return true;
        }
        closeWithError(errnoError(code, "Error in recvfrom() function"));
        return false;
    }
    if (result == 0) {
        return true;  // an empty datagram: dropped, and receiving goes on
    }
    Data data(receiveBuffer_.begin(), receiveBuffer_.begin() + result);
    const auto* sourceBytes = reinterpret_cast<const std::uint8_t*>(&source);
    Data address(sourceBytes, sourceBytes + std::min<std::size_t>(sourceLength, sizeof source));
    if ((flags_ & kConnected) && !isConnectedToAddress(address)) {
        return true;
    }
    auto hold = backlog_->hold(data.size(), [weak = weak_from_this(), queue = socketQueue_] {
        queue->async([weak] {
            if (auto self = weak.lock()) {
                self->doReceive();
            }
        });
    });

    if (!receiveFilterBlock_ || !receiveFilterQueue_) {
        deliver(std::move(data), std::move(address), {}, std::move(hold));
        return true;
    }
    if (!receiveFilterAsync_) {
        std::any context;
        bool allowed = false;
        receiveFilterQueue_->sync([&] { allowed = receiveFilterBlock_(data, address, &context); });
        if (allowed) {
            deliver(std::move(data), std::move(address), std::move(context), std::move(hold));
        }
        return true;
    }
    ++pendingFilterOperations_;
    receiveFilterQueue_->async([filter = receiveFilterBlock_, data = std::move(data),
                                address = std::move(address), queue = socketQueue_,
                                weak = weak_from_this(), closeCount = closeCount_,
                                hold = std::move(hold)]() mutable {
        std::any context;
        bool allowed = filter(data, address, &context);
        queue->async([weak, closeCount, allowed, data = std::move(data),
                      address = std::move(address), context = std::move(context),
                      hold = std::move(hold)]() mutable {
            if (auto self = weak.lock()) {
                self->filterDidAnswer(closeCount, allowed, std::move(data), std::move(address),
                                      std::move(context), std::move(hold));
            }
        });
    });
    return true;
}

bool AsyncUdpSocket::isConnectedToAddress(const Data& address) const {
    int family = addressFamily(address);
    if (family == 0 || family != cachedConnectedFamily_ || !cachedConnectedAddress_ ||
        addressFamily(*cachedConnectedAddress_) != family) {
        return false;
    }
    std::string host;
    std::string peerHost;
    std::uint16_t port = 0;
    std::uint16_t peerPort = 0;
    getHost(&host, &port, nullptr, address);
    getHost(&peerHost, &peerPort, nullptr, *cachedConnectedAddress_);
    return port == peerPort && host == peerHost;
}

void AsyncUdpSocket::deliver(Data data, Data address, std::any context,
                             std::shared_ptr<void> hold) {
    notify(Callback::DidReceiveData,
           [data = std::move(data), address = std::move(address), context = std::move(context),
            hold = std::move(hold)](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
               delegate.udpSocketDidReceiveData(socket, data, address, context);
           });
    flags_ &= ~kReceiveOnce;
}

void AsyncUdpSocket::filterDidAnswer(std::uint64_t closeCount, bool accepted, Data data,
                                     Data address, std::any context, std::shared_ptr<void> hold) {
    if (closeCount != closeCount_) {
        return;  // nothing reaches the delegate after its close report
    }
    --pendingFilterOperations_;
    if (accepted) {
        deliver(std::move(data), std::move(address), std::move(context), std::move(hold));
    } else if ((flags_ & kReceiveOnce) && pendingFilterOperations_ == 0) {
        doReceive();
    }
}

void AsyncUdpSocket::close() {
    runSync([this] { closeWithError(std::nullopt); });
}

void AsyncUdpSocket::closeAfterSending() {
    runAsync([this] {
        flags_ |= kCloseAfterSends;
        if (!currentSend_ && sendQueue_.empty()) {
            closeWithError(std::nullopt);
        }
    });
}

void AsyncUdpSocket::closeWithError(std::optional<Error> error) {
    if (currentSend_) {
        endCurrentSend();
    }
    sendQueue_.clear();
    bool hadSockets = flags_ & kSocketsCreated;
    closeSockets();
    flags_ = 0;
    ++closeCount_;
    pendingFilterOperations_ = 0;
    receiveBuffer_ = Data();
    cachedConnectedAddress_.reset();
    cachedConnectedHost_.reset();
    cachedConnectedPort_ = 0;
    cachedConnectedFamily_ = 0;
    // A failure to make the sockets for a queued datagram is reported too, or the datagrams
    // it drops would vanish unexplained.
    if (hadSockets || error) {
        notify(Callback::DidClose,
               [error = std::move(error)](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
                   delegate.udpSocketDidClose(socket, error);
               });
    }
}

}  // namespace corvaline
