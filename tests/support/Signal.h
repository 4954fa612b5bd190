#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace corvaline::testing {

// A flag another thread raises; tests wait on it with a generous safety time-out.
class Signal {
  public:
    void raise() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitFor(int count = 1, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

}  // namespace corvaline::testing
