#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/DescriptorRegistry.h"
#include "platform/dispatch/Reactor.h"
#include "platform/dispatch/TimerQueue.h"

namespace corvaline::dispatch {

// The small worker pool that serial queues, readiness sources and timers run on. Internal to
// the dispatch layer; callable from any thread. Every object that schedules on it keeps the
// runtime alive, so it outlives them all.
//
// One idle worker at a time waits in the reactor; the others sleep until there are more tasks
// than awake workers. A worker whose readiness or timer handler hands a task over takes that
// task itself, so one report costs no wake-up of another thread.
class Runtime {
  public:
    static std::shared_ptr<Runtime> shared();

    explicit Runtime(unsigned threads);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    struct TaskHints {
        // The caller is a readiness or timer handler that ends right after the call: the
        // worker running it takes the task itself.
        bool continuesHandler = false;
        // The task may run long: another worker watches the reactor while it runs.
        bool mayRunLong = false;
    };
    // Runs the task on a worker, never inline; tasks start in the order they were handed over.
    void post(std::function<void()> task, TaskHints hints);

    DescriptorRegistry& descriptors() { return descriptors_; }
    TimerQueue& timers() { return timers_; }
    unsigned threadCount() const { return threadCount_; }
    // Ends the workers (after the blocks they are running); nothing runs on the runtime after.
    void stopWorkers();

  private:
    struct Pool;
    void work(Pool& pool);
    // Waits in the reactor (or only looks) and handles what it reports.
    void runReactor(bool block);

    const unsigned threadCount_;
    // Only one worker at a time waits in the reactor and runs its reports.
    Reactor reactor_;
    DescriptorRegistry descriptors_{reactor_};
    TimerQueue timers_{reactor_};
    std::shared_ptr<Pool> pool_;
};

}  // namespace corvaline::dispatch
