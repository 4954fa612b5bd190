#include <algorithm>

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

bool isEmpty(const Packet::Field& field) {
    if (const auto* text = std::get_if<std::string>(&field)) {
        return text->empty();
    }
    return std::get<UnicodeField>(field).bytes.empty();
}

}  // namespace

std::optional<Bytes> PacketCodec::PlainPacket(const Packet& packet) {
    if (packet.size() < kMinimumFields ||
        std::any_of(packet.fields().begin(), packet.fields().end(), isEmpty)) {
        return std::nullopt;
    }
    const int id =
        std::uniform_int_distribution<int>(0, kPacketIdRange - 1)(random_) + kFirstPacketId;

    std::vector<Packet::Field> fields;
    fields.reserve(packet.size() + 5);
    fields.emplace_back(std::to_string(packet.size() + 3));
    fields.emplace_back(std::to_string(id));
    fields.insert(fields.end(), packet.fields().begin(), packet.fields().end());
    fields.emplace_back("0");
    fields.emplace_back("2");
    fields.emplace_back(std::string(1, '\0'));

    Bytes plain;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            plain.push_back(kSeparator);
        }
        if (const auto* text = std::get_if<std::string>(&fields[i])) {
            Bytes bytes = encoding_.EncodeTextField(*text);
            std::replace(bytes.begin(), bytes.end(), kSeparator, kSeparatorLookalike);
            plain.insert(plain.end(), bytes.begin(), bytes.end());
        } else {
            const Bytes& bytes = std::get<UnicodeField>(fields[i]).bytes;
            plain.insert(plain.end(), bytes.begin(), bytes.end());
        }
    }

    const std::optional<Bytes> cipher = aes256CbcEncrypt(kProgramKey, kZeroIv, plain);
    if (!cipher) {
        return std::nullopt;
    }
    const std::string text = base64Encode(*cipher);
    Bytes wire(text.begin(), text.end());
    wire.push_back(0x1F);
    wire.push_back(0x1F);
    return wire;
}

}  // namespace corvaline
