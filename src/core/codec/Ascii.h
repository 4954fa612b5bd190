#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvaline {

// Plain ASCII reads the same in every code page of the packets, in UTF-8 and in the Unicode
// field form, so such text needs no conversion at all. Pure functions: any thread.

// One pass without an early exit, so that the compiler can test many bytes at a time.
inline bool isAscii(std::span<const std::uint8_t> bytes) {
    std::uint8_t seen = 0;
    for (const std::uint8_t byte : bytes) {
        seen |= byte;
    }
    return seen < 0x80;
}

inline bool isAscii(std::string_view text) {
    return isAscii(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace corvaline
