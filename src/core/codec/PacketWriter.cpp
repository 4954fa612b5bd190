#include <algorithm>
#include <numeric>

#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

constexpr std::size_t kMinimumFields = 8;
constexpr std::uint8_t kSeparator = 0xA6;
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

    Bytes plain;
    plain.reserve(std::accumulate(
        packet.fields().begin(), packet.fields().end(), kFramingBytes,
        [](std::size_t sum, const Packet::Field& field) { return sum + sizeOf(field) + 1; }));
    const auto appendText = [&](std::string_view text) {
        const auto start = static_cast<std::ptrdiff_t>(plain.size());
        encoding_.AppendTextField(plain, text);
        std::replace(plain.begin() + start, plain.end(), kSeparator, kSeparatorLookalike);
        plain.push_back(kSeparator);
    };
    appendText(std::to_string(packet.size() + 3));
    appendText(std::to_string(id));
    for (const Packet::Field& field : packet.fields()) {
        if (const auto* text = std::get_if<std::string>(&field)) {
            appendText(*text);
        } else {
            const Bytes& bytes = std::get<UnicodeField>(field).bytes;
            plain.insert(plain.end(), bytes.begin(), bytes.end());
            plain.push_back(kSeparator);
        }
    }
    appendText("0");
    appendText("2");
    plain.push_back('\0');

    const std::optional<Bytes> cipher = aes256CbcEncrypt(kProgramKey, kZeroIv, plain);
    if (!cipher) {
        return std::nullopt;
    }
    const std::string text = base64Encode(*cipher);
    Bytes wire;
    wire.reserve(text.size() + 2);
    wire.assign(text.begin(), text.end());
    wire.push_back(0x1F);
    wire.push_back(0x1F);
    return wire;
}

}  // namespace corvaline
