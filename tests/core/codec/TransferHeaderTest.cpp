#include "core/codec/TransferHeader.h"

#include "CodecFixture.h"
#include "platform/crypto/Base64.h"

namespace corvaline {
namespace {

using testing::bytesOf;
using testing::CodecTest;

TEST_F(CodecTest, HeaderLineEndsEachFieldWithUnitSeparatorAndTheLineWithCRLF) {
    const Bytes line =
        prepareHeader(codec, {{"CONTENT-TYPE", "NEWFTSANSWER"}, {"ACCEPT-FILES", "1"}}).value();
    ASSERT_GE(line.size(), 3u);
    EXPECT_EQ(Bytes(line.end() - 3, line.end()), (Bytes{0x1F, '\r', '\n'}));
    EXPECT_EQ(std::count(line.begin(), line.end(), 0x1F), 2);
    const auto firstEnd = std::find(line.begin(), line.end(), std::uint8_t{0x1F});
    const auto cipher = base64DecodeSkippingJunk(ByteView(line.begin(), firstEnd));
    ASSERT_TRUE(cipher);
    EXPECT_EQ(codec.DecryptString(*cipher, false), "CONTENT-TYPE=NEWFTSANSWER");
    EXPECT_EQ(prepareHeader(codec, {}), (Bytes{'\r', '\n'}));
}

TEST_F(CodecTest, HeaderLineRoundTripsToPropertyNames) {
    const Bytes line = prepareHeader(codec, {{"CONTENT-TYPE", "FILESENDREQUEST"},
                                             {"SESSID", "4711"},
                                             {"FROM-USERNAMEDISPLAY", "Ren\xC3\xA9"},
                                             {"FILE-PATH", ""},
                                             {"FILES-TOTALSIZE", "1000005"}})
                           .value();
    EXPECT_EQ(ParseTransferHeader(codec, line),
              (HeaderFields{{"content_type", "FILESENDREQUEST"},
                            {"sessid", "4711"},
                            {"from_usernamedisplay", "Ren\xC3\xA9"},
                            {"file_path", ""},
                            {"files_totalsize", "1000005"}}));
}

TEST_F(CodecTest, ValuesMayHoldEqualsSignsAndReadingStopsAtTheFirstBadField) {
    // A key never holds "=": each field splits at its first one.
    const Bytes withEquals = prepareHeader(codec, {{"CONTENT-TYPE", "SENDFILESTREAM"},
                                                   {"FROM-USERNAMEDISPLAY", "Ann=Lee"},
                                                   {"FILE-NAME", "a=b.txt"},
                                                   {"FILE-PATH", "=\\x=="},
                                                   {"FILE-SIZE", "12"}})
                                 .value();
    EXPECT_EQ(ParseTransferHeader(codec, withEquals),
              (HeaderFields{{"content_type", "SENDFILESTREAM"},
                            {"from_usernamedisplay", "Ann=Lee"},
                            {"file_name", "a=b.txt"},
                            {"file_path", "=\\x=="},
                            {"file_size", "12"}}));

    // A field without any "=" ends the line there.
    Bytes noEquals = prepareHeader(codec, {{"CONTENT-TYPE", "SENDFILESTREAM"}}).value();
    const std::string bare = base64Encode(codec.EncryptString("FILE-NAME", false).value());
    noEquals.insert(noEquals.end() - 2, bare.begin(), bare.end());
    noEquals.insert(noEquals.end() - 2, std::uint8_t{0x1F});
    const Bytes after = prepareHeader(codec, {{"FILE-SIZE", "12"}}).value();
    noEquals.insert(noEquals.end() - 2, after.begin(), after.end() - 2);
    EXPECT_EQ(ParseTransferHeader(codec, noEquals),
              (HeaderFields{{"content_type", "SENDFILESTREAM"}}));

    Bytes garbage = prepareHeader(codec, {{"ACCEPT", "1"}}).value();
    garbage.insert(garbage.end() - 2, {'Z', 'm', '9', 'v', 0x1F});
    EXPECT_EQ(ParseTransferHeader(codec, garbage), (HeaderFields{{"accept", "1"}}));

    for (const Bytes& hostile : {Bytes{}, Bytes{0x1F, 0x1F, 0x1F}, bytesOf("AAAA\x1F\r\n"),
                                 bytesOf("no header at all\r\n")}) {
        EXPECT_TRUE(ParseTransferHeader(codec, hostile).empty());
    }
}

}  // namespace
}  // namespace corvaline
