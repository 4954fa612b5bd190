#include "platform/dispatch/Runtime.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>

namespace corvaline::dispatch {

struct Runtime::Workers {
    explicit Workers(asio::io_context& io) : guard(asio::make_work_guard(io)) {}
    asio::executor_work_guard<asio::io_context::executor_type> guard;
    std::vector<std::thread> threads;
    std::mutex stopping;
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

Runtime::Runtime(unsigned threads)
    : threadCount_(threads), workers_(std::make_unique<Workers>(io_)) {
    for (unsigned i = 0; i < threads; ++i) {
        workers_->threads.emplace_back([this] { io_.run(); });
    }
}

Runtime::~Runtime() {
    stopWorkers();
}

void Runtime::stopWorkers() {
    std::lock_guard lock(workers_->stopping);
    workers_->guard.reset();
    io_.stop();
    for (auto& thread : workers_->threads) {
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
