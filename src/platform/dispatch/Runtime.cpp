#include "platform/dispatch/Runtime.h"

#include <algorithm>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>

namespace corvaline::dispatch {

struct Runtime::Workers {
    asio::executor_work_guard<asio::io_context::executor_type> guard;
    std::vector<std::thread> threads;
};

std::shared_ptr<Runtime> Runtime::shared() {
    static const std::shared_ptr<Runtime> runtime =
        std::make_shared<Runtime>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    return runtime;
}

Runtime::Runtime(unsigned threads)
    : workers_(std::make_unique<Workers>(Workers{asio::make_work_guard(io_), {}})) {
    for (unsigned i = 0; i < threads; ++i) {
        workers_->threads.emplace_back([this] { io_.run(); });
    }
}

Runtime::~Runtime() {
    workers_->guard.reset();
    io_.stop();
    for (auto& thread : workers_->threads) {
        // The last owner can be a block running on a worker: that thread cannot join itself.
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

}  // namespace corvaline::dispatch
