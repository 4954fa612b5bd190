#pragma once

#include <cstdint>

namespace corvaline {

// A uniform random integer in [0, bound); bound must be positive. Main thread only (one
// process-wide generator, seeded once from the system's entropy).
std::int64_t uniformRandomBelow(std::int64_t bound);

}  // namespace corvaline
