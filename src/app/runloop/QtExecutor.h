#pragma once

#include <QObject>
#include <QPointer>
#include <mutex>

class QThread;

#include "platform/runloop/Executor.h"

namespace corvaline::app {

// The application's main queue on Qt's event loop: posted blocks run as queued invocations in
// the order they were posted, timers are QTimers, now() is the steady clock. Create it on the
// GUI thread; `post` may be called from any thread, timers only on the GUI thread.
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

    // Receives the queued invocations and parents the timers; lives on the GUI thread.
    // Null once closed.
    QObject* context_;
    mutable std::mutex mutex_;  // guards context_ against posts from other threads
    QThread* thread_;
};

}  // namespace corvaline::app
