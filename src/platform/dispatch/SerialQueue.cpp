#include "platform/dispatch/SerialQueue.h"

#include <algorithm>
#include <condition_variable>
#include <vector>

#include <asio/post.hpp>

#include "platform/dispatch/Runtime.h"

namespace corvaline::dispatch {
namespace {

// Queues whose blocks the current thread is running, innermost last.
thread_local std::vector<const SerialQueue*> runningQueues;

class RunningMark {
  public:
    explicit RunningMark(const SerialQueue* queue) { runningQueues.push_back(queue); }
    ~RunningMark() { runningQueues.pop_back(); }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;
};

// Blocks run per worker turn before the queue yields the thread to other queues.
constexpr int kBlocksPerTurn = 32;

}  // namespace

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label) {
    return std::make_shared<SerialQueue>(std::move(label));
}

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), runtime_(Runtime::shared()) {}

SerialQueue::~SerialQueue() = default;

void SerialQueue::async(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
    if (!owned_) {
        scheduleLocked();
    }
}

void SerialQueue::scheduleLocked() {
    owned_ = true;
    asio::post(runtime_->io(), [self = shared_from_this()] { self->drain(); });
}

void SerialQueue::drain() {
    for (int i = 0; i < kBlocksPerTurn; ++i) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex_);
            if (blocks_.empty()) {
                owned_ = false;
                return;
            }
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        RunningMark mark(this);
        block();
        // What the block holds is let go while it still runs on this queue: an object whose
        // last owner is the block then sees its own queue as current when it is destroyed.
        block = nullptr;
    }
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) {
        owned_ = false;
    } else {
        scheduleLocked();
    }
}

void SerialQueue::runMarked(const std::function<void()>& block) {
    RunningMark mark(this);
    block();
}

void SerialQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    {
        std::unique_lock lock(mutex_);
        if (!owned_) {
            // Idle: take the queue and run on the calling thread, without a worker.
            owned_ = true;
            lock.unlock();
            runMarked(block);
            lock.lock();
            if (blocks_.empty()) {
                owned_ = false;
            } else {
                scheduleLocked();
            }
            return;
        }
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        block();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const {
    return std::find(runningQueues.begin(), runningQueues.end(), this) != runningQueues.end();
}

void SerialQueue::setSpecific(const void* key, void* value) {
    std::lock_guard lock(specificMutex_);
    if (value == nullptr) {
        specifics_.erase(key);
    } else {
        specifics_[key] = value;
    }
}

void* SerialQueue::specific(const void* key) const {
    std::lock_guard lock(specificMutex_);
    auto found = specifics_.find(key);
    return found == specifics_.end() ? nullptr : found->second;
}

void* SerialQueue::getSpecific(const void* key) {
    for (auto queue = runningQueues.rbegin(); queue != runningQueues.rend(); ++queue) {
        if (void* value = (*queue)->specific(key)) {
            return value;
        }
    }
    return nullptr;
}

}  // namespace corvaline::dispatch
