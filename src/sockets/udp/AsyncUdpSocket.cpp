// Construction, destruction, the queue discipline, delegate reports and configuration.
#include "sockets/udp/AsyncUdpSocket.h"

namespace corvaline {

AsyncUdpSocketPtr AsyncUdpSocket::create() {
    return create({}, nullptr, nullptr);
}

AsyncUdpSocketPtr AsyncUdpSocket::create(std::shared_ptr<dispatch::SerialQueue> socketQueue) {
    return create({}, nullptr, std::move(socketQueue));
}

AsyncUdpSocketPtr AsyncUdpSocket::create(std::weak_ptr<Delegate> delegate,
                                         std::shared_ptr<dispatch::Queue> delegateQueue) {
    return create(std::move(delegate), std::move(delegateQueue), nullptr);
}

AsyncUdpSocketPtr AsyncUdpSocket::create(std::weak_ptr<Delegate> delegate,
                                         std::shared_ptr<dispatch::Queue> delegateQueue,
                                         std::shared_ptr<dispatch::SerialQueue> socketQueue) {
    return std::make_shared<AsyncUdpSocket>(Private{}, std::move(delegate),
                                            std::move(delegateQueue), std::move(socketQueue));
}

AsyncUdpSocket::AsyncUdpSocket(Private, std::weak_ptr<Delegate> delegate,
                               std::shared_ptr<dispatch::Queue> delegateQueue,
                               std::shared_ptr<dispatch::SerialQueue> socketQueue)
    : delegate_(std::move(delegate)),
      delegateQueue_(std::move(delegateQueue)),
      socketQueue_(socketQueue ? std::move(socketQueue)
                               : dispatch::SerialQueue::create("AsyncUdpSocket")) {
    socketQueue_->setSpecific(isOnSocketQueueOrTargetQueueKey_, this);
}

AsyncUdpSocket::~AsyncUdpSocket() {
    // Internal blocks hold the socket weakly, so the last reference may drop anywhere: on the
    // socket queue itself the close runs inline, elsewhere the socket queue never waits for the
    // caller, so waiting for it is safe.
    runSync([this] { closeWithError(std::nullopt); });
    socketQueue_->setSpecific(isOnSocketQueueOrTargetQueueKey_, nullptr);
}

bool AsyncUdpSocket::onSocketQueue() const {
    return dispatch::SerialQueue::getSpecific(isOnSocketQueueOrTargetQueueKey_) != nullptr;
}

void AsyncUdpSocket::runSync(const std::function<void()>& body) const {
    // Only the socket queue itself runs the body inline: a marked queue does not run in step
    // with it, so the body would race the socket's own work.
    if (socketQueue_->isCurrent()) {
        body();
    } else {
        socketQueue_->sync(body);
    }
}

void AsyncUdpSocket::runAsync(std::function<void()> body) {
    if (socketQueue_->isCurrent()) {
        body();
    } else {
        socketQueue_->async([self = shared_from_this(), body = std::move(body)] { body(); });
    }
}

void AsyncUdpSocket::notify(Callback callback,
                            std::function<void(Delegate&, const AsyncUdpSocketPtr&)> call) {
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_ || !delegate->respondsTo(callback)) {
        return;
    }
    // Null while the socket is being destroyed: the report then outlives it.
    AsyncUdpSocketPtr self = weak_from_this().lock();
    delegateQueue_->async([delegate = std::move(delegate), self = std::move(self),
                           call = std::move(call)] { call(*delegate, self); });
}

bool AsyncUdpSocket::preOp(Error* error) const {
    std::optional<Error> failure;
    if (delegate_.expired()) {
        failure =
            badConfigError("Attempting to use socket without a delegate. Set a delegate first.");
    } else if (!delegateQueue_) {
        failure = badConfigError(
            "Attempting to use socket without a delegate queue. Set a delegate queue first.");
    }
    if (failure && error) {
        *error = std::move(*failure);
    }
    return !failure;
}

std::shared_ptr<AsyncUdpSocket::Delegate> AsyncUdpSocket::delegate() const {
    std::shared_ptr<Delegate> result;
    runSync([&] { result = delegate_.lock(); });
    return result;
}

std::shared_ptr<dispatch::Queue> AsyncUdpSocket::delegateQueue() const {
    std::shared_ptr<dispatch::Queue> result;
    runSync([&] { result = delegateQueue_; });
    return result;
}

void AsyncUdpSocket::getDelegate(std::shared_ptr<Delegate>* delegate,
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

void AsyncUdpSocket::setDelegate(std::weak_ptr<Delegate> delegate) {
    setDelegate(std::move(delegate), false);
}

void AsyncUdpSocket::synchronouslySetDelegate(std::weak_ptr<Delegate> delegate) {
    setDelegate(std::move(delegate), true);
}

void AsyncUdpSocket::setDelegate(std::weak_ptr<Delegate> delegate, bool synchronously) {
    auto body = [this, delegate = std::move(delegate)] { delegate_ = delegate; };
    synchronously ? runSync(body) : runAsync(body);
}

void AsyncUdpSocket::setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue) {
    setDelegateQueue(std::move(delegateQueue), false);
}

void AsyncUdpSocket::synchronouslySetDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue) {
    setDelegateQueue(std::move(delegateQueue), true);
}

void AsyncUdpSocket::setDelegateQueue(std::shared_ptr<dispatch::Queue> delegateQueue,
                                      bool synchronously) {
    auto body = [this, delegateQueue = std::move(delegateQueue)] {
        delegateQueue_ = delegateQueue;
    };
    synchronously ? runSync(body) : runAsync(body);
}

