#pragma once

#include <functional>
#include <memory>

#include "platform/runloop/Executor.h"

namespace corvaline {

// A callback that system monitors fire from their own queues and that runs on the main
// executor, never after its owner has gone. Create, fire-from-anywhere, destroy on main.
template <typename... Args>
class MainThreadNotice {
  public:
    MainThreadNotice(Executor& main, std::function<void(Args...)> callback)
        : main_(main),
          callback_(std::make_shared<std::function<void(Args...)>>(std::move(callback))) {}

    // Callable from any thread.
    void fire(Args... args) const {
        main_.post([weak = std::weak_ptr(callback_), args...] {
            if (auto callback = weak.lock()) {
                (*callback)(args...);
            }
        });
    }

  private:
    Executor& main_;
    std::shared_ptr<std::function<void(Args...)>> callback_;
};

}  // namespace corvaline
