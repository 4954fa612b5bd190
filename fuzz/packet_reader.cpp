// Feeds the packet reader hostile bytes. The first byte picks the way in: wire bytes as they
// come, or a plaintext of our choosing wrapped the way a writer would, so that the field
// split, the field decoders and the framing checks see inputs past the cipher.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FixedEncodingSetting.h"
#include "core/codec/PacketCodec.h"
#include "core/codec/ProgramKey.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

using namespace corvaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PacketCodec codec(std::make_unique<FixedEncodingSetting>(12));
    if (size == 0) {
        return 0;
    }
    const ByteView rest(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        codec.ArrayFromBase64AESdata(rest);
        return 0;
    }
    const auto cipher = aes256CbcEncrypt(kProgramKey, kZeroIv, rest);
    if (!cipher) {
        return 0;
    }
    const std::string text = base64Encode(*cipher);
    Bytes wire(text.begin(), text.end());
    wire.push_back(0x1F);
    wire.push_back(0x1F);
    const auto packet = codec.ArrayFromBase64AESdata(wire);
    if (packet && packet->size() < 7) {
        __builtin_trap();
    }
    return 0;
}
