#include <algorithm>

#include "CodecFixture.h"
#include "WireTools.h"
#include "core/codec/UnicodeField.h"

namespace corvaline {
namespace {

using testing::bytesOf;
using testing::CodecTest;
using testing::plainFromWire;
using testing::wireFromPlain;

Packet messagePacket(std::string_view text, std::string_view name = "*") {
    return Packet{"TSM",
                  "123",
                  "host",
                  "A100200300",
                  std::string(name),
                  "A400500600",
                  EncodeUnicodeField(text),
                  "*"};
}

std::vector<std::string> textsOf(const Packet& packet) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < packet.size(); ++i) {
        texts.emplace_back(packet.text(i));
    }
    return texts;
}

// A plaintext of fields joined by 0xA6 and ended by the 0xA6 0x00 of the writer.
Bytes plainOf(const std::vector<std::string>& fields) {
    Bytes plain;
    for (const std::string& field : fields) {
        plain.insert(plain.end(), field.begin(), field.end());
        plain.push_back(0xA6);
    }
    plain.push_back(0x00);
    return plain;
}

struct RoundTrip {
    long long encoding;
    std::string name;
    std::string message;
};

TEST_F(CodecTest, RoundTripsTextsInEveryCodePageAndTheMessageForm) {
    const std::vector<RoundTrip> cases = {
        {12, "Ann", "plain ASCII"},
        {11, "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {12, "Ren\xC3\xA9\xE2\x82\xAC",
         "\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80"},  // message: only UTF-8
        {13, "\xCE\x9D\xCE\xAF\xCE\xBA\xCE\xB7", "\xC2\xA6 broken bar"},
        {14, "\xC4\x9E\xC3\xBCl", "tab\tand\nline \x1F"},
        {15, "\xC5\x81ucja", ""},
    };
    for (const RoundTrip& c : cases) {
        savedEncoding = c.encoding;
        PacketCodec fresh{
            std::make_unique<testing::MemoryEncodingSetting>(savedEncoding, encodingWrites)};
        const auto wire = fresh.PlainPacket(messagePacket(c.message, c.name));
        ASSERT_TRUE(wire) << c.name;
        const auto packet = fresh.ArrayFromBase64AESdata(*wire);
        ASSERT_TRUE(packet) << c.name;
        EXPECT_EQ(textsOf(*packet),
                  (std::vector<std::string>{"TSM", "123", "host", "A100200300", c.name,
                                            "A400500600", c.message, "*", "0", "2"}));
        EXPECT_EQ(savedEncoding, c.encoding) << "no fallback was needed for " << c.name;
    }
    EXPECT_EQ(encodingWrites, 0);
}

TEST_F(CodecTest, WritesCountIdFieldsTrailerAndEndMark) {
    const Packet packet{"RL", "0", "pc", "A1", "*", "*", "*", "*", "77"};
    const auto wire = codec.PlainPacket(packet);
    ASSERT_TRUE(wire);
    ASSERT_GE(wire->size(), 2u);
    EXPECT_EQ(wire->back(), 0x1F);
    EXPECT_EQ((*wire)[wire->size() - 2], 0x1F);
    const auto endOfText = std::find(wire->begin(), wire->end(), std::uint8_t{0x1F});
    EXPECT_EQ(static_cast<std::size_t>(endOfText - wire->begin()) % 4, 0u);
    EXPECT_EQ(std::find_if(wire->begin(), endOfText,
                           [](std::uint8_t b) { return b == '\r' || b == '\n'; }),
              endOfText);

    Bytes plain = plainFromWire(*wire);
    EXPECT_EQ(plain.size() % 16, 0u);
    const std::uint8_t pad = plain.back();
    ASSERT_TRUE(pad >= 1 && pad <= 16);
    plain.resize(plain.size() - pad);
    // Byte for byte what the plain text gives through the cipher and base64 on their own.
    EXPECT_EQ(wireFromPlain(plain), *wire);
    ASSERT_GE(plain.size(), 2u);
    EXPECT_EQ(plain[plain.size() - 2], 0xA6);
    EXPECT_EQ(plain.back(), 0x00);
    plain.pop_back();
    plain.pop_back();
    std::vector<std::string> fields;
    std::string current;
    for (const std::uint8_t b : plain) {
        if (b == 0xA6) {
            fields.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(b);
        }
    }
    fields.push_back(current);
    ASSERT_EQ(fields.size(), 9u + 4u);
    EXPECT_EQ(fields[0], "12");  // 9 payload fields + 3
    const int id = std::stoi(fields[1]);
    EXPECT_GE(id, 1000000);
    EXPECT_LE(id, 9999998);
    EXPECT_EQ(fields[2], "RL");
    EXPECT_EQ(fields[11], "0");
    EXPECT_EQ(fields[12], "2");

    const auto decoded = codec.ArrayFromBase64AESdata(*wire);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), 11u);
}

