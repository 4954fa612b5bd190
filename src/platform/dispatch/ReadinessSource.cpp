#include "platform/dispatch/ReadinessSource.h"

#include <poll.h>
#include <sys/epoll.h>
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

// What poll says of the descriptor now.
short currentEvents(int fd, short interest) {
    pollfd probe{fd, interest, 0};
    if (::poll(&probe, 1, 0) <= 0) {
        return 0;
    }
    return probe.revents;
}

constexpr short kHangUp = POLLRDHUP | POLLHUP | POLLERR | POLLNVAL;

}  // namespace

// The sources of one descriptor (a socket's read and write sources) share its registration;
// the caller may close the descriptor in the cancel handler, which runs after this source
// has let go of it.
std::shared_ptr<ReadinessSource> ReadinessSource::create(Kind kind, int fd,
                                                         std::shared_ptr<SerialQueue> queue,
                                                         Descriptor descriptor) {
    if (fd < 0) {
        return nullptr;
    }
    auto runtime = Runtime::shared();
    auto source =
        std::make_shared<ReadinessSource>(Private{}, kind, descriptor, runtime, std::move(queue));
    const std::uint32_t events = kind == Kind::Read ? EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR
                                                    : EPOLLOUT | EPOLLHUP | EPOLLERR;
    source->registration_ = runtime->descriptors().acquire(fd, source, events);
    return source;
}

ReadinessSource::ReadinessSource(Private, Kind kind, Descriptor descriptor,
                                 std::shared_ptr<Runtime> runtime,
                                 std::shared_ptr<SerialQueue> queue)
    : kind_(kind),
      descriptor_(descriptor),
      runtime_(std::move(runtime)),
      queue_(std::move(queue)) {}

ReadinessSource::~ReadinessSource() {
    std::lock_guard lock(mutex_);
    detachLocked();
}

void ReadinessSource::detachLocked() {
    if (registered_ && registration_) {
        registered_ = false;
        runtime_->descriptors().release(*registration_, this);
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
        waiting_ = false;  // what the reactor said while suspended is looked at anew
        armLocked(Via::Caller);
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

void ReadinessSource::reactorReported() {
    std::lock_guard lock(mutex_);
    if (waiting_ && !cancelled_ && suspendCount_ == 0) {
        checkLocked(Via::Reactor);
    }
}

void ReadinessSource::armLocked(Via via) {
    if (waiting_ || delivering_ || cancelled_ || suspendCount_ > 0) {
        return;
    }
    waiting_ = true;
    checkLocked(via);
}

// Looks at the descriptor itself: level-triggered delivery needs the present state, and a
// report of the reactor may be out of date (an edge seen before the data was read) and is
// then not passed on. When there is nothing, the reactor is asked to report the next change.
void ReadinessSource::checkLocked(Via via) {
    const int fd = registration_->fd();
    std::size_t available = 0;
    short events = 0;
    if (kind_ == Kind::Read) {
        // Taken before the count: nothing follows a hang-up, so no count after it misses bytes.
        const bool hungUp = registration_->watched() && registration_->hungUp();
        if (countsBytes_) {
            std::optional<std::size_t> counted = bytesAvailable(fd);
            countsBytes_ = counted.has_value();  // a descriptor without a count is not asked again
            available = counted.value_or(0);
        }
        if (available > 0) {
            events = POLLIN;
        } else if (descriptor_ == Descriptor::ConnectedStream && countsBytes_ && !refused_) {
            // Unwatched, the registration's first report says whether it hung up already.
            events = hungUp ? POLLRDHUP : 0;
        } else {
            events = currentEvents(fd, POLLIN | POLLRDHUP);
        }
    } else {
        events = currentEvents(fd, POLLOUT);
    }
    if (events == 0) {
        // Hang-ups always come. A read wait leaves writability out: the first report would
        // otherwise tell of a writable socket nobody waits to write to. A write wait (a
        // connect) takes reading in with it, since the reads come next.
        const std::uint32_t interest =
            kind_ == Kind::Read ? EPOLLIN | EPOLLRDHUP : EPOLLIN | EPOLLRDHUP | EPOLLOUT;
        if (!registration_->watches(interest) && !refused_ &&
            !runtime_->descriptors().watch(*registration_, interest)) {
            refused_ = true;  // poll alone decides from now on
            checkLocked(via);
        }
        return;
    }
    waiting_ = false;
    // A hung-up or failed descriptor stays "readable" for ever: report it once per resume
    // instead of in a busy loop. (An empty datagram is readable without that.)
    if (kind_ == Kind::Read && available == 0 && (events & kHangUp) != 0) {
        if (hangUpDelivered_) {
            return;
        }
        hangUpDelivered_ = true;
    }
    delivering_ = true;
    auto task = [self = shared_from_this(), generation = generation_, available] {
        self->deliver(generation, available);
    };
    if (via == Via::Reactor) {
        queue_->asyncFromHandler(std::move(task));
    } else {
        queue_->async(std::move(task));
    }
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
    armLocked(Via::Queue);
}

}  // namespace corvaline::dispatch
