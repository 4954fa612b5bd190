#pragma once

#include <memory>

#include <asio/io_context.hpp>

#include "platform/dispatch/DescriptorRegistry.h"
#include "platform/dispatch/TimerQueue.h"

namespace corvaline::dispatch {

// The small worker pool that serial queues, readiness sources and timers run on. Internal to
// the dispatch layer; callable from any thread. Every object that schedules on it keeps the
// runtime alive, so it outlives them all.
class Runtime {
  public:
    static std::shared_ptr<Runtime> shared();

    explicit Runtime(unsigned threads);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    asio::io_context& io() { return io_; }
    DescriptorRegistry& descriptors() { return descriptors_; }
    TimerQueue& timers() { return timers_; }
    unsigned threadCount() const { return threadCount_; }
    // Ends the workers (after the blocks they are running); nothing runs on the runtime after.
    void stopWorkers();

  private:
    struct Workers;
    const unsigned threadCount_;
    asio::io_context io_;
    DescriptorRegistry descriptors_{io_};
    TimerQueue timers_{io_};
    std::unique_ptr<Workers> workers_;
};

}  // namespace corvaline::dispatch