TEST_F(CodecTest, WriterRefusesShortPacketsAndEmptyFields) {
    EXPECT_FALSE(codec.PlainPacket(Packet{"RL", "0", "pc", "A1", "*", "*", "*"}));
    EXPECT_FALSE(codec.PlainPacket(Packet{"RL", "0", "pc", "A1", "*", "", "*", "*"}));
    EXPECT_FALSE(codec.PlainPacket(Packet{"TSM", "1", "pc", "A1", "*", "A2", UnicodeField{}, "*"}));
    EXPECT_TRUE(codec.PlainPacket(Packet{"RL", "0", "pc", "A1", "*", "*", "*", "*"}));
}

TEST_F(CodecTest, SkipsAPrefixEndedByTwoSpacesButNotTwoTrailingSpaces) {
    const auto first = codec.PlainPacket(messagePacket("one")).value();
    Bytes prefixed = bytesOf("junk\r\nAAAA  ");
    prefixed.insert(prefixed.end(), first.begin(), first.end());
    EXPECT_TRUE(codec.ArrayFromBase64AESdata(prefixed));

    Bytes trailing = codec.PlainPacket(messagePacket("two")).value();
    trailing.push_back(' ');
    trailing.push_back(' ');
    EXPECT_TRUE(codec.ArrayFromBase64AESdata(trailing));

    Bytes withLineEnd = codec.PlainPacket(messagePacket("three")).value();
    withLineEnd.push_back('\r');
    withLineEnd.push_back('\n');
    EXPECT_TRUE(codec.ArrayFromBase64AESdata(withLineEnd));
}

TEST_F(CodecTest, RejectsMalformedForeignAndTruncatedBytes) {
    const Bytes good = codec.PlainPacket(messagePacket("hello")).value();
    Bytes noEndMark(good.begin(), good.end() - 2);
    Bytes oneEndByte(good.begin(), good.end() - 1);
    Bytes truncatedBlock(good.begin(), good.begin() + 20);  // base64 of a partial block
    truncatedBlock.push_back(0x1F);
    truncatedBlock.push_back(0x1F);
    Bytes truncatedText(good.begin(), good.begin() + 7);
    truncatedText.push_back(0x1F);
    truncatedText.push_back(0x1F);
    Bytes flipped = good;
    flipped[4] = flipped[4] == 'A' ? 'B' : 'A';

    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"no end mark", noEndMark},
        {"half an end mark", oneEndByte},
        {"partial cipher block", truncatedBlock},
        {"partial base64 group", truncatedText},
        {"empty", {}},
        {"end mark only", {0x1F, 0x1F}},
        {"not base64 at all", bytesOf("\x1F\x1F!!!! ~~~~")},
        {"foreign key", bytesOf("VGhpcyBpcyBub3Qgb3VyIHBhY2tldCBhdCBhbGwhISE=\x1F\x1F")},
        {"one bit changed", flipped},
        {"count too small", wireFromPlain(plainOf({"8", "1234567", "RL", "0", "pc", "A1", "*", "*",
                                                   "*", "*", "0", "2"}))},
        {"count not decimal", wireFromPlain(plainOf({"+11", "1234568", "RL", "0", "pc", "A1", "*",
                                                     "*", "*", "*", "0", "2"}))},
        {"count with a space", wireFromPlain(plainOf({" 11", "1234569", "RL", "0", "pc", "A1", "*",
                                                      "*", "*", "*", "0", "2"}))},
        {"one field", wireFromPlain(plainOf({"0"}))},
        {"empty plaintext", wireFromPlain(Bytes{0x00})},
        {"six fields after framing",
         wireFromPlain(plainOf({"7", "1234570", "RL", "0", "pc", "A1", "0", "2"}))},
        {"empty message field", wireFromPlain(plainOf({"11", "1234571", "TSM", "1", "pc", "A1", "*",
                                                       "A2", "", "*", "0", "2"}))},
    };
    for (const auto& [name, wire] : cases) {
        EXPECT_FALSE(codec.ArrayFromBase64AESdata(wire)) << name;
    }
    EXPECT_TRUE(codec.ArrayFromBase64AESdata(good));
}

