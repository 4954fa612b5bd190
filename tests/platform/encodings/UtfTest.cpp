#include "platform/encodings/Utf.h"

#include <gtest/gtest.h>

namespace corvaline {
namespace {

TEST(UtfTest, StrictConversionsRefuseIllFormedInput) {
    EXPECT_EQ(utf8ToUtf16("a\xD0\x96\xF0\x9F\x98\x80"), std::u16string(u"a\u0416\U0001F600"));
    EXPECT_EQ(utf16ToUtf8(u"a\u0416\U0001F600"), std::string("a\xD0\x96\xF0\x9F\x98\x80"));
    for (const std::string_view bad : {"\xC3", "\x80", "\xED\xA0\x80", "\xC0\x80", "a\xFF"}) {
        EXPECT_FALSE(utf8ToUtf16(bad)) << bad;
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
    EXPECT_TRUE(isValidUtf8(""));
    const char16_t lone[] = {u'a', 0xD83D, u'b'};
    EXPECT_FALSE(utf16ToUtf8(std::u16string_view(lone, 3)));
}

TEST(UtfTest, ReplacingConversionsSubstituteU_FFFD) {
    EXPECT_EQ(utf8ToUtf16Replacing("a\xC3"), std::u16string(u"a\uFFFD"));
    const char16_t lone[] = {u'a', 0xDE00};
    EXPECT_EQ(utf16ToUtf8Replacing(std::u16string_view(lone, 2)), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace corvaline
