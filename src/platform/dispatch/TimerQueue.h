#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/dispatch/Reactor.h"

namespace corvaline::dispatch {

// The deadlines of all timer sources of a runtime behind the reactor's one timer. Taking a
// deadline back only forgets it: a time-out that is cancelled long before it is due (most of
// a socket's) costs no call and no wake-up. A deadline earlier than the pending one moves the
// timer from the adding thread; the waiting worker is not disturbed. Internal to the
// dispatch layer; callable from any thread.
class TimerQueue {
  public:
    using Clock = std::chrono::steady_clock;
    using Id = std::uint64_t;
    using Fire = std::function<void()>;

    explicit TimerQueue(Reactor& reactor) : reactor_(reactor) {}
    TimerQueue(const TimerQueue&) = delete;
    TimerQueue& operator=(const TimerQueue&) = delete;

    // `fire` runs on a worker once `when` has come, unless the deadline is taken back first.
    // It must not block; it runs without the queue's lock held.
    Id add(Clock::time_point when, Fire fire);
    void remove(Id id);
    // The reactor's timer reported: runs what is due and sets the timer for the next.
    void onTimer();

  private:
    using Key = std::pair<Clock::time_point, Id>;
    void armLocked(Clock::time_point when);

    Reactor& reactor_;
    std::mutex mutex_;
    std::map<Key, Fire> deadlines_;
    std::map<Id, Clock::time_point> whenOf_;
    Id nextId_ = 1;
    std::optional<Clock::time_point> armedFor_;  // the reactor's timer, when it is set
};

}  // namespace corvaline::dispatch
