#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvaline {

// A count or size from a transfer header: decimal digits only, not negative, within 64 bits;
// anything else is none. Any thread.
inline std::optional<std::int64_t> wireNumber(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace corvaline
