#include "platform/crypto/Aes256Cbc.h"

#include <gtest/gtest.h>

#include <numeric>

namespace corvaline {
namespace {

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

template <typename Array>
Array arrayFromHex(std::string_view hex) {
    const auto bytes = fromHex(hex);
    Array array{};
    std::copy(bytes.begin(), bytes.end(), array.begin());
    return array;
}

const AesKey kKey =
    arrayFromHex<AesKey>("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const AesIv kIv = arrayFromHex<AesIv>("000102030405060708090a0b0c0d0e0f");

std::vector<std::uint8_t> counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{7});
    return bytes;
}

TEST(Aes256CbcTest, MatchesKnownAnswerAndPadsToNextWholeBlock) {
    const auto cipher = aes256CbcEncrypt(kKey, kIv, fromHex("6bc1bee22e409f96e93d7e117393172a"));
    ASSERT_TRUE(cipher);
    ASSERT_EQ(cipher->size(), 32u);  // a whole block of padding after a whole block
    EXPECT_EQ(std::vector<std::uint8_t>(cipher->begin(), cipher->begin() + 16),
              fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));

    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 200u}) {
        const auto plain = counting(length);
        const auto encrypted = aes256CbcEncrypt(kKey, kIv, plain);
        ASSERT_TRUE(encrypted);
        EXPECT_EQ(encrypted->size(), (length / 16 + 1) * 16) << length;
        const auto decrypted = aes256CbcDecryptRaw(kKey, kIv, *encrypted);
        ASSERT_TRUE(decrypted);
        ASSERT_EQ(decrypted->size(), encrypted->size());
        const auto pad = static_cast<std::uint8_t>(encrypted->size() - length);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), decrypted->begin())) << length;
        EXPECT_TRUE(std::all_of(decrypted->begin() + static_cast<std::ptrdiff_t>(length),
                                decrypted->end(), [&](std::uint8_t b) { return b == pad; }));
    }
}

TEST(Aes256CbcTest, RawDecryptionRefusesPartialBlocks) {
    EXPECT_FALSE(aes256CbcDecryptRaw(kKey, kIv, counting(17)));
    EXPECT_FALSE(aes256CbcDecryptRaw(kKey, kIv, counting(15)));
    const auto empty = aes256CbcDecryptRaw(kKey, kIv, {});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(Aes256CbcTest, InPlacePassesGiveTheBytesOfTheCopyingOnes) {
    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 200u}) {
        const auto plain = counting(length);
        const auto cipher = aes256CbcEncrypt(kKey, kIv, plain);
        ASSERT_TRUE(cipher);
        auto buffer = plain;
        ASSERT_TRUE(aes256CbcEncryptInPlace(kKey, kIv, buffer)) << length;
        EXPECT_EQ(buffer, *cipher) << length;
        ASSERT_TRUE(aes256CbcDecryptRawInPlace(kKey, kIv, buffer)) << length;
        EXPECT_EQ(buffer, aes256CbcDecryptRaw(kKey, kIv, *cipher)) << length;
    }
    auto partial = counting(17);
    EXPECT_FALSE(aes256CbcDecryptRawInPlace(kKey, kIv, partial));
    EXPECT_EQ(partial, counting(17));
}

// The chain must run on across calls: any cut on block boundaries gives one whole pass.
TEST(Aes256CbcTest, StreamEqualsOneShotWhateverTheChunking) {
    const auto plain = counting(16 * 12);
    const auto padded = aes256CbcEncrypt(kKey, kIv, plain);
    ASSERT_TRUE(padded);
    const std::vector<std::uint8_t> whole(padded->begin(), padded->begin() + 16 * 12);

    const std::vector<std::vector<std::size_t>> splits = {
        {192}, {16, 176}, {176, 16}, {16, 16, 16, 144}, {48, 0, 64, 80}, {32, 32, 32, 32, 32, 32}};
    for (const auto& split : splits) {
        AesCbcStream encryptor(AesCbcStream::Direction::encrypt, kKey, kIv);
        AesCbcStream decryptor(AesCbcStream::Direction::decrypt, kKey, kIv);
        auto buffer = plain;
        std::size_t offset = 0;
        for (const std::size_t length : split) {
            const std::span<std::uint8_t> chunk(buffer.data() + offset, length);
            ASSERT_TRUE(encryptor.transform(chunk));
            offset += length;
        }
        EXPECT_EQ(buffer, whole) << split.size();
        offset = 0;
        for (const std::size_t length : split) {
            ASSERT_TRUE(
                decryptor.transform(std::span<std::uint8_t>(buffer.data() + offset, length)));
            offset += length;
        }
        EXPECT_EQ(buffer, plain) << split.size();
    }
}

TEST(Aes256CbcTest, StreamRefusesPartialBlockWithoutBreakingTheChain) {
    auto plain = counting(48);
    const auto padded = aes256CbcEncrypt(kKey, kIv, plain);
    AesCbcStream encryptor(AesCbcStream::Direction::encrypt, kKey, kIv);
    auto odd = counting(20);
    const auto untouched = odd;
    EXPECT_FALSE(encryptor.transform(odd));
    EXPECT_EQ(odd, untouched);
    ASSERT_TRUE(encryptor.transform(plain));
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), padded->begin()));
}

}  // namespace
}  // namespace corvaline