void AsyncUdpSocket::setDelegate(std::weak_ptr<Delegate> delegate,
                                 std::shared_ptr<dispatch::Queue> delegateQueue) {
    setDelegate(std::move(delegate), std::move(delegateQueue), false);
}

void AsyncUdpSocket::synchronouslySetDelegate(std::weak_ptr<Delegate> delegate,
                                              std::shared_ptr<dispatch::Queue> delegateQueue) {
    setDelegate(std::move(delegate), std::move(delegateQueue), true);
}

void AsyncUdpSocket::setDelegate(std::weak_ptr<Delegate> delegate,
                                 std::shared_ptr<dispatch::Queue> delegateQueue,
                                 bool synchronously) {
    auto body = [this, delegate = std::move(delegate), delegateQueue = std::move(delegateQueue)] {
        delegate_ = delegate;
        delegateQueue_ = delegateQueue;
    };
    synchronously ? runSync(body) : runAsync(body);
}

bool AsyncUdpSocket::isIPv4Enabled() const {
    bool result = false;
    runSync([&] { result = (config_ & kIPv4Disabled) == 0; });
    return result;
}

void AsyncUdpSocket::setIPv4Enabled(bool enabled) {
    runAsync([this, enabled] {
        config_ = enabled ? config_ & ~kIPv4Disabled : config_ | kIPv4Disabled;
    });
}

bool AsyncUdpSocket::isIPv6Enabled() const {
    bool result = false;
    runSync([&] { result = (config_ & kIPv6Disabled) == 0; });
    return result;
}

void AsyncUdpSocket::setIPv6Enabled(bool enabled) {
    runAsync([this, enabled] {
        config_ = enabled ? config_ & ~kIPv6Disabled : config_ | kIPv6Disabled;
    });
}

bool AsyncUdpSocket::isIPv4Preferred() const {
    bool result = false;
    runSync([&] { result = (config_ & kPreferIPv4) != 0; });
    return result;
}

bool AsyncUdpSocket::isIPv6Preferred() const {
    bool result = false;
    runSync([&] { result = (config_ & kPreferIPv6) != 0; });
    return result;
}

bool AsyncUdpSocket::isIPVersionNeutral() const {
    bool result = false;
    runSync([&] { result = (config_ & (kPreferIPv4 | kPreferIPv6)) == 0; });
    return result;
}

void AsyncUdpSocket::setPreferIPv4() {
    runAsync([this] { config_ = (config_ | kPreferIPv4) & ~kPreferIPv6; });
}

void AsyncUdpSocket::setPreferIPv6() {
    runAsync([this] { config_ = (config_ | kPreferIPv6) & ~kPreferIPv4; });
}

void AsyncUdpSocket::setIPVersionNeutral() {
    runAsync([this] { config_ &= ~(kPreferIPv4 | kPreferIPv6); });
}

std::uint16_t AsyncUdpSocket::maxReceiveIPv4BufferSize() const {
    std::uint16_t result = 0;
    runSync([&] { result = max4ReceiveSize_; });
    return result;
}

void AsyncUdpSocket::setMaxReceiveIPv4BufferSize(std::uint16_t size) {
    runAsync([this, size] { max4ReceiveSize_ = size; });
}

std::uint32_t AsyncUdpSocket::maxReceiveIPv6BufferSize() const {
    std::uint32_t result = 0;
    runSync([&] { result = max6ReceiveSize_; });
    return result;
}

void AsyncUdpSocket::setMaxReceiveIPv6BufferSize(std::uint32_t size) {
    runAsync([this, size] { max6ReceiveSize_ = size; });
}

std::uint16_t AsyncUdpSocket::maxSendBufferSize() const {
    std::uint16_t result = 0;
    runSync([&] { result = maxSendSize_; });
    return result;
}

void AsyncUdpSocket::setMaxSendBufferSize(std::uint16_t size) {
    runAsync([this, size] { maxSendSize_ = size; });
}

std::shared_ptr<void> AsyncUdpSocket::userData() const {
    std::shared_ptr<void> result;
    runSync([&] { result = userData_; });
    return result;
}

void AsyncUdpSocket::setUserData(std::shared_ptr<void> userData) {
    runAsync([this, userData = std::move(userData)] { userData_ = userData; });
}

void AsyncUdpSocket::markSocketQueueTargetQueue(dispatch::SerialQueue& queue) {
    queue.setSpecific(isOnSocketQueueOrTargetQueueKey_, this);
}

void AsyncUdpSocket::unmarkSocketQueueTargetQueue(dispatch::SerialQueue& queue) {
    queue.setSpecific(isOnSocketQueueOrTargetQueueKey_, nullptr);
}

void AsyncUdpSocket::performBlock(const std::function<void()>& block) {
    runSync(block);
}

int AsyncUdpSocket::socketFD() const {
    return onSocketQueueRead([this] { return socket4_.fd != -1 ? socket4_.fd : socket6_.fd; });
}

int AsyncUdpSocket::socket4FD() const {
    return onSocketQueueRead([this] { return socket4_.fd; });
}

int AsyncUdpSocket::socket6FD() const {
    return onSocketQueueRead([this] { return socket6_.fd; });
}

int AsyncUdpSocket::onSocketQueueRead(const std::function<int()>& read) const {
    int value = -1;
    if (onSocketQueue()) {
        runSync([&] { value = read(); });  // from a marked queue: read in step with the socket
    }
    return value;
}

}  // namespace corvaline
