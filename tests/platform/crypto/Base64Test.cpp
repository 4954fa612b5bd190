#include "platform/crypto/Base64.h"

#include <gtest/gtest.h>

#include <numeric>

namespace corvaline {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64Test, EncodesStandardVectorsAndDecodesThemBack) {
    const std::vector<std::pair<std::string_view, std::string_view>> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(bytesOf(plain)), encoded);
        EXPECT_EQ(base64DecodeSkippingJunk(bytesOf(encoded)), bytesOf(plain)) << encoded;
    }
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), std::uint8_t{0});
    const std::string text = base64Encode(all);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(base64DecodeSkippingJunk(bytesOf(text)), all);
}

TEST(Base64Test, SkipsEveryByteOutsideTheAlphabet) {
    using namespace std::string_view_literals;
    for (const std::string_view noisy : {"Zm9vYmE=\x1f\x1f"sv, "Zm9vYmE=\r\n"sv,
                                         " Z m\t9v\x00Ym\xa6"
                                         "E= "sv,
                                         "\x80Zm9v-YmE=!"sv}) {
        EXPECT_EQ(base64DecodeSkippingJunk(bytesOf(noisy)), bytesOf("fooba"));
    }
    EXPECT_EQ(base64DecodeSkippingJunk(bytesOf("\x1f\x1f\r\n")), std::vector<std::uint8_t>{});
}

// Whole groups are read four characters at a time; a noise byte anywhere must still be
// skipped, however it splits the groups.
TEST(Base64Test, SkipsNoiseAtEveryPositionOfALongText) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), std::uint8_t{0});
    const std::string text = base64Encode(all);
    for (std::size_t at = 0; at <= text.size(); ++at) {
        std::string noisy = text;
        noisy.insert(at, "\r\n", at % 2 + 1);
        EXPECT_EQ(base64DecodeSkippingJunk(bytesOf(noisy)), all) << at;
    }
}

TEST(Base64Test, InPlaceEncodingWritesWhatTheCopyingOneDoes) {
    // Every length of the last group, from none to many whole groups before it.
    for (std::size_t length = 0; length <= 50; ++length) {
        std::vector<std::uint8_t> bytes(length);
        std::iota(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(200));
        bytes.shrink_to_fit();
        const std::string expected = base64Encode(bytes);
        base64EncodeInPlace(bytes);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << length;
    }
}

TEST(Base64Test, RefusesMalformedText) {
    for (const std::string_view bad : {"Zm9", "Z", "Z===", "=Zg=", "Zg=a", "Zg==Zg==", "Zg==Zm9v",
                                       "Zg=", "Zm9vY", "Zm9vZm9vZ", "Zm9vZm9vZm9=Zm9v"}) {
        EXPECT_FALSE(base64DecodeSkippingJunk(bytesOf(bad))) << bad;
    }
}

}  // namespace
}  // namespace corvaline
