#include "WireTools.h"

#include "core/codec/ProgramKey.h"
#include "platform/crypto/Aes256Cbc.h"
#include "platform/crypto/Base64.h"

namespace corvaline::testing {

Bytes wireFromPlain(ByteView plain) {
    const std::string text = base64Encode(aes256CbcEncrypt(kProgramKey, kZeroIv, plain).value());
    Bytes wire(text.begin(), text.end());
    wire.push_back(0x1F);
    wire.push_back(0x1F);
    return wire;
}

Bytes plainFromWire(ByteView wire) {
    return aes256CbcDecryptRaw(kProgramKey, kZeroIv, base64DecodeSkippingJunk(wire).value())
        .value();
}

}  // namespace corvaline::testing
