// Plain ASCII skips the code page and UTF-16 conversions; these cases hold it to the exact
// bytes and texts of the slow conversions, in every code page.
#include "CodecFixture.h"
#include "core/codec/UnicodeField.h"

namespace corvaline {
namespace {

using testing::bytesOf;
using testing::CodecTest;

std::vector<std::string> asciiTexts() {
    std::string everyByte;
    for (int byte = 0; byte < 0x80; ++byte) {
        everyByte.push_back(static_cast<char>(byte));
    }
    std::vector<std::string> texts = {"",
                                      everyByte,
                                      "TSM",
                                      "12345678901234",
                                      "A123456789",
                                      "*",
                                      "workstation-17",
                                      "a|b",
                                      std::string("stand\x01in"),
                                      std::string("nul\0inside", 10),
                                      "marker\x1F"};
    for (const char byte : everyByte) {
        texts.emplace_back(1, byte);
    }
    return texts;
}

// Just past ASCII, so the fast paths must hand these on untouched.
const std::vector<std::string> kOtherTexts = {
    "\xC2\xA6",         "caf\xC3\xA9",        "\xD0\x96", "\xE2\x82\xAC",
    "\xF0\x9F\x98\x80", "\xFF\xFE bad UTF-8", "\x80",     std::string("a\x01\xC3\xA9")};

TEST_F(CodecTest, AsciiTextFieldsGiveTheCodePageBytesInEveryCodePage) {
    std::vector<std::string> texts = asciiTexts();
    texts.insert(texts.end(), kOtherTexts.begin(), kOtherTexts.end());
    for (const long long encoding : PacketTextEncoding::kFallbackTextEncodings) {
        for (const std::string& text : texts) {
            long long fastSaved = encoding;
            long long slowSaved = encoding;
            int fastWrites = 0;
            int slowWrites = 0;
            PacketTextEncoding fast(
                std::make_unique<testing::MemoryEncodingSetting>(fastSaved, fastWrites));
            PacketTextEncoding slow(
                std::make_unique<testing::MemoryEncodingSetting>(slowSaved, slowWrites));
            const Bytes bytes = fast.EncodeTextField(text);
            EXPECT_EQ(bytes, slow.EncodeTextFieldThroughCodePages(text)) << encoding << text;
            EXPECT_EQ(fast.current(), slow.current()) << encoding << text;
            EXPECT_EQ(fastWrites, slowWrites) << encoding << text;
            EXPECT_EQ(fast.DecodeTextField(bytes), slow.DecodeTextFieldThroughCodePage(bytes))
                << encoding << text;
            EXPECT_EQ(fast.DecodeTextField(bytesOf(text)),
                      slow.DecodeTextFieldThroughCodePage(bytesOf(text)))
                << encoding << text;
        }
    }
}

TEST(UnicodeFieldTest, AsciiMessageTextsGiveTheBytesAndTextsOfTheUnicodeForm) {
    std::vector<std::string> texts = asciiTexts();
    texts.insert(texts.end(), kOtherTexts.begin(), kOtherTexts.end());
    for (const std::string& text : texts) {
        const Bytes field = EncodeUnicodeField(text).bytes;
        EXPECT_EQ(field, EncodeUnicodeFieldThroughUTF16(text).bytes) << text;
        EXPECT_EQ(DecodeUnicodeField(field), DecodeUnicodeFieldThroughUTF16(field)) << text;
        // Received fields need not come from our writer: marked or not, stand-ins or not.
        Bytes marked = bytesOf(text);
        marked.push_back(kUnicodeFieldMarker);
        EXPECT_EQ(DecodeUnicodeField(marked), DecodeUnicodeFieldThroughUTF16(marked)) << text;
        EXPECT_EQ(DecodeUnicodeField(bytesOf(text)), DecodeUnicodeFieldThroughUTF16(bytesOf(text)))
            << text;
    }
}

}  // namespace
}  // namespace corvaline
