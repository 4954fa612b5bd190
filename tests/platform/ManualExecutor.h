#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>

#include "platform/runloop/Executor.h"

namespace corvaline::test {

// A main queue the test drains by hand; its timers are not used by these tests.
class ManualExecutor : public Executor {
  public:
    void post(std::function<void()> block) override {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    TimerHandle postAfter(Duration, std::function<void()>) override {
        ADD_FAILURE() << "timers are not part of this fake";
        return {};
    }
    TimerHandle repeating(Duration, std::function<void()>) override {
        ADD_FAILURE() << "timers are not part of this fake";
        return {};
    }
    Clock::time_point now() const override { return Clock::now(); }
    bool isCurrent() const override { return true; }

    // Runs what is queued, including blocks queued while draining; returns how many ran.
    int drain() {
        int count = 0;
        for (;;) {
            std::function<void()> block;
            {
                std::lock_guard lock(mutex_);
                if (blocks_.empty())
                    return count;
                block = std::move(blocks_.front());
                blocks_.pop_front();
            }
            block();
            ++count;
        }
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> blocks_;
};

}  // namespace corvaline::test
