// The object, its configuration, the queue discipline and the delegate dispatch.
#include "sockets/tcp/AsyncTcpSocket.h"

#include <sys/socket.h>

#include <algorithm>
#include <cmath>

#include "sockets/tcp/TlsSession.h"

namespace corvaline {

AsyncTcpSocketPtr AsyncTcpSocket::create() {
    return create({}, nullptr, nullptr);
}

AsyncTcpSocketPtr AsyncTcpSocket::create(std::shared_ptr<dispatch::SerialQueue> socketQueue) {
    return create({}, nullptr, std::move(socketQueue));
}

AsyncTcpSocketPtr AsyncTcpSocket::create(std::weak_ptr<Delegate> delegate,
                                         std::shared_ptr<dispatch::Queue> delegateQueue) {
    return create(std::move(delegate), std::move(delegateQueue), nullptr);
}

AsyncTcpSocketPtr AsyncTcpSocket::create(std::weak_ptr<Delegate> delegate,
                                         std::shared_ptr<dispatch::Queue> delegateQueue,
                                         std::shared_ptr<dispatch::SerialQueue> socketQueue) {
    return std::make_shared<AsyncTcpSocket>(Private{}, std::move(delegate),
                                            std::move(delegateQueue), std::move(socketQueue));
}

AsyncTcpSocket::AsyncTcpSocket(Private, std::weak_ptr<Delegate> delegate,
                               std::shared_ptr<dispatch::Queue> delegateQueue,
                               std::shared_ptr<dispatch::SerialQueue> socketQueue)
    : delegate_(std::move(delegate)),
      delegateQueue_(std::move(delegateQueue)),
      socketQueue_(socketQueue ? std::move(socketQueue)
                               : dispatch::SerialQueue::create("AsyncTcpSocket")) {
    socketQueue_->setSpecific(&isOnSocketQueueOrTargetQueueKey_, this);
}

AsyncTcpSocket::~AsyncTcpSocket() {
    // No strong reference is left, so the final report names no socket.
    runSync([this] {
        flags_ |= kSocketDeallocating;
        closeWithError(std::nullopt);
    });
    // A queue handed in outlives the socket: the key must not answer for a later object.
    socketQueue_->setSpecific(&isOnSocketQueueOrTargetQueueKey_, nullptr);
}

AsyncTcpSocketPtr AsyncTcpSocket::socketFromConnectedSocketFD(
    int fd, std::shared_ptr<dispatch::SerialQueue> socketQueue, Error* error) {
    return socketFromConnectedSocketFD(fd, {}, nullptr, std::move(socketQueue), error);
}

AsyncTcpSocketPtr AsyncTcpSocket::socketFromConnectedSocketFD(
    int fd, std::weak_ptr<Delegate> delegate, std::shared_ptr<dispatch::Queue> delegateQueue,
    Error* error) {
    return socketFromConnectedSocketFD(fd, std::move(delegate), std::move(delegateQueue), nullptr,
                                       error);
}

AsyncTcpSocketPtr AsyncTcpSocket::socketFromConnectedSocketFD(
    int fd, std::weak_ptr<Delegate> delegate, std::shared_ptr<dispatch::Queue> delegateQueue,
    std::shared_ptr<dispatch::SerialQueue> socketQueue, Error* error) {
    auto socket = create(std::move(delegate), std::move(delegateQueue), std::move(socketQueue));
    bool adopted = false;
    socket->socketQueue_->sync([&] { adopted = socket->doAdopt(fd, error); });
    return adopted ? socket : nullptr;
}

bool AsyncTcpSocket::doAdopt(int fd, Error* error) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (error) {
            *error =
                otherError("Attempt to create socket from socket FD failed. getpeername() failed");
        }
        return false;
    }
    if (address.ss_family == AF_INET) {
        socket4FD_ = fd;
    } else if (address.ss_family == AF_INET6) {
        socket6FD_ = fd;
    } else {
        if (error) {
            *error = otherError(
                "Attempt to create socket from socket FD failed. socket FD is neither IPv4 nor "
                "IPv6");
        }
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    peerAddress_ = Data(bytes, bytes + std::min<std::size_t>(length, sizeof address));
    flags_ = kSocketStarted;
    didConnect(stateIndex_, true);  // the descriptor may still be blocking
    return true;
}

// Queue discipline.

