// The send queue: resolution, destination choice, send filters, sending and its time-out.
#include <sys/socket.h>

#include <cerrno>

#include "platform/dispatch/GlobalQueue.h"
#include "sockets/SocketAddress.h"
#include "sockets/udp/AsyncUdpSocket.h"
#include "sockets/udp/AsyncUdpSocketDestination.h"

namespace corvaline {

void AsyncUdpSocket::sendData(std::shared_ptr<const Data> data, const std::string& host,
                              std::uint16_t port, double timeout, long tag) {
    if (!data || data->empty()) {
        return;
    }
    auto packet = std::make_shared<AsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->hostGiven = true;
    packet->resolveInProgress = true;
    // Resolution starts now, so lookups overlap with the sending of earlier datagrams.
    asyncResolveHost(
        host, port,
        [weak = weak_from_this(), packet](std::vector<Data> addresses, std::optional<Error> error) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            packet->resolveInProgress = false;
            packet->resolvedAddresses = std::move(addresses);
            packet->resolveError = std::move(error);
            if (self->currentDatagram() == packet.get()) {
                self->doPreSend();
            }
        });
    queuePacket(std::move(packet));
}

void AsyncUdpSocket::sendData(std::shared_ptr<const Data> data, const Data& address, double timeout,
                              long tag) {
    if (!data || data->empty()) {
        return;
    }
    auto packet = std::make_shared<AsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->addressGiven = true;
    packet->address = address;
    packet->addressFamily = addressFamily(address);
    queuePacket(std::move(packet));
}

void AsyncUdpSocket::sendData(std::shared_ptr<const Data> data, double timeout, long tag) {
    if (!data || data->empty()) {
        return;
    }
    queuePacket(std::make_shared<AsyncUdpSendPacket>(std::move(data), timeout, tag));
}

void AsyncUdpSocket::sendData(std::shared_ptr<const Data> data, long tag) {
    sendData(std::move(data), -1.0, tag);
}

void AsyncUdpSocket::setSendFilter(SendFilter filter, std::shared_ptr<dispatch::SerialQueue> queue,
                                   bool isAsynchronous) {
    if (!filter) {
        queue.reset();
    }
    runAsync([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous] {
        sendFilterBlock_ = filter;
        sendFilterQueue_ = queue;
        sendFilterAsync_ = isAsynchronous;
    });
}

void AsyncUdpSocket::queuePacket(Packet packet) {
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        self->sendQueue_.push_back(packet);
        self->maybeDequeueSend();
    });
}

void AsyncUdpSocket::asyncResolveHost(
    const std::string& host, std::uint16_t port,
    std::function<void(std::vector<Data>, std::optional<Error>)> completion) {
    if (host.empty()) {
        socketQueue_->async([completion = std::move(completion)] {
            completion({},
                       badParamError(
                           "The host param is nil. Should be domain name or IP address string."));
        });
        return;
    }
    dispatch::globalQueue()->async(
        [host, port, queue = socketQueue_, completion = std::move(completion)] {
            std::optional<Error> error;
            std::vector<Data> addresses = lookupHost(host, port, SOCK_DGRAM, &error);
            queue->async(
                [completion, addresses = std::move(addresses), error = std::move(error)]() mutable {
                    completion(std::move(addresses), std::move(error));
                });
        });
}

int AsyncUdpSocket::getAddress(Data* address, Error* error,
                               const std::vector<Data>& addresses) const {
    AsyncUdpDestinationRules rules;
    rules.ipv4Disabled = config_ & kIPv4Disabled;
    rules.ipv6Disabled = config_ & kIPv6Disabled;
    rules.ipv4Deactivated = flags_ & kIPv4Deactivated;
    rules.ipv6Deactivated = flags_ & kIPv6Deactivated;
    rules.ipv4SocketExists = socket4_.fd != -1;
    rules.ipv6SocketExists = socket6_.fd != -1;
    rules.preferIPv4 = config_ & kPreferIPv4;
    rules.preferIPv6 = config_ & kPreferIPv6;
    AsyncUdpDestination destination = chooseUdpDestination(addresses, rules);
    if (destination.error) {
        *error = std::move(*destination.error);
    } else {
        *address = std::move(destination.address);
    }
    return destination.family;
}

