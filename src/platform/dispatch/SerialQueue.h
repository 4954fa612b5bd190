#pragma once

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
// worker pool. Callable from any thread.
class SerialQueue : public Queue, public std::enable_shared_from_this<SerialQueue> {
  public:
    static std::shared_ptr<SerialQueue> create(std::string label);

    explicit SerialQueue(std::string label);  // use create(): the queue must be shared-owned
    ~SerialQueue() override;

    const std::string& label() const { return label_; }

    void async(std::function<void()> block) override;
    // Runs the block on this queue and waits for it. Runs inline when the calling thread is
    // already running a block of this queue (also further down a chain of sync calls), so a
    // queue never waits on itself.
    void sync(const std::function<void()>& block);

    // True while the calling thread runs a block of this queue.
    bool isCurrent() const;

    // Queue-specific keys: `getSpecific` looks at the queues the calling thread is running
    // blocks of, innermost first. A null value removes the key.
    void setSpecific(const void* key, void* value);
    void* specific(const void* key) const;
    static void* getSpecific(const void* key);

  private:
    void scheduleLocked();
    void drain();
    void runMarked(const std::function<void()>& block);

    const std::string label_;
    const std::shared_ptr<Runtime> runtime_;
    std::mutex mutex_;
    std::deque<std::function<void()>> blocks_;
    bool owned_ = false;  // a worker or a sync caller is running this queue
    mutable std::mutex specificMutex_;
    std::map<const void*, void*> specifics_;
};

}  // namespace corvaline::dispatch
