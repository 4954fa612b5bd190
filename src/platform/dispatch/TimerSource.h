#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/SerialQueue.h"

namespace corvaline::dispatch {

class Runtime;

// A one-shot or repeating timer whose handler runs on a serial queue. Created suspended (call
// resume once to start). A firing that falls while suspended is delivered after the resume.
// Callable from any thread.
class TimerSource : public std::enable_shared_from_this<TimerSource> {
  public:
    using Seconds = std::chrono::duration<double>;

    static std::shared_ptr<TimerSource> create(std::shared_ptr<SerialQueue> queue);

    struct Private {};
    TimerSource(Private, std::shared_ptr<SerialQueue> queue);
    ~TimerSource();
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;

    void setEventHandler(std::function<void()> handler);
    void setCancelHandler(std::function<void()> handler);

    // (Re)arms the timer: first firing `start` from now, then every `interval` when the
    // interval is positive and finite. A negative start fires at once; a huge or non-finite
    // start never fires. Replaces any earlier setting; firings of it are dropped.
    void setTimer(Seconds start, Seconds interval = Seconds::zero());

    void resume();
    void suspend();
    void cancel();
    bool isCancelled() const;

  private:
    void armLocked();
    void disarmLocked();
    void onFire(unsigned generation);
    void deliver(unsigned generation);

    const std::shared_ptr<SerialQueue> queue_;
    mutable std::mutex mutex_;
    const std::shared_ptr<Runtime> runtime_;
    std::uint64_t deadline_ = 0;  // in the runtime's timer queue, while waiting
    std::function<void()> eventHandler_;
    std::function<void()> cancelHandler_;
    std::chrono::steady_clock::time_point fireAt_;
    std::chrono::steady_clock::duration interval_{};
    bool armedSetting_ = false;  // setTimer gave a time that will come
    bool waiting_ = false;
    bool missedFire_ = false;  // fired while suspended
    int suspendCount_ = 1;
    bool cancelled_ = false;
    unsigned generation_ = 0;
};

}  // namespace corvaline::dispatch
