#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/codec/Bytes.h"
#include "core/codec/Packet.h"

namespace corvaline {

// The Unicode field form of message texts: every UTF-16 unit on its own in one to three bytes
// (so a character above U+FFFF takes two three-byte sequences), each 0xA6 byte replaced by
// 0x01 so that the field separator never shows, and the marker 0x1F at the end.
// Pure functions: any thread.

inline constexpr std::uint8_t kUnicodeFieldMarker = 0x1F;

// Stands for a marked message field that is neither in the Unicode form nor valid UTF-8.
inline constexpr std::string_view kUndecodableMessageText = "[This message could not be read.]";

// Each unit by itself: below 0x80 one byte, below 0x800 two, else three.
Bytes UTF16ToUTF8(std::u16string_view units);

// Reads one-, two- and three-byte forms, each giving one unit; a lead byte is judged by its
// bits 7 and 5 alone. Nothing when a sequence is cut short by the end of the bytes or a
// following byte is not 10xxxxxx.
std::optional<std::u16string> UTF8ToUTF16(ByteView bytes);

UnicodeField EncodeUnicodeField(std::string_view text);

// "" for an empty field; nothing when the field does not end with the marker (it is then an
// 8-bit text field). A marked field that fails the Unicode form is read as standard UTF-8 as
// received, else it becomes kUndecodableMessageText.
std::optional<std::string> DecodeUnicodeField(ByteView field);

// The conversions through UTF-16 that the two calls above skip for plain ASCII; they give the
// same results for it, only slower.
UnicodeField EncodeUnicodeFieldThroughUTF16(std::string_view text);
std::optional<std::string> DecodeUnicodeFieldThroughUTF16(ByteView field);

}  // namespace corvaline
