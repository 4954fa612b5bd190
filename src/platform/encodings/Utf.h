#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvaline {

// Standard, strict conversions between UTF-8 and UTF-16. Any thread.

// Nothing when the bytes are not well-formed UTF-8.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// Ill-formed sequences become U+FFFD.
std::u16string utf8ToUtf16Replacing(std::string_view text);
// Nothing when the units hold an unpaired surrogate.
std::optional<std::string> utf16ToUtf8(std::u16string_view units);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8Replacing(std::u16string_view units);
bool isValidUtf8(std::string_view text);

}  // namespace corvaline
