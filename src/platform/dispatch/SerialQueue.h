#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/Queue.h"

namespace corvaline::dispatch {

class Runtime;

// A serial queue: blocks run one at a time, in the order they were handed over, on the shared
// worker pool (or on a thread waiting in `sync`). Callable from any thread.
class SerialQueue : public Queue, public std::enable_shared_from_this<SerialQueue> {
  public:
    static std::shared_ptr<SerialQueue> create(std::string label);

    explicit SerialQueue(std::string label);  // use create(): the queue must be shared-owned
    ~SerialQueue() override;

    const std::string& label() const { return label_; }

    void async(std::function<void()> block) override;
    // As async, for a worker's handler that ends right after the call (a readiness or timer
    // report): that worker then goes on with the queue instead of waking another one.
    void asyncFromHandler(std::function<void()> block);
    // Runs the block on this queue, on the calling thread, after the blocks handed over before
    // it. Those the calling thread runs itself when no thread is running the queue, so a
    // caller never waits for a free worker: the pool cannot starve when all its workers sync.
    // Runs at once when the calling thread is already running a block of this queue (also
    // further down a chain of sync calls), so a queue never waits on itself.
    void sync(const std::function<void()>& block);
    // As sync, and the blocks queued meanwhile (by the block itself, say) run on the calling
    // thread too before it returns (a turn's worth at most), instead of on a worker: for a
    // caller whose block queues a little work, which then needs no hand-over to a worker.
    void syncAndRunQueued(const std::function<void()>& block);

    // True while the calling thread runs a block of this queue.
    bool isCurrent() const;

    // Queue-specific keys: `getSpecific` looks at the queues the calling thread is running
    // blocks of, innermost first. A null value removes the key.
    void setSpecific(const void* key, void* value);
    void* specific(const void* key) const;
    static void* getSpecific(const void* key);

  private:
    struct Turn;
    // A block, or the place of a sync caller in line.
    struct Entry {
        std::function<void()> block;
        Turn* turn = nullptr;
    };
    enum class State {
        idle,       // nothing to run
        scheduled,  // a worker turn is posted; nobody runs the queue yet
        running,    // one thread runs the queue's blocks
    };

    void scheduleLocked(bool fromHandler = false);
    void runSync(const std::function<void()>& block, bool runQueued);
    void drain();
    void runFrontLocked(std::unique_lock<std::mutex>& lock);
    void passOnLocked();

    const std::string label_;
    const std::shared_ptr<Runtime> runtime_;
    std::mutex mutex_;
    std::condition_variable turnChanged_;
    std::deque<Entry> entries_;
    State state_ = State::idle;
    int recentLongTurns_ = 0;  // worker turns to come that count as long ones
    mutable std::mutex specificMutex_;
    std::map<const void*, void*> specifics_;
};

}  // namespace corvaline::dispatch
