#include "platform/dispatch/SerialQueue.h"

#include <algorithm>
#include <chrono>
#include <vector>

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
// A turn this long makes the queue's next turns count as long ones (a transfer encrypting a
// chunk), until as many short turns have followed as the memory says.
constexpr auto kLongTurn = std::chrono::microseconds(500);
constexpr int kLongTurnMemory = 8;

}  // namespace

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label) {
    return std::make_shared<SerialQueue>(std::move(label));
}

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), runtime_(Runtime::shared()) {}

SerialQueue::~SerialQueue() = default;

struct SerialQueue::Turn {
    bool granted = false;  // the queue is the caller's now
};

void SerialQueue::async(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    entries_.push_back({std::move(block), nullptr});
    if (state_ == State::idle) {
        scheduleLocked();
    }
}

void SerialQueue::asyncFromHandler(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    entries_.push_back({std::move(block), nullptr});
    if (state_ == State::idle) {
        scheduleLocked(true);
    }
}

void SerialQueue::scheduleLocked(bool fromHandler) {
    state_ = State::scheduled;
    runtime_->post([self = shared_from_this()] { self->drain(); },
                   {.continuesHandler = fromHandler, .mayRunLong = recentLongTurns_ > 0});
    // A sync caller in line may now run the blocks before it itself.
    turnChanged_.notify_all();
}

void SerialQueue::drain() {
    std::unique_lock lock(mutex_);
    if (state_ != State::scheduled) {
        return;  // a sync caller took this turn's blocks over
    }
    state_ = State::running;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBlocksPerTurn && !entries_.empty() && entries_.front().turn == nullptr;
         ++i) {
        runFrontLocked(lock);
    }
    if (std::chrono::steady_clock::now() - start >= kLongTurn) {
        recentLongTurns_ = kLongTurnMemory;
    } else if (recentLongTurns_ > 0) {
        --recentLongTurns_;
    }
    passOnLocked();
}

void SerialQueue::runFrontLocked(std::unique_lock<std::mutex>& lock) {
    auto block = std::move(entries_.front().block);
    entries_.pop_front();
    lock.unlock();
    {
        RunningMark mark(this);
        block();
        // What the block holds is let go while it still runs on this queue: an object whose
        // last owner is the block then sees its own queue as current when it is destroyed.
        block = nullptr;
    }
    lock.lock();
}

// The running thread stops: the queue goes to the sync caller next in line, to a worker, or
// rests.
void SerialQueue::passOnLocked() {
    if (entries_.empty()) {
        state_ = State::idle;
    } else if (Turn* turn = entries_.front().turn) {
        entries_.pop_front();
        turn->granted = true;  // stays running, on the caller's thread
        turnChanged_.notify_all();
    } else {
        scheduleLocked();
    }
}

void SerialQueue::sync(const std::function<void()>& block) {
    runSync(block, false);
}

void SerialQueue::syncAndRunQueued(const std::function<void()>& block) {
    runSync(block, true);
}

void SerialQueue::runSync(const std::function<void()>& block, bool runQueued) {
    if (isCurrent()) {
        block();
        return;
    }
    Turn turn;
    std::unique_lock lock(mutex_);
    entries_.push_back({nullptr, &turn});
    while (!turn.granted) {
        if (state_ == State::running) {
            turnChanged_.wait(lock);
            continue;
        }
        // Nobody runs the queue, and its posted turn may wait behind workers that are all
        // blocked like this one: run the blocks before ours here. Our entry stays in line,
        // so the front is never empty.
        state_ = State::running;
        while (entries_.front().turn == nullptr) {
            runFrontLocked(lock);
        }
        passOnLocked();  // grants ours, or an earlier caller's
    }
    lock.unlock();
    {
        RunningMark mark(this);
        block();
    }
    lock.lock();
    for (int i = 0;
         runQueued && i < kBlocksPerTurn && !entries_.empty() && entries_.front().turn == nullptr;
         ++i) {
        runFrontLocked(lock);
    }
    passOnLocked();
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
