// Feeds the header-line reader hostile lines. The first byte picks the way in: a line as it
// comes, or our pieces encrypted the way a writer would (split at 0x1F), so that the key and
// value split sees inputs past the cipher.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FixedEncodingSetting.h"
#include "core/codec/TransferHeader.h"
#include "platform/crypto/Base64.h"

using namespace corvaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PacketCodec codec(std::make_unique<FixedEncodingSetting>(12));
    if (size == 0) {
        return 0;
    }
    const ByteView rest(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        ParseTransferHeader(codec, rest);
        return 0;
    }
    Bytes line;
    auto start = rest.begin();
    while (true) {
        const auto end = std::find(start, rest.end(), std::uint8_t{0x1F});
        const auto cipher = codec.EncryptString(std::string(start, end), (data[0] & 2) != 0);
        if (cipher) {
            const std::string text = base64Encode(*cipher);
            line.insert(line.end(), text.begin(), text.end());
        }
        line.push_back(0x1F);
        if (end == rest.end()) {
            break;
        }
        start = end + 1;
    }
    line.push_back('\r');
    line.push_back('\n');
    ParseTransferHeader(codec, line);
    return 0;
}
