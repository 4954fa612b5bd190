#pragma once

#include <vector>

#include "platform/runloop/MainLoop.h"

namespace corvaline::fuzzing {

// The main queue as the model sees it: everything goes to the loop, and the timers the model
// makes are remembered, so that closing the store can cancel those that would otherwise fire
// on the records of a store that is gone. (The program closes its store only after its loop
// has stopped; a harness that reopens the store under a running loop must do this itself.)
// `post` from any thread, as the loop allows; timers and cancelTimers on the loop's thread.
class ModelQueue : public Executor {
  public:
    explicit ModelQueue(MainLoop& loop) : loop_(loop) {}

    void post(std::function<void()> block) override { loop_.post(std::move(block)); }
    TimerHandle postAfter(Duration delay, std::function<void()> block) override {
        return keep(loop_.postAfter(delay, std::move(block)));
    }
    TimerHandle repeating(Duration interval, std::function<void()> block) override {
        return keep(loop_.repeating(interval, std::move(block)));
    }
    Clock::time_point now() const override { return loop_.now(); }
    bool isCurrent() const override { return loop_.isCurrent(); }

    // Cancels every timer made so far that has not fired for good.
    void cancelTimers() {
        for (auto& timer : timers_) {
            timer.cancel();
        }
        timers_.clear();
    }

  private:
    TimerHandle keep(TimerHandle timer) {
        std::erase_if(timers_, [](const TimerHandle& kept) { return !kept.isScheduled(); });
        timers_.push_back(timer);
        return timer;
    }

    MainLoop& loop_;
    std::vector<TimerHandle> timers_;
};

}  // namespace corvaline::fuzzing
