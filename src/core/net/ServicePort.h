#pragma once

#include <cstdint>

namespace corvaline {

// Presence (UDP) and messages (TCP) share one port number.
inline constexpr std::uint16_t kServicePort = 19771;

}  // namespace corvaline
