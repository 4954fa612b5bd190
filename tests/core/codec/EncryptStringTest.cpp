#include "CodecFixture.h"
#include "core/codec/ProgramKey.h"

namespace corvaline {
namespace {

using testing::CodecTest;

TEST_F(CodecTest, EncryptedTextsComeBackInBothModes) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"\xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x98\x80", true},
        {"", true},
        {"FILE-NAME=report.txt", false},
        {"FROM-USERNAMEDISPLAY=Ren\xC3\xA9", false},
        {"fifteen bytes!!", false},  // with its NUL exactly one block
    };
    for (const auto& [text, useUTF8] : cases) {
        const auto cipher = codec.EncryptString(text, useUTF8);
        ASSERT_TRUE(cipher);
        EXPECT_EQ(cipher->size() % 16, 0u);
        EXPECT_EQ(codec.DecryptString(*cipher, useUTF8), text);
    }
}

TEST_F(CodecTest, EncryptedTextIsRawCipherOfTextAndNul) {
    const auto cipher = codec.EncryptString("abc", true);
    ASSERT_TRUE(cipher);
    const auto plain = aes256CbcDecryptRaw(kProgramKey, kZeroIv, *cipher);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (Bytes{'a', 'b', 'c', 0, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12}));
}

TEST_F(CodecTest, DecryptionRefusesPartialBlocksAndBadUTF8) {
    EXPECT_FALSE(codec.DecryptString(Bytes(17, 1), true));
    EXPECT_FALSE(codec.DecryptString(Bytes(15, 1), false));
    // Cyrillic goes out in 1251 in 8-bit mode: not UTF-8.
    const auto cipher = codec.EncryptString("\xD0\x96\xD0\xB0", false);
    ASSERT_TRUE(cipher);
    EXPECT_FALSE(codec.DecryptString(*cipher, true));
    EXPECT_EQ(codec.DecryptString(*cipher, false), "\xD0\x96\xD0\xB0");
    // Everything after the first NUL is dropped.
    const auto cut = codec.EncryptString(std::string("keep\0drop", 9), true);
    EXPECT_EQ(codec.DecryptString(cut.value(), true), "keep");
}

}  // namespace
}  // namespace corvaline
