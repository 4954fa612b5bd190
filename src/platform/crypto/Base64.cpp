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

std::uint32_t wholeGroup(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
}

template <typename Char>
void writeGroup(Char* out, std::uint32_t group) {
    out[0] = static_cast<Char>(kAlphabet[(group >> 18) & 63]);
    out[1] = static_cast<Char>(kAlphabet[(group >> 12) & 63]);
    out[2] = static_cast<Char>(kAlphabet[(group >> 6) & 63]);
    out[3] = static_cast<Char>(kAlphabet[group & 63]);
}

// One or two bytes left over, with "=" for what is missing.
template <typename Char>
void writeLastGroup(Char* out, const std::uint8_t* bytes, std::size_t count) {
    const std::uint32_t group =
        (std::uint32_t{bytes[0]} << 16) | (count == 2 ? std::uint32_t{bytes[1]} << 8 : 0);
    writeGroup(out, group);
    if (count == 1) {
        out[2] = '=';
    }
    out[3] = '=';
}

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> data) {
    // Sized once and written by position: appending character by character costs more than
    // the conversion itself.
    std::string out((data.size() + 2) / 3 * 4, '\0');
    char* next = out.data();
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        writeGroup(next, wholeGroup(&data[i]));
        next += 4;
    }
    if (i < data.size()) {
        writeLastGroup(next, &data[i], data.size() - i);
    }
    return out;
}

void base64EncodeInPlace(std::vector<std::uint8_t>& data) {
    const std::size_t groups = data.size() / 3;
    const std::size_t rest = data.size() % 3;
    data.resize((data.size() + 2) / 3 * 4);
    std::uint8_t* const bytes = data.data();
    // From the end backwards: each group of four characters lands at or after the three bytes
    // it comes from, and every group before it lies wholly before its place.
    if (rest > 0) {
        const std::uint8_t last[2] = {bytes[groups * 3],
                                      rest == 2 ? bytes[groups * 3 + 1] : std::uint8_t{0}};
        writeLastGroup(bytes + groups * 4, last, rest);
    }
    for (std::size_t group = groups; group-- > 0;) {
        writeGroup(bytes + group * 4, wholeGroup(bytes + group * 3));
    }
}

std::optional<std::vector<std::uint8_t>> base64DecodeSkippingJunk(
    std::span<const std::uint8_t> text) {
    // At most three bytes for every four characters; trimmed to what was written at the end.
    std::vector<std::uint8_t> out(text.size() / 4 * 3);
    std::size_t written = 0;
    std::uint32_t group = 0;
    int inGroup = 0;
    int padding = 0;
    const std::uint8_t* const data = text.data();
    std::size_t i = 0;
    while (i < text.size()) {
        // Whole groups of four alphabet characters go at once; anything else (noise, padding,
        // a group split by noise) takes the careful path one character at a time.
        if (inGroup == 0 && padding == 0) {
            for (; i + 4 <= text.size(); i += 4) {
                const std::int8_t a = kDecodeTable[data[i]];
                const std::int8_t b = kDecodeTable[data[i + 1]];
                const std::int8_t c = kDecodeTable[data[i + 2]];
                const std::int8_t d = kDecodeTable[data[i + 3]];
                if ((a | b | c | d) < 0) {
                    break;
                }
                const auto whole =
                    (static_cast<std::uint32_t>(a) << 18) | (static_cast<std::uint32_t>(b) << 12) |
                    (static_cast<std::uint32_t>(c) << 6) | static_cast<std::uint32_t>(d);
                out[written] = static_cast<std::uint8_t>(whole >> 16);
                out[written + 1] = static_cast<std::uint8_t>(whole >> 8);
                out[written + 2] = static_cast<std::uint8_t>(whole);
                written += 3;
            }
            if (i == text.size()) {
                break;
            }
        }
        const std::int8_t value = kDecodeTable[data[i++]];
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