TEST_F(CodecTest, AcceptsAFinalRunWithoutSeparatorMinusItsLastByte) {
    Bytes plain = plainOf({"11", "2345678", "RL", "0", "pc", "A1", "*", "*", "*", "*", "0"});
    plain.pop_back();                             // the terminator, put back after the last run
    plain.insert(plain.end(), {'2', 'X', 0x00});  // "2X" with no separator after it reads as "2"
    const auto packet = codec.ArrayFromBase64AESdata(wireFromPlain(plain));
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->text(9), "2");
}

TEST_F(CodecTest, MessageTextHoldingU0000IsCutAndRejected) {
    const auto wire = codec.PlainPacket(messagePacket(std::string("before\0after", 12)));
    ASSERT_TRUE(wire);
    EXPECT_FALSE(codec.ArrayFromBase64AESdata(*wire));
}

TEST_F(CodecTest, RepeatedPacketIsRejectedUntilSixtyOthersWereSeen) {
    const Bytes repeated = codec.PlainPacket(messagePacket("again")).value();
    ASSERT_TRUE(codec.ArrayFromBase64AESdata(repeated));
    EXPECT_FALSE(codec.ArrayFromBase64AESdata(repeated));

    // Distinct ids, made by hand so that no random draw can repeat one.
    auto other = [](int n) {
        return wireFromPlain(plainOf({"11", std::to_string(2000000 + n), "RL", "0", "pc", "A1", "*",
                                      "*", "*", "*", "0", "2"}));
    };
    for (int n = 0; n < 59; ++n) {
        ASSERT_TRUE(codec.ArrayFromBase64AESdata(other(n)));
    }
    EXPECT_FALSE(codec.ArrayFromBase64AESdata(repeated)) << "only 59 others seen";
    // A packet that fails the field check after the id check still takes a place in the list.
    EXPECT_FALSE(codec.ArrayFromBase64AESdata(
        wireFromPlain(plainOf({"7", "3000000", "RL", "0", "pc", "A1", "0", "2"}))));
    EXPECT_TRUE(codec.ArrayFromBase64AESdata(repeated));
}

TEST_F(CodecTest, NewPacketWhoseRandomIdIsTakenIsStillDecoded) {
    // Two messages of two senders that drew the same packet id: both need an answer.
    auto message = [](std::string_view sender, std::string_view text) {
        return wireFromPlain(plainOf({"11", "5123456", "TSM", "42", "pc", std::string(sender), "*",
                                      "A400500600", std::string(text) + "\x1F", "*", "0", "2"}));
    };
    const auto first = codec.ArrayFromBase64AESdata(message("A100", "first"));
    const auto second = codec.ArrayFromBase64AESdata(message("A200", "second"));
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->text(3), "A100");
    EXPECT_EQ(second->text(6), "second");
    EXPECT_FALSE(codec.ArrayFromBase64AESdata(message("A200", "second"))) << "a true repeat";
}

TEST_F(CodecTest, TextFieldNeverCarriesTheSeparatorByte) {
    // U+00A6 in a code page, and a character whose UTF-8 form holds 0xA6 (U+4E26).
    for (const std::string name : {"a\xC2\xA6"
                                   "b",
                                   "\xE4\xB8\xA6"}) {
        const auto wire = codec.PlainPacket(messagePacket("hi", name));
        ASSERT_TRUE(wire);
        const auto packet = codec.ArrayFromBase64AESdata(*wire);
        ASSERT_TRUE(packet) << name;
        EXPECT_EQ(packet->size(), 10u);
        EXPECT_EQ(packet->text(6), "hi");
    }
    EXPECT_EQ(codec
                  .ArrayFromBase64AESdata(codec
                                              .PlainPacket(messagePacket("x",
                                                                         "a\xC2\xA6"
                                                                         "b"))
                                              .value())
                  ->text(4),
              "a|b");
}

}  // namespace
}  // namespace corvaline
