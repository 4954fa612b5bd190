#include "core/codec/UnicodeField.h"

#include <algorithm>

#include "core/codec/Ascii.h"
#include "platform/encodings/Utf.h"

namespace corvaline {
namespace {

constexpr std::uint8_t kSeparator = 0xA6;
constexpr std::uint8_t kSeparatorStandIn = 0x01;

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

Bytes UTF16ToUTF8(std::u16string_view units) {
    Bytes out;
    out.reserve(units.size() * 3);
    for (const char16_t unit : units) {
        if (unit < 0x80) {
            out.push_back(static_cast<std::uint8_t>(unit));
        } else if (unit < 0x800) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | (unit >> 6)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (unit & 0x3F)));
        } else {
            out.push_back(static_cast<std::uint8_t>(0xE0 | (unit >> 12)));
            out.push_back(static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (unit & 0x3F)));
        }
    }
    return out;
}

std::optional<std::u16string> UTF8ToUTF16(ByteView bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        if ((lead & 0x80) == 0) {
            units.push_back(lead);
            i += 1;
        } else if ((lead & 0x20) == 0) {
            if (bytes.size() - i < 2 || !isContinuation(bytes[i + 1])) {
                return std::nullopt;
            }
            units.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F)));
            i += 2;
        } else {
            if (bytes.size() - i < 3 || !isContinuation(bytes[i + 1]) ||
                !isContinuation(bytes[i + 2])) {
                return std::nullopt;
            }
            units.push_back(static_cast<char16_t>(
                ((lead & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F)));
            i += 3;
        }
    }
    return units;
}

UnicodeField EncodeUnicodeField(std::string_view text) {
    if (!isAscii(text)) {
        return EncodeUnicodeFieldThroughUTF16(text);
    }
    UnicodeField field;
    field.bytes.reserve(text.size() + 1);
    field.bytes.assign(text.begin(), text.end());
    field.bytes.push_back(kUnicodeFieldMarker);
    return field;
}

UnicodeField EncodeUnicodeFieldThroughUTF16(std::string_view text) {
    UnicodeField field{UTF16ToUTF8(utf8ToUtf16Replacing(text))};
    std::replace(field.bytes.begin(), field.bytes.end(), kSeparator, kSeparatorStandIn);
    field.bytes.push_back(kUnicodeFieldMarker);
    return field;
}

std::optional<std::string> DecodeUnicodeField(ByteView field) {
    if (field.empty() || field.back() != kUnicodeFieldMarker) {
        return DecodeUnicodeFieldThroughUTF16(field);
    }
    const ByteView body = field.first(field.size() - 1);
    // The stand-in byte is ASCII too, but it stands for a byte that is not.
    if (!isAscii(body) || std::find(body.begin(), body.end(), kSeparatorStandIn) != body.end()) {
        return DecodeUnicodeFieldThroughUTF16(field);
    }
    return std::string(body.begin(), body.end());
}

std::optional<std::string> DecodeUnicodeFieldThroughUTF16(ByteView field) {
    if (field.empty()) {
        return std::string();
    }
    if (field.back() != kUnicodeFieldMarker) {
        return std::nullopt;
    }
    Bytes body(field.begin(), field.end() - 1);
    std::replace(body.begin(), body.end(), kSeparatorStandIn, kSeparator);
    if (const std::optional<std::u16string> units = UTF8ToUTF16(body)) {
        return utf16ToUtf8Replacing(*units);
    }
    const std::string asReceived(field.begin(), field.end());
    if (isValidUtf8(asReceived)) {
        return asReceived;
    }
    return std::string(kUndecodableMessageText);
}

}  // namespace corvaline
