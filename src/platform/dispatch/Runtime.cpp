#include "platform/dispatch/Runtime.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace corvaline::dispatch {
namespace {

// The runtime whose worker the calling thread is, and whether it runs the reactor's handlers
// right now.
thread_local const Runtime* workerOf = nullptr;
thread_local bool inReactor = false;

// Tasks a worker runs while another waits nowhere in the reactor before it looks at the
// reactor itself: readiness is not starved by a stream of tasks.
constexpr int kTasksBetweenPolls = 4;

}  // namespace

struct Runtime::Pool {
    struct Task {
        std::function<void()> run;
        bool mayRunLong = false;
    };

    // Called with `mutex` held; answers whether a sleeping worker is to be woken.
    bool claimSleeperLocked() {
        if (sleeping <= signalled) {
            return false;
        }
        ++signalled;
        return true;
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    unsigned sleeping = 0;   // workers waiting on `wake`
    unsigned signalled = 0;  // of those, already woken and not yet up
    bool polling = false;    // a worker is in the reactor
    bool stopping = false;
    std::vector<std::thread> threads;
    std::mutex stoppingMutex;
};

std::shared_ptr<Runtime> Runtime::shared() {
    static const std::shared_ptr<Runtime> runtime =
        std::make_shared<Runtime>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    // Objects still alive at exit keep the runtime alive; its workers must not run on into the
    // destruction of the process's static objects. Registered after `runtime` is made, so it
    // runs before `runtime` is destroyed.
    static const bool stopsAtExit = std::atexit([] { runtime->stopWorkers(); }) == 0;
    (void)stopsAtExit;
    return runtime;
}

Runtime::Runtime(unsigned threads) : threadCount_(threads), pool_(std::make_shared<Pool>()) {
    for (unsigned i = 0; i < threads; ++i) {
        // The worker keeps the pool: a worker that let go of the last owner of the runtime
        // (and detached itself) still finds it when its task returns.
        pool_->threads.emplace_back([this, pool = pool_] { work(*pool); });
    }
}

Runtime::~Runtime() {
    stopWorkers();
}

void Runtime::post(std::function<void()> task, TaskHints hints) {
    Pool& pool = *pool_;
    bool wakeSleeper = false;
    bool wakeReactor = false;
    {
        std::lock_guard lock(pool.mutex);
        pool.tasks.push_back({std::move(task), hints.mayRunLong});
        const bool onReactorHere = workerOf == this && inReactor;
        if (hints.continuesHandler && onReactorHere) {
            return;  // this worker takes it as soon as its handler returns
        }
        wakeSleeper = pool.claimSleeperLocked();
        wakeReactor = !wakeSleeper && pool.polling && !onReactorHere;
    }
    if (wakeSleeper) {
        pool.wake.notify_one();
    } else if (wakeReactor) {
        // Every worker is busy but the one waiting in the reactor: it comes back for the task.
        reactor_.interrupt();
    }
}

void Runtime::work(Pool& pool) {
    workerOf = this;
    int tasksSincePoll = 0;
    std::unique_lock lock(pool.mutex);
    while (!pool.stopping) {
        if (!pool.polling && (pool.tasks.empty() || tasksSincePoll >= kTasksBetweenPolls)) {
            pool.polling = true;
            const bool wait = pool.tasks.empty();
            lock.unlock();
            inReactor = true;
            runReactor(wait);  // its reports may have handed this worker a task
            inReactor = false;
            tasksSincePoll = 0;
            lock.lock();
            pool.polling = false;
            continue;
        }
        if (pool.tasks.empty()) {
            ++pool.sleeping;
            pool.wake.wait(lock);
            --pool.sleeping;
            if (pool.signalled > 0) {
                --pool.signalled;
            }
            continue;
        }
        Pool::Task task = std::move(pool.tasks.front());
        pool.tasks.pop_front();
        ++tasksSincePoll;
        // Another worker is woken for work left waiting, or to watch the reactor while a long
        // task holds this one.
        const bool wakeOne = (!pool.tasks.empty() || (task.mayRunLong && !pool.polling)) &&
                             pool.claimSleeperLocked();
        lock.unlock();
        if (wakeOne) {
            pool.wake.notify_one();
        }
        task.run();
        task.run = nullptr;  // what the task holds goes before the lock is taken
        lock.lock();
    }
}

void Runtime::runReactor(bool block) {
    Reactor::Events events;
    for (const epoll_event& event : reactor_.wait(block, events)) {
        if (event.data.u64 == Reactor::kTimerToken) {
            timers_.onTimer();
        } else if (event.data.u64 != Reactor::kInterruptToken) {
            descriptors_.onReport(event.data.u64, event.events);
        }
    }
}

void Runtime::stopWorkers() {
    std::shared_ptr<Pool> pool = pool_;
    std::lock_guard stop(pool->stoppingMutex);
    {
        std::lock_guard lock(pool->mutex);
        pool->stopping = true;
    }
    pool->wake.notify_all();
    reactor_.interrupt();
    for (auto& thread : pool->threads) {
        if (!thread.joinable()) {
            continue;
        }
        // The last owner can be a block running on a worker: that thread cannot join itself.
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

}  // namespace corvaline::dispatch
