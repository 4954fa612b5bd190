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

TEST(Base64Test, RefusesMalformedText) {
    for (const std::string_view bad :
         {"Zm9", "Z", "Z===", "=Zg=", "Zg=a", "Zg==Zg==", "Zg=", "Zm9vY"}) {
        EXPECT_FALSE(base64DecodeSkippingJunk(bytesOf(bad))) << bad;
    }
}

}  // namespace
}  // namespace corvaline
