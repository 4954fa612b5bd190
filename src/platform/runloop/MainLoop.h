#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/runloop/Executor.h"
#include "platform/runloop/VirtualClock.h"

namespace corvaline {

// The headless main queue and run loop (tests and the windowless node). The thread that
// creates it is its own thread: it runs the loop and owns the timers; `post` is callable from
// any thread.
class MainLoop : public Executor {
  public:
    MainLoop();
    // On virtual time: when idle, the loop moves the clock to the next timer.
    explicit MainLoop(std::shared_ptr<VirtualClock> clock);
    ~MainLoop() override;
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    void post(std::function<void()> block) override;
    TimerHandle postAfter(Duration delay, std::function<void()> block) override;
    TimerHandle repeating(Duration interval, std::function<void()> block) override;
    Clock::time_point now() const override;
    bool isCurrent() const override;

    // Runs until stop().
    void run();
    // Runs until the predicate holds (checked after every block and timer) or `timeout` of
    // the loop's time has passed; answers the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, Duration timeout);
    // Runs what is ready now, without waiting.
    void runPending();
    // Makes run() return; callable from any thread.
    void stop();

    struct State;

  private:
    TimerHandle addTimer(Duration delay, Duration interval, std::function<void()> block);
    // One turn: ready blocks, then due timers. Answers whether anything ran.
    bool turn(const std::function<bool()>& done);
    void waitForWork(Clock::time_point deadline);

    std::shared_ptr<State> state_;
};

}  // namespace corvaline
