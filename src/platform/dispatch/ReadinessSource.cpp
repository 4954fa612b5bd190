#include "platform/dispatch/ReadinessSource.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/dispatch/Runtime.h"

namespace corvaline::dispatch {
namespace {

// The bytes waiting on the descriptor; none when it keeps no count (a listening socket).
std::optional<std::size_t> bytesAvailable(int fd) {
    int available = 0;
    if (::ioctl(fd, FIONREAD, &available) != 0) {
        if (errno == EINVAL || errno == ENOTTY) {
            return std::nullopt;
        }
        return 0;
    }
    return static_cast<std::size_t>(std::max(available, 0));
}

// What poll says of the descriptor now. The reactor may report readiness that has gone (an
// edge it saw before the data was read): those reports are not passed on.
short currentEvents(int fd, short interest) {
    pollfd probe{fd, interest, 0};
    if (::poll(&probe, 1, 0) <= 0) {
        return 0;
    }
    return probe.revents;
}

}  // namespace

// The sources of one descriptor (a socket's read and write sources) share its reactor
// registration; the caller may close the descriptor in the cancel handler, which runs after
// this source has let go of the registration.
std::shared_ptr<ReadinessSource> ReadinessSource::create(Kind kind, int fd,
                                                         std::shared_ptr<SerialQueue> queue) {
    auto runtime = Runtime::shared();
    if (fd < 0 || !runtime->descriptors().acquire(fd)) {
        return nullptr;
    }
    return std::make_shared<ReadinessSource>(Private{}, kind, fd, std::move(runtime),
                                             std::move(queue));
}

ReadinessSource::ReadinessSource(Private, Kind kind, int fd, std::shared_ptr<Runtime> runtime,
                                 std::shared_ptr<SerialQueue> queue)
    : kind_(kind), fd_(fd), runtime_(std::move(runtime)), queue_(std::move(queue)) {}

ReadinessSource::~ReadinessSource() {
    std::lock_guard lock(mutex_);
    detachLocked();
}

void ReadinessSource::detachLocked() {
    if (registered_) {
        registered_ = false;
        runtime_->descriptors().release(fd_);
    }
}

void ReadinessSource::setEventHandler(EventHandler handler) {
    std::lock_guard lock(mutex_);
    eventHandler_ = std::move(handler);
}

void ReadinessSource::setCancelHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    cancelHandler_ = std::move(handler);
}

void ReadinessSource::resume() {
    std::lock_guard lock(mutex_);
    if (cancelled_ || suspendCount_ == 0) {
        return;
    }
    if (--suspendCount_ == 0) {
        hangUpDelivered_ = false;
        armLocked();
    }
}

void ReadinessSource::suspend() {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
        ++suspendCount_;
    }
}

void ReadinessSource::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            return;
        }
        cancelled_ = true;
        ++generation_;
        detachLocked();
        handler = std::move(cancelHandler_);
        eventHandler_ = nullptr;
    }
    if (handler) {
        queue_->async(std::move(handler));
    }
}

bool ReadinessSource::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void ReadinessSource::armLocked() {
    if (waiting_ || delivering_ || cancelled_ || suspendCount_ > 0) {
        return;
    }
    waiting_ = true;
    auto wait = kind_ == Kind::Read ? asio::posix::stream_descriptor::wait_read
                                    : asio::posix::stream_descriptor::wait_write;
    runtime_->descriptors().asyncWait(
        fd_, wait,
        [weak = weak_from_this(), generation = generation_](const asio::error_code& error) {
            auto self = weak.lock();
            if (self && !error) {
                self->onReady(generation);
            } else if (self) {
                std::lock_guard lock(self->mutex_);
                if (generation == self->generation_) {
                    self->waiting_ = false;
                }
            }
        });
}

void ReadinessSource::onReady(unsigned generation) {
    std::lock_guard lock(mutex_);
    if (generation != generation_) {
        return;
    }
    waiting_ = false;
    if (cancelled_ || suspendCount_ > 0) {
        return;  // resume() arms again
    }
    std::size_t available = 0;
    if (kind_ == Kind::Read) {
        if (countsBytes_) {
            std::optional<std::size_t> counted = bytesAvailable(fd_);
            countsBytes_ = counted.has_value();  // a descriptor without a count is not asked again
            available = counted.value_or(0);
        }
        if (available == 0) {
            short events = currentEvents(fd_, POLLIN | POLLRDHUP);
            if (events == 0) {
                armLocked();
                return;
            }
            // A hung-up or failed descriptor stays "readable" for ever: report it once per
            // resume instead of in a busy loop. (An empty datagram is readable without that.)
            if ((events & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0) {
                if (hangUpDelivered_) {
                    return;
                }
                hangUpDelivered_ = true;
            }
        }
    } else if (currentEvents(fd_, POLLOUT) == 0) {
        armLocked();
        return;
    }
    delivering_ = true;
    queue_->asyncFromHandler([self = shared_from_this(), generation, available] {
        self->deliver(generation, available);
    });
}

void ReadinessSource::deliver(unsigned generation, std::size_t available) {
    EventHandler handler;
    {
        std::lock_guard lock(mutex_);
        delivering_ = false;
        if (generation != generation_ || cancelled_) {
            return;
        }
        if (suspendCount_ > 0) {
            return;  // suspended after the event was seen: resume() looks again
        }
        handler = eventHandler_;
    }
    if (handler) {
        handler(available);
    }
    std::lock_guard lock(mutex_);
    armLocked();
}

}  // namespace corvaline::dispatch
