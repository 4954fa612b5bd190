#pragma once

#include <cassert>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"

namespace corvaline {

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::duration<double>;  // seconds, as the protocol counts them

// A timer created by an Executor. Copies share one timer. Destroying the handle does not
// cancel the timer; whoever captured `this` in the callback cancels in its destructor.
// Called on the executor's own thread only.
class TimerHandle {
  public:
    // Each executor supplies its own timers.
    class Impl {
      public:
        virtual ~Impl() = default;
        virtual void cancel() = 0;
        virtual void reschedule(Duration delay) = 0;
        virtual bool isScheduled() const = 0;
    };

    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

    void cancel() {
        if (impl_)
            impl_->cancel();
    }
    // Moves the next firing to `delay` from now (a cancelled or fired one-shot timer is
    // armed again).
    void reschedule(Duration delay) {
        if (impl_)
            impl_->reschedule(delay);
    }
    bool isScheduled() const { return impl_ && impl_->isScheduled(); }
    explicit operator bool() const { return impl_ != nullptr; }

  private:
    std::shared_ptr<Impl> impl_;
};

// The main queue and its run loop: all protocol logic runs here. `async`/`post` may be called
// from any thread; timers are created and used on the executor's own thread.
class Executor : public dispatch::Queue {
  public:
    void async(std::function<void()> block) override { post(std::move(block)); }

    virtual void post(std::function<void()> block) = 0;
    // One-shot: runs `block` once after `delay`.
    virtual TimerHandle postAfter(Duration delay, std::function<void()> block) = 0;
    // Repeating: first after `interval`, then every `interval` until cancelled.
    virtual TimerHandle repeating(Duration interval, std::function<void()> block) = 0;
    // The executor's notion of now (virtual in tests).
    virtual Clock::time_point now() const = 0;
    // True on the executor's own thread.
    virtual bool isCurrent() const = 0;
};

// Debug builds stop at a call made on another thread than the executor's: the entry points of
// the services and of the store run on the main thread only, whichever executor drives it.
inline void assertCurrent([[maybe_unused]] const Executor& executor) {
    assert(executor.isCurrent() && "called off the executor's thread");
}

}  // namespace corvaline
