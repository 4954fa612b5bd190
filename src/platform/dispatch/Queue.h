#pragma once

#include <functional>

namespace corvaline::dispatch {

// Anything blocks can be handed to: a serial socket queue, the main queue, the blocking pool.
// Callable from any thread.
class Queue {
  public:
    virtual ~Queue() = default;
    // Runs the block later, never inline; blocks posted from one thread keep their order
    // on serial queues.
    virtual void async(std::function<void()> block) = 0;
};

}  // namespace corvaline::dispatch
