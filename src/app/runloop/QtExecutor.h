#pragma once

#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <mutex>

class QThread;

#include "platform/runloop/Executor.h"

namespace corvaline::app {

// The application's main queue on Qt's event loop: posted blocks run in the order they were
// posted, in slices of at most about 20 ms between which the loop serves its timers, input and
// painting (Qt would otherwise run every invocation queued at once in one go: a crowd
// announcing itself would hold the window for as long as all its packets take); timers are
// QTimers, now() is the steady clock. Create it on the GUI thread; `post` may be called from
// any thread, timers only on the GUI thread.
class QtExecutor : public Executor {
  public:
    QtExecutor();
    ~QtExecutor() override;
    QtExecutor(const QtExecutor&) = delete;
    QtExecutor& operator=(const QtExecutor&) = delete;

    void post(std::function<void()> block) override;
    TimerHandle postAfter(Duration delay, std::function<void()> block) override;
    TimerHandle repeating(Duration interval, std::function<void()> block) override;
    Clock::time_point now() const override { return Clock::now(); }
    bool isCurrent() const override;

    // Drops the timers and the blocks not run yet; later posts and timers do nothing. Call
    // it before QApplication ends when someone may still hold the executor.
    void close();

  private:
    TimerHandle addTimer(Duration delay, Duration interval, std::function<void()> block);
    // Asks the loop for a slice; called with mutex_ held.
    void scheduleSlice();
    // Runs posted blocks until none is left or the slice is used up.
    void runSlice();

    // Receives the slices' invocations and parents the timers; lives on the GUI thread.
    // Null once closed.
    QObject* context_;
    mutable std::mutex mutex_;  // guards context_, blocks_ and slicePending_
    std::deque<std::function<void()>> blocks_;
    bool slicePending_ = false;  // a slice is queued and has not begun: one at a time
    QThread* thread_;
};

}  // namespace corvaline::app
