#include <algorithm>
#include <numeric>

#include "core/codec/Ascii.h"
#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

constexpr std::size_t kMinimumFields = 8;
constexpr std::uint8_t kSeparator = 0xA6;
constexpr std::uint8_t kEndMark[] = {0x1F, 0x1F};
// A text field can never carry the separator byte; the lookalike keeps the packet readable.
constexpr std::uint8_t kSeparatorLookalike = '|';
constexpr int kFirstPacketId = 1000000;
constexpr int kPacketIdRange = 8999999;
// Count, id, the closing fields, their separators and the cipher's padding.
constexpr std::size_t kFramingBytes = 48;

std::size_t sizeOf(const Packet::Field& field) {
    if (const auto* text = std::get_if<std::string>(&field)) {
        return text->size();
    }
    return std::get<UnicodeField>(field).bytes.size();
}

}  // namespace

std::optional<Bytes> PacketCodec::PlainPacket(const Packet& packet) {
    if (packet.size() < kMinimumFields ||
        std::any_of(packet.fields().begin(), packet.fields().end(),
                    [](const Packet::Field& field) { return sizeOf(field) == 0; })) {
        return std::nullopt;
    }
    const int id =
        std::uniform_int_distribution<int>(0, kPacketIdRange - 1)(random_) + kFirstPacketId;

    // One buffer from the plain text to the wire: the cipher works in place and base64 grows
    // it from the end, so it is sized once for the longest of the three.
    const std::size_t plainBound = std::accumulate(
        packet.fields().begin(), packet.fields().end(), kFramingBytes,
        [](std::size_t sum, const Packet::Field& field) { return sum + sizeOf(field) + 1; });
    Bytes buffer;
    buffer.reserve((plainBound + 2) / 3 * 4 + sizeof(kEndMark));
    const auto appendText = [&](std::string_view text) {
        const auto start = static_cast<std::ptrdiff_t>(buffer.size());
        encoding_.AppendTextField(buffer, text);
        if (!isAscii(text)) {
            std::replace(buffer.begin() + start, buffer.end(), kSeparator, kSeparatorLookalike);
        }
        buffer.push_back(kSeparator);
    };
    appendText(std::to_string(packet.size() + 3));
    appendText(std::to_string(id));
    for (const Packet::Field& field : packet.fields()) {
        if (const auto* text = std::get_if<std::string>(&field)) {
            appendText(*text);
        } else {
            const Bytes& bytes = std::get<UnicodeField>(field).bytes;
            buffer.insert(buffer.end(), bytes.begin(), bytes.end());
            buffer.push_back(kSeparator);
        }
    }
    appendText("0");
    appendText("2");
    buffer.push_back('\0');

    if (!aes256CbcEncryptInPlace(kProgramKey, kZeroIv, buffer)) {
        return std::nullopt;
    }
    base64EncodeInPlace(buffer);
    buffer.insert(buffer.end(), std::begin(kEndMark), std::end(kEndMark));
    return buffer;
}

}  // namespace corvaline