bool AsyncTcpSocket::onSocketQueue() const {
    return dispatch::SerialQueue::getSpecific(&isOnSocketQueueOrTargetQueueKey_) != nullptr;
}

void AsyncTcpSocket::runSync(const std::function<void()>& body) const {
    // Only the socket queue itself runs the body inline: a marked queue does not run in step
    // with it, so the body would race the socket's own work.
    if (socketQueue_->isCurrent()) {
        body();
    } else {
        socketQueue_->sync(body);
    }
}

void AsyncTcpSocket::runAsync(std::function<void()> body) {
    if (socketQueue_->isCurrent()) {
        body();
    } else {
        postAsync(std::move(body));
    }
}

void AsyncTcpSocket::postAsync(std::function<void()> body) {
    // The reference goes inside the block: should it be the last, the teardown then runs on
    // the queue rather than wait for it from the thread that is draining it.
    socketQueue_->async([self = shared_from_this(), body = std::move(body)]() mutable {
        body();
        body = nullptr;
        self.reset();
    });
}

bool AsyncTcpSocket::delegateResponds(Callback callback) const {
    auto delegate = delegate_.lock();
    return delegate && delegateQueue_ && delegate->respondsTo(callback);
}

void AsyncTcpSocket::notify(Callback callback, DelegateCall call) {
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_ || !delegate->respondsTo(callback)) {
        return;  // nothing is posted and nothing is remembered
    }
    AsyncTcpSocketPtr self = (flags_ & kSocketDeallocating) ? nullptr : shared_from_this();
    delegateQueue_->async([delegate = std::move(delegate), self = std::move(self),
                           call = std::move(call)] { call(*delegate, self); });
}

bool AsyncTcpSocket::isTimeout(double seconds) {
    return seconds >= 0 && std::isfinite(seconds);
}

std::shared_ptr<dispatch::TimerSource> AsyncTcpSocket::startTimer(double timeout,
                                                                  void (AsyncTcpSocket::*fired)()) {
    if (!isTimeout(timeout)) {
        return nullptr;
    }
    auto timer = dispatch::TimerSource::create(socketQueue_);
    timer->setEventHandler([weak = weak_from_this(), fired] {
        if (auto self = weak.lock()) {
            ((*self).*fired)();
        }
    });
    timer->setTimer(dispatch::TimerSource::Seconds(timeout));
    timer->resume();
    return timer;
}

void AsyncTcpSocket::stopTimer(std::shared_ptr<dispatch::TimerSource>& timer) {
    if (timer) {
        timer->cancel();
        timer.reset();
    }
}

void AsyncTcpSocket::askToExtend(Callback callback, TimeoutQuery query, long tag, double elapsed,
                                 std::uint64_t done, std::uint64_t serial, TimeoutAnswer answer) {
    if (!delegateResponds(callback)) {
        ((*this).*answer)(serial, 0);
        return;
    }
    notify(callback, [=](Delegate& d, const AsyncTcpSocketPtr& socket) {
        double extension = (d.*query)(socket, tag, elapsed, done);
        socket->socketQueue_->async([weak = std::weak_ptr(socket), serial, extension, answer] {
            if (auto self = weak.lock()) {
                ((*self).*answer)(serial, extension);
            }
        });
    });
}

// Delegate and configuration.

std::shared_ptr<AsyncTcpSocketDelegate> AsyncTcpSocket::delegate() const {
    std::shared_ptr<Delegate> result;
    runSync([&] { result = delegate_.lock(); });
    return result;
}

void AsyncTcpSocket::setDelegate(std::weak_ptr<Delegate> delegate) {
    runAsync([this, delegate = std::move(delegate)] { delegate_ = delegate; });
}

void AsyncTcpSocket::synchronouslySetDelegate(std::weak_ptr<Delegate> delegate) {
    runSync([&] { delegate_ = std::move(delegate); });
}

std::shared_ptr<dispatch::Queue> AsyncTcpSocket::delegateQueue() const {
    std::shared_ptr<dispatch::Queue> result;
    runSync([&] { result = delegateQueue_; });
    return result;
}

void AsyncTcpSocket::setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue) {
    runAsync([this, delegateQueue = std::move(delegateQueue)] { delegateQueue_ = delegateQueue; });
}

void AsyncTcpSocket::synchronouslySetDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue) {
    runSync([&] { delegateQueue_ = std::move(delegateQueue); });
}

