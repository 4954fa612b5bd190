#pragma once

#include <memory>

#include "platform/dispatch/Queue.h"

namespace corvaline::dispatch {

// The concurrent queue for blocking calls (name resolution): blocks may run at the same time
// and in any order. Never used for socket state. Callable from any thread.
std::shared_ptr<Queue> globalQueue();

}  // namespace corvaline::dispatch
