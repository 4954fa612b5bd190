#include "platform/dispatch/TimerSource.h"

#include <cmath>

#include "platform/dispatch/Runtime.h"

namespace corvaline::dispatch {
namespace {

// Beyond this a time-out means "never": it also keeps the clock arithmetic from overflowing.
constexpr double kNeverSeconds = 100.0 * 365 * 24 * 3600;

bool isReachable(double seconds) {
    return std::isfinite(seconds) && seconds < kNeverSeconds;
}

}  // namespace

std::shared_ptr<TimerSource> TimerSource::create(std::shared_ptr<SerialQueue> queue) {
    return std::make_shared<TimerSource>(Private{}, std::move(queue));
}

TimerSource::TimerSource(Private, std::shared_ptr<SerialQueue> queue)
    : queue_(std::move(queue)), runtime_(Runtime::shared()) {}

TimerSource::~TimerSource() {
    std::lock_guard lock(mutex_);
    disarmLocked();
}

void TimerSource::setEventHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    eventHandler_ = std::move(handler);
}

void TimerSource::setCancelHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    cancelHandler_ = std::move(handler);
}

void TimerSource::setTimer(Seconds start, Seconds interval) {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        return;
    }
    ++generation_;
    disarmLocked();
    missedFire_ = false;
    armedSetting_ = isReachable(start.count());
    if (!armedSetting_) {
        return;
    }
    auto now = std::chrono::steady_clock::now();
    fireAt_ = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::max(start, Seconds::zero()));
    interval_ = interval.count() > 0 && isReachable(interval.count())
                    ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval)
                    : std::chrono::steady_clock::duration::zero();
    armLocked();
}

void TimerSource::resume() {
    std::lock_guard lock(mutex_);
    if (cancelled_ || suspendCount_ == 0) {
        return;
    }
    if (--suspendCount_ > 0) {
        return;
    }
    if (missedFire_) {
        missedFire_ = false;
        queue_->async(
            [self = shared_from_this(), generation = generation_] { self->deliver(generation); });
    }
    armLocked();
}

void TimerSource::suspend() {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
        ++suspendCount_;
    }
}

void TimerSource::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            return;
        }
        cancelled_ = true;
        ++generation_;
        disarmLocked();
        handler = std::move(cancelHandler_);
        eventHandler_ = nullptr;
    }
    if (handler) {
        queue_->async(std::move(handler));
    }
}

bool TimerSource::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void TimerSource::armLocked() {
    if (waiting_ || cancelled_ || !armedSetting_) {
        return;
    }
    waiting_ = true;
    deadline_ =
        runtime_->timers().add(fireAt_, [weak = weak_from_this(), generation = generation_] {
            if (auto self = weak.lock()) {
                self->onFire(generation);
            }
        });
}

void TimerSource::disarmLocked() {
    if (waiting_) {
        waiting_ = false;
        runtime_->timers().remove(deadline_);
    }
}

void TimerSource::onFire(unsigned generation) {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || cancelled_) {
        return;
    }
    waiting_ = false;
    if (interval_ == std::chrono::steady_clock::duration::zero()) {
        armedSetting_ = false;
    } else {
        fireAt_ += interval_;
        armLocked();
    }
    if (suspendCount_ > 0) {
        missedFire_ = true;
        return;
    }
    queue_->asyncFromHandler(
        [self = shared_from_this(), generation] { self->deliver(generation); });
}

void TimerSource::deliver(unsigned generation) {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || cancelled_) {
            return;
        }
        handler = eventHandler_;
    }
    if (handler) {
        handler();
    }
}

}  // namespace corvaline::dispatch
