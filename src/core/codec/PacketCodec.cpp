#include "core/codec/PacketCodec.h"

#include <algorithm>

#include "core/codec/ProgramKey.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/encodings/Utf.h"

namespace corvaline {

PacketCodec::PacketCodec(std::unique_ptr<EncodingSetting> setting)
    : encoding_(std::move(setting)), random_(std::random_device{}()) {}

std::optional<Bytes> PacketCodec::EncryptString(std::string_view text, bool useUTF8) {
    std::string terminated(text);
    terminated.push_back('\0');
    const Bytes plain = useUTF8 ? Bytes(terminated.begin(), terminated.end())
                                : encoding_.EncodeTextField(terminated);
    return aes256CbcEncrypt(kProgramKey, kZeroIv, plain);
}

std::optional<std::string> PacketCodec::DecryptString(ByteView bytes, bool useUTF8) {
    const std::optional<Bytes> plain = aes256CbcDecryptRaw(kProgramKey, kZeroIv, bytes);
    if (!plain) {
        return std::nullopt;
    }
    const auto end = std::find(plain->begin(), plain->end(), std::uint8_t{0});
    const ByteView text(plain->data(), static_cast<std::size_t>(end - plain->begin()));
    if (!useUTF8) {
        return encoding_.DecodeTextField(text);
    }
    std::string utf8(text.begin(), text.end());
    if (!isValidUtf8(utf8)) {
        return std::nullopt;
    }
    return utf8;
}

}  // namespace corvaline
