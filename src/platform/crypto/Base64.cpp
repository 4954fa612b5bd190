#include "platform/crypto/Base64.h"

#include <array>

namespace corvaline {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t kJunk = -1;
constexpr std::int8_t kPad = -2;

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(kJunk);
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    table['='] = kPad;
    return table;
}

constexpr std::array<std::int8_t, 256> kDecodeTable = makeDecodeTable();

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> data) {
    // Sized once and written by position: appending character by character costs more than
    // the conversion itself.
    std::string out((data.size() + 2) / 3 * 4, '\0');
    char* next = out.data();
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        next[0] = kAlphabet[(group >> 18) & 63];
        next[1] = kAlphabet[(group >> 12) & 63];
        next[2] = kAlphabet[(group >> 6) & 63];
        next[3] = kAlphabet[group & 63];
        next += 4;
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        std::uint32_t group = data[i] << 16;
        if (rest == 2) {
            group |= data[i + 1] << 8;
        }
        next[0] = kAlphabet[(group >> 18) & 63];
        next[1] = kAlphabet[(group >> 12) & 63];
        next[2] = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        next[3] = '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> base64DecodeSkippingJunk(
    std::span<const std::uint8_t> text) {
    // At most three bytes for every four characters; trimmed to what was written at the end.
    std::vector<std::uint8_t> out(text.size() / 4 * 3);
    std::size_t written = 0;
    std::uint32_t group = 0;
    int inGroup = 0;
    int padding = 0;
    for (const std::uint8_t byte : text) {
        const std::int8_t value = kDecodeTable[byte];
        if (value == kJunk) {
            continue;
        }
        if (value == kPad) {
            // Padding fills the last group only, after at least two characters of it.
            if (inGroup < 2) {
                return std::nullopt;
            }
            ++padding;
            ++inGroup;
        } else {
            if (padding > 0) {
                return std::nullopt;
            }
            group = (group << 6) | static_cast<std::uint32_t>(value);
            ++inGroup;
        }
        if (inGroup == 4) {
            group <<= 6 * padding;
            out[written++] = static_cast<std::uint8_t>(group >> 16);
            if (padding < 2) {
                out[written++] = static_cast<std::uint8_t>(group >> 8);
            }
            if (padding < 1) {
                out[written++] = static_cast<std::uint8_t>(group);
            }
            group = 0;
            inGroup = 0;
            if (padding > 0) {
                padding = 3;  // nothing but noise may follow
            }
        }
    }
    if (inGroup != 0) {
        return std::nullopt;
    }
    out.resize(written);
    return out;
}

}  // namespace corvaline