AsyncUdpSendPacket* AsyncUdpSocket::currentDatagram() const {
    if (!currentSend_) {
        return nullptr;
    }
    auto* packet = std::get_if<std::shared_ptr<AsyncUdpSendPacket>>(&*currentSend_);
    return packet ? packet->get() : nullptr;
}

AsyncUdpSpecialPacket* AsyncUdpSocket::currentConnect() const {
    if (!currentSend_) {
        return nullptr;
    }
    auto* packet = std::get_if<std::shared_ptr<AsyncUdpSpecialPacket>>(&*currentSend_);
    return packet ? packet->get() : nullptr;
}

void AsyncUdpSocket::maybeDequeueSend() {
    // Finished sends serve the queue again; a loop instead of recursion keeps a long queue of
    // datagrams that go out at once from growing the stack.
    if (dequeueing_) {
        dequeueAgain_ = true;
        return;
    }
    dequeueing_ = true;
    do {
        dequeueAgain_ = false;
        dequeueSendOnce();
    } while (dequeueAgain_);
    dequeueing_ = false;
}

void AsyncUdpSocket::dequeueSendOnce() {
    if (currentSend_) {
        return;
    }
    if (!sendQueue_.empty() && !(flags_ & kSocketsCreated)) {
        Error error;
        if (!createEnabledSockets(&error)) {
            closeWithError(std::move(error));
            return;
        }
    }
    while (!sendQueue_.empty()) {
        currentSend_ = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        if (currentConnect()) {
            maybeConnect();
            return;
        }
        AsyncUdpSendPacket* packet = currentDatagram();
        if (packet->resolveError) {
            long tag = packet->tag;
            notify(Callback::DidNotSendData,
                   [tag, error = *packet->resolveError](Delegate& delegate,
                                                        const AsyncUdpSocketPtr& socket) {
                       delegate.udpSocketDidNotSendDataWithTag(socket, tag, error);
                   });
            currentSend_.reset();
            continue;
        }
        doPreSend();
        return;
    }
    if (flags_ & kCloseAfterSends) {
        closeWithError(std::nullopt);
    }
}

void AsyncUdpSocket::doPreSend() {
    AsyncUdpSendPacket* packet = currentDatagram();
    if (!(flags_ & kConnected)) {
        if (packet->resolveInProgress) {
            for (Endpoint* socket : {&socket4_, &socket6_}) {
                if (socket->canAcceptBytes) {
                    suspendSendSource(*socket);
                }
            }
            return;  // the resolver's completion comes back here
        }
        if (packet->resolveError) {
            failCurrentSend(*packet->resolveError);
            return;
        }
        if (!packet->hostGiven && !packet->addressGiven) {
            failCurrentSend(badConfigError(
                "You must specify destination of packet for a non-connected socket"));
            return;
        }
        // An address handed over goes through the same choice, so a family that cannot be
        // used refuses this datagram alone instead of failing the whole socket.
        std::vector<Data> candidates =
            packet->addressGiven ? std::vector<Data>{packet->address} : packet->resolvedAddresses;
        Error error;
        Data address;
        int family = getAddress(&address, &error, candidates);
        if (family == 0) {
            failCurrentSend(std::move(error));
            return;
        }
        packet->address = std::move(address);
        packet->addressFamily = family;
    } else {
        if (packet->hostGiven || packet->addressGiven) {
            failCurrentSend(
                badConfigError("Cannot specify destination of packet for connected socket"));
            return;
        }
        maybeUpdateCachedConnectedAddressInfo();
        packet->address = cachedConnectedAddress_.value_or(Data{});
        packet->addressFamily = cachedConnectedFamily_;
    }

    if (!sendFilterBlock_ || !sendFilterQueue_) {
        doSend();
        return;
    }
    if (!sendFilterAsync_) {
        bool allowed = false;
        sendFilterQueue_->sync(
            [&] { allowed = sendFilterBlock_(*packet->buffer, packet->address, packet->tag); });
        allowed ? doSend() : completeCurrentSend();
        return;
    }
    packet->filterInProgress = true;
    auto shared = std::get<std::shared_ptr<AsyncUdpSendPacket>>(*currentSend_);
    sendFilterQueue_->async([filter = sendFilterBlock_, buffer = packet->buffer,
                             address = packet->address, tag = packet->tag, queue = socketQueue_,
                             weak = weak_from_this(), shared] {
        bool allowed = filter(*buffer, address, tag);
        queue->async([weak, shared, allowed] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            shared->filterInProgress = false;
            if (self->currentDatagram() != shared.get()) {
                return;  // closed meanwhile
            }
            allowed ? self->doSend() : self->completeCurrentSend();
        });
    });
}