void AsyncTcpSocket::getDelegate(std::shared_ptr<Delegate>* delegate,
                                 std::shared_ptr<dispatch::Queue>* delegateQueue) const {
    runSync([&] {
        if (delegate) {
            *delegate = delegate_.lock();
        }
        if (delegateQueue) {
            *delegateQueue = delegateQueue_;
        }
    });
}

void AsyncTcpSocket::setDelegate(std::weak_ptr<Delegate> delegate,
                                 std::shared_ptr<dispatch::Queue> delegateQueue) {
    runAsync([this, delegate = std::move(delegate), delegateQueue = std::move(delegateQueue)] {
        delegate_ = delegate;
        delegateQueue_ = delegateQueue;
    });
}

void AsyncTcpSocket::synchronouslySetDelegate(std::weak_ptr<Delegate> delegate,
                                              std::shared_ptr<dispatch::Queue> delegateQueue) {
    runSync([&] {
        delegate_ = std::move(delegate);
        delegateQueue_ = std::move(delegateQueue);
    });
}

bool AsyncTcpSocket::isIPv4Enabled() const {
    bool result = false;
    runSync([&] { result = (config_ & kIPv4Disabled) == 0; });
    return result;
}

void AsyncTcpSocket::setIPv4Enabled(bool enabled) {
    runAsync([this, enabled] {
        config_ = enabled ? (config_ & ~kIPv4Disabled) : (config_ | kIPv4Disabled);
    });
}

bool AsyncTcpSocket::isIPv6Enabled() const {
    bool result = false;
    runSync([&] { result = (config_ & kIPv6Disabled) == 0; });
    return result;
}

void AsyncTcpSocket::setIPv6Enabled(bool enabled) {
    runAsync([this, enabled] {
        config_ = enabled ? (config_ & ~kIPv6Disabled) : (config_ | kIPv6Disabled);
    });
}

bool AsyncTcpSocket::isIPv4PreferredOverIPv6() const {
    bool result = false;
    runSync([&] { result = (config_ & kPreferIPv6) == 0; });
    return result;
}

void AsyncTcpSocket::setIPv4PreferredOverIPv6(bool preferred) {
    runAsync([this, preferred] {
        config_ = preferred ? (config_ & ~kPreferIPv6) : (config_ | kPreferIPv6);
    });
}

double AsyncTcpSocket::alternateAddressDelay() const {
    double result = 0;
    runSync([&] { result = alternateAddressDelay_; });
    return result;
}

void AsyncTcpSocket::setAlternateAddressDelay(double seconds) {
    runAsync([this, seconds] { alternateAddressDelay_ = seconds; });
}

std::shared_ptr<void> AsyncTcpSocket::userData() const {
    std::shared_ptr<void> result;
    runSync([&] { result = userData_; });
    return result;
}

void AsyncTcpSocket::setUserData(std::shared_ptr<void> userData) {
    runAsync([this, userData = std::move(userData)] {
        if (userData != userData_) {
            userData_ = userData;
        }
    });
}

// Access for code on the socket queue.

int AsyncTcpSocket::socketFD() const {
    return onSocketQueueRead([this] { return socket4FD_ != -1 ? socket4FD_ : socket6FD_; });
}

int AsyncTcpSocket::socket4FD() const {
    return onSocketQueueRead([this] { return socket4FD_; });
}

int AsyncTcpSocket::socket6FD() const {
    return onSocketQueueRead([this] { return socket6FD_; });
}

int AsyncTcpSocket::onSocketQueueRead(const std::function<int()>& read) const {
    int value = -1;
    if (onSocketQueue()) {
        runSync([&] { value = read(); });  // from a marked queue: read in step with the socket
    }
    return value;
}

void AsyncTcpSocket::performBlock(const std::function<void()>& block) {
    runSync(block);
}

void AsyncTcpSocket::performBlockAndQueuedWork(const std::function<void()>& block) {
    if (socketQueue_->isCurrent()) {
        block();
    } else {
        socketQueue_->syncAndRunQueued(block);
    }
}

void AsyncTcpSocket::markSocketQueueTargetQueue(dispatch::SerialQueue& queue) {
    queue.setSpecific(&isOnSocketQueueOrTargetQueueKey_, this);
}

void AsyncTcpSocket::unmarkSocketQueueTargetQueue(dispatch::SerialQueue& queue) {
    queue.setSpecific(&isOnSocketQueueOrTargetQueueKey_, nullptr);
}

}  // namespace corvaline
