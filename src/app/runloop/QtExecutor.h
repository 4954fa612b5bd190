#pragma once

#include <QObject>
#include <QPointer>

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

  private:
    TimerHandle addTimer(Duration delay, Duration interval, std::function<void()> block);

    // Receives the queued invocations and parents the timers; lives on the GUI thread.
    QObject* context_;
};

}  // namespace corvaline::app
