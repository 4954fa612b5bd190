#include "CodecFixture.h"

namespace corvaline {
namespace {

using testing::bytesOf;
using testing::CodecTest;

TEST_F(CodecTest, WritesTheEuroSignAsOneByteInWindows1252) {
    EXPECT_EQ(codec.textEncoding().EncodeTextField("\xE2\x82\xAC 5"), (Bytes{0x80, ' ', '5'}));
    EXPECT_EQ(encodingWrites, 0);
}

TEST_F(CodecTest, CyrillicSwitchesToWindows1251AndItStays) {
    PacketTextEncoding& encoding = codec.textEncoding();
    EXPECT_EQ(encoding.EncodeTextField("\xD0\x96"), (Bytes{0xC6}));
    EXPECT_EQ(encoding.current(), 11);
    EXPECT_EQ(savedEncoding, 11);
    EXPECT_EQ(encodingWrites, 1);
    EXPECT_EQ(encoding.EncodeTextField("Latin"), bytesOf("Latin"));
    EXPECT_EQ(encoding.current(), 11);
    EXPECT_EQ(encodingWrites, 1);
    // Read in the current code page: 0xC6 is now Cyrillic, no longer Latin.
    EXPECT_EQ(encoding.DecodeTextField(Bytes{0xC6}), "\xD0\x96");
}

TEST_F(CodecTest, TriesTheFallbackCodePagesInTheirOrder) {
    struct Case {
        const char* text;
        long long expected;
    };
    // Each from 1252, the first code page in the order 1251, 1252, 1253, 1254, 1250 that fits.
    const std::vector<Case> cases = {
        {"\xCE\xA9", 13},          // Greek
        {"\xC4\x9F", 14},          // Turkish g with breve
        {"\xC5\x82", 15},          // Polish l with stroke
        {"\xC5\x82\xD0\x96", 12},  // nothing holds both: UTF-8, unchanged
        {"\xE4\xBD\xA0", 12},      // Chinese: UTF-8, unchanged
    };
    for (const Case& c : cases) {
        savedEncoding = 12;
        PacketCodec fresh{
            std::make_unique<testing::MemoryEncodingSetting>(savedEncoding, encodingWrites)};
        const Bytes bytes = fresh.textEncoding().EncodeTextField(c.text);
        EXPECT_EQ(fresh.textEncoding().current(), c.expected) << c.text;
        EXPECT_EQ(savedEncoding, c.expected) << c.text;
        if (c.expected == 12) {
            EXPECT_EQ(bytes, bytesOf(c.text));
        } else {
            EXPECT_EQ(bytes.size(), std::string_view(c.text).size() / 2);
        }
    }
    EXPECT_EQ(encodingWrites, 3);
}

TEST_F(CodecTest, ReadsTheSavedEncodingOnceAndTreatsUnknownNumbersAsWindows1252) {
    savedEncoding = 4;
    EXPECT_EQ(codec.textEncoding().current(), 12);
    savedEncoding = 11;  // a change made elsewhere is not seen
    EXPECT_EQ(codec.textEncoding().current(), 12);
    EXPECT_EQ(codec.textEncoding().EncodeTextField("\xE2\x82\xAC"), (Bytes{0x80}));
}

TEST_F(CodecTest, BytesThatDoNotDecodeGiveTheEmptyText) {
    savedEncoding = 13;
    EXPECT_EQ(codec.textEncoding().DecodeTextField(Bytes{'a', 0xD2}), "");  // undefined in 1253
    EXPECT_EQ(codec.textEncoding().DecodeTextField(Bytes{'a', 0xD3}), "a\xCE\xA3");
}

}  // namespace
}  // namespace corvaline
