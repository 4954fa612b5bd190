#include "platform/encodings/CodePage.h"

#include <gtest/gtest.h>

namespace corvaline {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
    WindowsCodePage codePage;
    std::string_view text;
    Bytes bytes;
};

TEST(CodePageTest, ConvertsEachCodePageBothWays) {
    const std::vector<Case> cases = {
        {WindowsCodePage::cp1252, "\xE2\x82\xAC", {0x80}},            // euro sign
        {WindowsCodePage::cp1251, "\xD0\x96\xD1\x8F", {0xC6, 0xFF}},  // Жя
        {WindowsCodePage::cp1253, "\xCE\xA9\xCE\xB1", {0xD9, 0xE1}},  // Ωα
        {WindowsCodePage::cp1254, "\xC4\x9F\xC5\x9F", {0xF0, 0xFE}},  // ğş
        {WindowsCodePage::cp1250, "\xC5\x82\xC5\xBA", {0xB3, 0x9F}},  // łź
        {WindowsCodePage::cp1252, "plain", {'p', 'l', 'a', 'i', 'n'}},
        {WindowsCodePage::cp1251, "", {}},
    };
    for (const Case& c : cases) {
        CodePageConverter converter(c.codePage);
        EXPECT_EQ(converter.fromUtf8(c.text), c.bytes) << c.text;
        EXPECT_EQ(converter.toUtf8(c.bytes), std::string(c.text)) << c.text;
    }
}

TEST(CodePageTest, RefusesWhatTheCodePageCannotHold) {
    CodePageConverter latin(WindowsCodePage::cp1252);
    EXPECT_FALSE(latin.fromUtf8("\xD0\x96"));          // Cyrillic
    EXPECT_FALSE(latin.fromUtf8("a\xEF\xBC\x81"));     // fullwidth "!" must not fall back to "!"
    EXPECT_FALSE(latin.fromUtf8("\xF0\x9F\x98\x80"));  // outside the basic plane
    EXPECT_FALSE(latin.fromUtf8("\xC3"));              // not UTF-8
    // Still usable after a refusal.
    EXPECT_EQ(latin.fromUtf8("ok"), (Bytes{'o', 'k'}));
    CodePageConverter greek(WindowsCodePage::cp1253);
    EXPECT_FALSE(greek.toUtf8(Bytes{'a', 0xD2}));  // undefined in 1253
}

}  // namespace
}  // namespace corvaline
