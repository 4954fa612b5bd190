#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace corvaline {

using AesKey = std::array<std::uint8_t, 32>;
using AesIv = std::array<std::uint8_t, 16>;
inline constexpr std::size_t kAesBlockSize = 16;

// AES-256-CBC with PKCS#7 padding; the result is the data padded to the next whole block (a
// full block of padding when the length already is a multiple of 16). Nothing only when the
// cipher library fails. Any thread.
std::optional<std::vector<std::uint8_t>> aes256CbcEncrypt(const AesKey& key, const AesIv& iv,
                                                          std::span<const std::uint8_t> data);

// AES-256-CBC decryption that leaves any padding in place. Nothing when the length is not a
// whole number of blocks. Any thread.
std::optional<std::vector<std::uint8_t>> aes256CbcDecryptRaw(const AesKey& key, const AesIv& iv,
                                                             std::span<const std::uint8_t> data);

// The same two passes where the bytes lie, for callers that keep one buffer from the plain
// text to the wire. Encryption adds the PKCS#7 padding to the vector first; decryption needs
// whole blocks and leaves any padding in place. False when the length is refused or the
// cipher library fails; the bytes are then no longer meaningful. Any thread.
bool aes256CbcEncryptInPlace(const AesKey& key, const AesIv& iv, std::vector<std::uint8_t>& data);
bool aes256CbcDecryptRawInPlace(const AesKey& key, const AesIv& iv, std::span<std::uint8_t> data);

// One AES-256-CBC encryptor or decryptor without padding whose chain runs on across calls, so
// a stream cut into pieces anywhere on block boundaries gives the bytes of one whole pass.
// Used by one owner at a time, from any one thread.
class AesCbcStream {
  public:
    enum class Direction { encrypt, decrypt };

    AesCbcStream(Direction direction, const AesKey& key, const AesIv& iv);
    ~AesCbcStream();
    AesCbcStream(AesCbcStream&&) noexcept;
    AesCbcStream& operator=(AesCbcStream&&) noexcept;

    // Transforms the buffer in place. False, leaving the buffer and the chain untouched,
    // when its length is not a whole number of blocks or the cipher library fails.
    bool transform(std::span<std::uint8_t> buffer);

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace corvaline
