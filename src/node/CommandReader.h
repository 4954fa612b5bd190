#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/runloop/Executor.h"

namespace corvaline::node {

// Reads standard input line by line on a thread of its own and posts each line to the main
// executor, so the main loop never waits for input; the end of input is posted as `onEnd`.
// Create and destroy on the main thread. Lines still arriving after destruction are dropped.
class CommandReader {
  public:
    CommandReader(Executor& main, std::function<void(const std::string& line)> onLine,
                  std::function<void()> onEnd);
    ~CommandReader();
    CommandReader(const CommandReader&) = delete;
    CommandReader& operator=(const CommandReader&) = delete;

  private:
    struct Target;
    std::shared_ptr<Target> target_;
};

}  // namespace corvaline::node
