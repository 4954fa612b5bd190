// Holds the shortcuts for plain ASCII to the slow conversions: any bytes, as a received field
// or as a text to send, must give the same result both ways. The first byte picks the code
// page the two encoders start in.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "FixedEncodingSetting.h"
#include "core/codec/PacketTextEncoding.h"
#include "core/codec/UnicodeField.h"

using namespace corvaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto& encodings = PacketTextEncoding::kFallbackTextEncodings;
    const long long encoding = encodings[data[0] % encodings.size()];
    PacketTextEncoding fast(std::make_unique<FixedEncodingSetting>(encoding));
    PacketTextEncoding slow(std::make_unique<FixedEncodingSetting>(encoding));
    const ByteView bytes(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    if (fast.DecodeTextField(bytes) != slow.DecodeTextFieldThroughCodePage(bytes) ||
        fast.EncodeTextField(text) != slow.EncodeTextFieldThroughCodePages(text) ||
        fast.current() != slow.current() ||
        DecodeUnicodeField(bytes) != DecodeUnicodeFieldThroughUTF16(bytes) ||
        EncodeUnicodeField(text) != EncodeUnicodeFieldThroughUTF16(text)) {
        __builtin_trap();
    }
    return 0;
}
