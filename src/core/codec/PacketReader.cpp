#include <algorithm>
#include <charconv>

#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "core/codec/UnicodeField.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

constexpr std::uint8_t kSeparator = 0xA6;
constexpr std::uint8_t kEndMark[] = {0x1F, 0x1F};
constexpr std::uint8_t kPrefixMark[] = {' ', ' '};
// Count and id come first, so the message text of the sender is raw field 8.
constexpr std::size_t kMessageTextField = 8;
constexpr std::size_t kFramingFields = 2;
constexpr std::size_t kMinimumFields = 7;

bool contains(ByteView bytes, ByteView pattern) {
    return std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end()) != bytes.end();
}

// Drops a leading prefix ended by two spaces, unless those are the very last two bytes.
ByteView withoutPrefix(ByteView wire) {
    const auto mark =
        std::search(wire.begin(), wire.end(), std::begin(kPrefixMark), std::end(kPrefixMark));
    if (mark == wire.end() || mark + 2 == wire.end()) {
        return wire;
    }
    return wire.subspan(static_cast<std::size_t>(mark - wire.begin()) + 2);
}

// Each field runs to the next separator; a last run without one loses its final byte.
std::vector<ByteView> splitFields(ByteView plain) {
    std::vector<ByteView> fields;
    std::size_t start = 0;
    while (start < plain.size()) {
        const auto rest = plain.subspan(start);
        const auto separator = std::find(rest.begin(), rest.end(), kSeparator);
        if (separator == rest.end()) {
            fields.push_back(rest.first(rest.size() - 1));
            break;
        }
        const auto length = static_cast<std::size_t>(separator - rest.begin());
        fields.push_back(rest.first(length));
        start += length + 1;
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
    if (!contains(wire, kEndMark)) {
        return std::nullopt;
    }
    const std::optional<Bytes> cipher = base64DecodeSkippingJunk(withoutPrefix(wire));
    if (!cipher) {
        return std::nullopt;
    }
    const std::optional<Bytes> plain = aes256CbcDecryptRaw(kProgramKey, kZeroIv, *cipher);
    if (!plain) {
        return std::nullopt;
    }
    const auto terminator = std::find(plain->begin(), plain->end(), std::uint8_t{0});
    const std::vector<ByteView> raw =
        splitFields(ByteView(plain->data(), static_cast<std::size_t>(terminator - plain->begin())));

    std::vector<Packet::Field> fields;
    fields.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (i != kMessageTextField) {
            fields.emplace_back(encoding_.DecodeTextField(raw[i]));
            continue;
        }
        if (raw[i].empty()) {
            return std::nullopt;
        }
        std::optional<std::string> text = DecodeUnicodeField(raw[i]);
        fields.emplace_back(text ? std::move(*text) : encoding_.DecodeTextField(raw[i]));
    }

    if (fields.size() < kFramingFields) {
        return std::nullopt;
    }
    const std::optional<std::size_t> count = parseCount(std::get<std::string>(fields[0]));
    if (!count || *count != fields.size() - 1) {
        return std::nullopt;
    }
    if (!CanContinueWithId(std::get<std::string>(fields[1]))) {
        return std::nullopt;
    }
    fields.erase(fields.begin(), fields.begin() + kFramingFields);
    if (fields.size() < kMinimumFields) {
        return std::nullopt;
    }
    return Packet(std::move(fields));
}

}  // namespace corvaline
