#include <algorithm>
#include <charconv>
#include <cstring>

#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "core/codec/UnicodeField.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

constexpr std::uint8_t kSeparator = 0xA6;
// Both marks are one byte twice.
constexpr std::uint8_t kEndMark = 0x1F;
constexpr std::uint8_t kPrefixMark = ' ';
// Count and id come first, so the message text of the sender is raw field 8.
constexpr std::size_t kMessageTextField = 8;
constexpr std::size_t kFramingFields = 2;
constexpr std::size_t kMinimumFields = 7;

// The library's byte search looks at many bytes at a time, a loop over them at one.
std::size_t indexOf(ByteView bytes, std::uint8_t byte) {
    if (bytes.empty()) {
        return 0;
    }
    const void* found = std::memchr(bytes.data(), byte, bytes.size());
    return found != nullptr
               ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data())
               : bytes.size();
}

// Where the byte first stands twice in a row; the size when nowhere.
std::size_t indexOfPair(ByteView bytes, std::uint8_t byte) {
    std::size_t from = 0;
    while (from + 1 < bytes.size()) {
        const std::size_t at = from + indexOf(bytes.subspan(from, bytes.size() - from - 1), byte);
        if (at + 1 >= bytes.size()) {
            break;
        }
        if (bytes[at + 1] == byte) {
            return at;
        }
        from = at + 2;
    }
    return bytes.size();
}

// Drops a leading prefix ended by two spaces, unless those are the very last two bytes.
ByteView withoutPrefix(ByteView wire) {
    const std::size_t mark = indexOfPair(wire, kPrefixMark);
    if (mark + 2 >= wire.size()) {
        return wire;
    }
    return wire.subspan(mark + 2);
}

// Each field runs to the next separator; a last run without one loses its final byte.
std::vector<ByteView> splitFields(ByteView plain) {
    std::vector<ByteView> fields;
    fields.reserve(static_cast<std::size_t>(std::count(plain.begin(), plain.end(), kSeparator)) +
                   1);
    while (!plain.empty()) {
        const std::size_t length = indexOf(plain, kSeparator);
        if (length == plain.size()) {
            fields.push_back(plain.first(length - 1));
            break;
        }
        fields.push_back(plain.first(length));
        plain = plain.subspan(length + 1);
    }
    return fields;
}

std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<Packet> PacketCodec::ArrayFromBase64AESdata(ByteView wire) {
    if (indexOfPair(wire, kEndMark) == wire.size()) {
        return std::nullopt;
    }
    // Decoded and decrypted in one buffer; the fields are read from it without copies until
    // the count and the id have passed.
    std::optional<Bytes> plain = base64DecodeSkippingJunk(withoutPrefix(wire));
    if (!plain || !aes256CbcDecryptRawInPlace(kProgramKey, kZeroIv, *plain)) {
        return std::nullopt;
    }
    const ByteView whole(*plain);
    const ByteView contents = whole.first(indexOf(whole, 0));
    const std::vector<ByteView> raw = splitFields(contents);

    if (raw.size() < kFramingFields ||
        (raw.size() > kMessageTextField && raw[kMessageTextField].empty())) {
        return std::nullopt;
    }
    // Digits are ASCII, so a count in any other bytes fails here as it would once decoded.
    const std::optional<std::size_t> count =
        parseCount(std::string_view(reinterpret_cast<const char*>(raw[0].data()), raw[0].size()));
    if (!count || *count != raw.size() - 1) {
        return std::nullopt;
    }
    if (!CanContinueWithId(encoding_.DecodeTextField(raw[1]), contents)) {
        return std::nullopt;
    }
    if (raw.size() - kFramingFields < kMinimumFields) {
        return std::nullopt;
    }

    std::vector<Packet::Field> fields;
    fields.reserve(raw.size() - kFramingFields);
    for (std::size_t i = kFramingFields; i < raw.size(); ++i) {
        std::optional<std::string> text;
        if (i == kMessageTextField) {
            text = DecodeUnicodeField(raw[i]);
        }
        fields.emplace_back(text ? std::move(*text) : encoding_.DecodeTextField(raw[i]));
    }
    return Packet(std::move(fields));
}

}  // namespace corvaline
