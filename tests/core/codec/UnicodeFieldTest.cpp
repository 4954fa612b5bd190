#include "core/codec/UnicodeField.h"

#include <gtest/gtest.h>

namespace corvaline {
namespace {

TEST(UnicodeFieldTest, ConvertsEachUnitOnItsOwn) {
    const std::vector<std::pair<std::u16string, Bytes>> cases = {
        {u"A", {0x41}},
        {u"\u00A6", {0xC2, 0xA6}},
        {u"\u07FF", {0xDF, 0xBF}},
        {u"\u20AC", {0xE2, 0x82, 0xAC}},
        {u"\U0001F600", {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}},  // each surrogate by itself
        {u"", {}},
    };
    for (const auto& [units, bytes] : cases) {
        EXPECT_EQ(UTF16ToUTF8(units), bytes);
        EXPECT_EQ(UTF8ToUTF16(bytes), units);
    }
}

TEST(UnicodeFieldTest, EncodesWithStandInForTheSeparatorAndEndMarker) {
    EXPECT_EQ(EncodeUnicodeField("").bytes, (Bytes{0x1F}));
    EXPECT_EQ(EncodeUnicodeField("\xC2\xA6").bytes, (Bytes{0xC2, 0x01, 0x1F}));
    EXPECT_EQ(EncodeUnicodeField("\xF0\x9F\x98\x80").bytes,
              (Bytes{0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80, 0x1F}));
    for (const std::string text : {"\xC2\xA6", "\xF0\x9F\x98\x80", "\xD0\x96 \xE2\x82\xAC x", ""}) {
        EXPECT_EQ(DecodeUnicodeField(EncodeUnicodeField(text).bytes), text);
    }
}

TEST(UnicodeFieldTest, DecodesMarkedFieldsOrFallsBack) {
    const std::string error(kUndecodableMessageText);
    struct Case {
        const char* name;
        Bytes field;
        std::optional<std::string> text;
    };
    const std::vector<Case> cases = {
        {"empty field", {}, ""},
        {"not marked: 8-bit text", {'a', 'b'}, std::nullopt},
        {"two-byte lead at the end", {'A', 0xC3, 0x1F}, error},
        {"three-byte lead with one byte left", {'A', 0xE4, 0xB8, 0x1F}, error},
        {"three-byte lead at the end", {0xE4, 0x1F}, error},
        {"bad follower", {0xC3, 0x41, 0x1F}, error},
        {"stray continuation is a two-byte lead", {0x85, 0x80, 0x1F}, "\xC5\x80"},
        {"standard four-byte form, read as UTF-8 as received",
         {0xF0, 0x9F, 0x98, 0x80, 0x1F},
         "\xF0\x9F\x98\x80\x1F"},
        {"four-byte form with 0x01 for 0xA6", {0xF0, 0x9F, 0x98, 0x01, 0x1F}, error},
        {"lone surrogate", {0xED, 0xA0, 0xBD, 0x1F}, "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeUnicodeField(c.field), c.text) << c.name;
    }
}

}  // namespace
}  // namespace corvaline
