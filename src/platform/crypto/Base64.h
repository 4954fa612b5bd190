#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvaline {

// Standard alphabet, "=" padding, no line breaks. Any thread.
std::string base64Encode(std::span<const std::uint8_t> data);

// Replaces the bytes by their base64 text, as base64Encode writes it, in the same vector.
// Any thread.
void base64EncodeInPlace(std::vector<std::uint8_t>& data);

// Decodes the base64 characters among the bytes, skipping every byte outside the alphabet
// (line ends, terminators and other noise). Nothing when what is left is not well formed:
// a character count that is not a multiple of 4, or padding anywhere but at the end.
// Any thread.
std::optional<std::vector<std::uint8_t>> base64DecodeSkippingJunk(
    std::span<const std::uint8_t> text);

}  // namespace corvaline
