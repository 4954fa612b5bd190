#include "core/codec/TransferHeader.h"

#include <algorithm>

#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

constexpr std::uint8_t kFieldEnd = 0x1F;

std::string propertyName(std::string key) {
    for (char& c : key) {
        if (c == '-') {
            c = '_';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

}  // namespace

std::optional<Bytes> prepareHeader(PacketCodec& codec, const HeaderFields& keysAndValues) {
    Bytes line;
    for (const auto& [key, value] : keysAndValues) {
        const std::optional<Bytes> cipher = codec.EncryptString(key + "=" + value, false);
        if (!cipher) {
            return std::nullopt;
        }
        const std::string text = base64Encode(*cipher);
        line.insert(line.end(), text.begin(), text.end());
        line.push_back(kFieldEnd);
    }
    line.push_back('\r');
    line.push_back('\n');
    return line;
}

HeaderFields ParseTransferHeader(PacketCodec& codec, ByteView line) {
    HeaderFields fields;
    auto start = line.begin();
    while (true) {
        const auto end = std::find(start, line.end(), kFieldEnd);
        const std::optional<Bytes> cipher = base64DecodeSkippingJunk(ByteView(start, end));
        const std::optional<std::string> text =
            cipher ? codec.DecryptString(*cipher, false) : std::nullopt;
        if (!text) {
            break;
        }
        // Keys never hold "=", values may: a sender named "Ann=Lee" or a file "a=b.txt".
        const std::size_t equals = text->find('=');
        if (equals == std::string::npos) {
            break;
        }
        fields.emplace_back(propertyName(text->substr(0, equals)), text->substr(equals + 1));
        if (end == line.end()) {
            break;
        }
        start = end + 1;
    }
    return fields;
}

}  // namespace corvaline
