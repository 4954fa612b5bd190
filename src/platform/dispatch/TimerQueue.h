#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace corvaline::dispatch {

// The deadlines of all timer sources of a runtime behind one reactor timer. Taking a deadline
// back only forgets it: a time-out that is cancelled long before it is due (most of a
// socket's) costs no wake-up of a worker, where cancelling a reactor timer of its own
// completes its wait on one. Internal to the dispatch layer; callable from any thread.
class TimerQueue {
  public:
    using Clock = std::chrono::steady_clock;
    using Id = std::uint64_t;
    using Fire = std::function<void()>;

    explicit TimerQueue(asio::io_context& io);
    ~TimerQueue();
    TimerQueue(const TimerQueue&) = delete;
    TimerQueue& operator=(const TimerQueue&) = delete;

    // `fire` runs on a worker once `when` has come, unless the deadline is taken back first.
    // It must not block; it runs without the queue's lock held.
    Id add(Clock::time_point when, Fire fire);
    void remove(Id id);

  private:
    using Key = std::pair<Clock::time_point, Id>;
    void armLocked(Clock::time_point when);
    void onWake();

    asio::steady_timer timer_;
    std::mutex mutex_;
    std::map<Key, Fire> deadlines_;
    std::map<Id, Clock::time_point> whenOf_;
    Id nextId_ = 1;
    std::optional<Clock::time_point> armedFor_;  // the reactor timer's wait, when one is pending
};

}  // namespace corvaline::dispatch
