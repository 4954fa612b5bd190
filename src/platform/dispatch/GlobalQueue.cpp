#include "platform/dispatch/GlobalQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace corvaline::dispatch {
namespace {

// Threads of their own: a block may block for as long as a name server takes, and must not
// hold up a worker of the runtime meanwhile. Blocks still waiting at exit are dropped.
class BlockingPool : public Queue {
  public:
    BlockingPool() {
        for (int i = 0; i < kThreads; ++i) {
            threads_.emplace_back([this] { work(); });
        }
    }
    ~BlockingPool() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_) {
            thread.join();
        }
    }
    BlockingPool(const BlockingPool&) = delete;
    BlockingPool& operator=(const BlockingPool&) = delete;

    void async(std::function<void()> block) override {
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        wake_.notify_one();
    }

  private:
    static constexpr int kThreads = 4;

    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return stopping_ || !blocks_.empty(); });
            if (stopping_) {
                return;
            }
            auto block = std::move(blocks_.front());
            blocks_.pop_front();
            lock.unlock();
            block();
            block = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace

std::shared_ptr<Queue> globalQueue() {
    static const std::shared_ptr<Queue> queue = std::make_shared<BlockingPool>();
    return queue;
}

}  // namespace corvaline::dispatch
