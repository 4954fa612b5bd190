#pragma once

#include <atomic>

#include "platform/runloop/Executor.h"

namespace corvaline {

// Test time for a MainLoop: stands still while work is ready and jumps to the next timer when
// the loop is idle, so minutes of protocol time pass in milliseconds. Callable from any thread.
class VirtualClock {
  public:
    explicit VirtualClock(Clock::time_point start = Clock::time_point{} + std::chrono::hours(1))
        : now_(start.time_since_epoch().count()) {}

    Clock::time_point now() const { return Clock::time_point(Clock::duration(now_.load())); }
    void advanceTo(Clock::time_point when) {
        auto target = when.time_since_epoch().count();
        auto current = now_.load();
        while (current < target && !now_.compare_exchange_weak(current, target)) {
        }
    }
    void advance(Duration by) {
        advanceTo(now() + std::chrono::duration_cast<Clock::duration>(by));
    }

  private:
    std::atomic<Clock::rep> now_;
};

}  // namespace corvaline