void AsyncUdpSocket::failCurrentSend(Error error) {
    long tag = currentDatagram()->tag;
    notify(Callback::DidNotSendData,
           [tag, error = std::move(error)](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
               delegate.udpSocketDidNotSendDataWithTag(socket, tag, error);
           });
    endCurrentSend();
    maybeDequeueSend();
}

void AsyncUdpSocket::completeCurrentSend() {
    long tag = currentDatagram()->tag;
    notify(Callback::DidSendData, [tag](Delegate& delegate, const AsyncUdpSocketPtr& socket) {
        delegate.udpSocketDidSendDataWithTag(socket, tag);
    });
    endCurrentSend();
    maybeDequeueSend();
}

void AsyncUdpSocket::doSend() {
    AsyncUdpSendPacket* packet = currentDatagram();
    Endpoint& socket = endpoint(packet->addressFamily);
    if (socket.fd == -1) {
        failCurrentSend(noUsableSocketError());  // its socket closed while the filter ran
        return;
    }
    const Data& data = *packet->buffer;
    ssize_t result = (flags_ & kConnected)
                         ? ::send(socket.fd, data.data(), data.size(), 0)
                         : ::sendto(socket.fd, data.data(), data.size(), 0,
                                    reinterpret_cast<const sockaddr*>(packet->address.data()),
                                    static_cast<socklen_t>(packet->address.size()));
    int code = errno;
    flags_ |= kBound;  // the system binds an unbound socket on its first send
    if (result >= 0) {
        completeCurrentSend();
        return;
    }
    if (code == EAGAIN || code == EWOULDBLOCK) {
        // Try again once the socket can take it; the time-out keeps running meanwhile.
        socket.canAcceptBytes = false;
        resumeSendSource(socket);
        if (!sendTimer_ && packet->timeout >= 0) {
            setupSendTimerWithTimeout(packet->timeout);
        }
        return;
    }
    closeWithError(errnoError(code, "Error in send() function."));
}

void AsyncUdpSocket::sendSourceFired(Endpoint& socket) {
    socket.canAcceptBytes = true;
    AsyncUdpSendPacket* packet = currentDatagram();
    // Only the socket the current datagram waits for matters: another writable socket would
    // otherwise keep firing.
    if (!packet || packet->resolveInProgress || packet->filterInProgress ||
        packet->addressFamily != socket.family) {
        suspendSendSource(socket);
        return;
    }
    doSend();
}

void AsyncUdpSocket::endCurrentSend() {
    if (sendTimer_) {
        sendTimer_->cancel();
        sendTimer_.reset();
    }
    currentSend_.reset();
}

void AsyncUdpSocket::setupSendTimerWithTimeout(double timeout) {
    sendTimer_ = dispatch::TimerSource::create(socketQueue_);
    sendTimer_->setEventHandler([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->doSendTimeout();
        }
    });
    sendTimer_->setTimer(dispatch::TimerSource::Seconds(timeout));
    sendTimer_->resume();
}

void AsyncUdpSocket::doSendTimeout() {
    if (currentDatagram()) {
        failCurrentSend(sendTimeoutError());
    }
}

}  // namespace corvaline
