#include "platform/crypto/Aes256Cbc.h"

#include <openssl/evp.h>

#include <climits>

namespace corvaline {
namespace {

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

ContextPtr makeContext(bool encrypt, bool padding, const AesKey& key, const AesIv& iv) {
    ContextPtr context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(),
                          encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0) != 1) {
        return nullptr;
    }
    return context;
}

// Runs update and final over the whole input; the output buffer is sized by the caller.
bool runCipher(EVP_CIPHER_CTX* context, std::span<const std::uint8_t> in,
               std::vector<std::uint8_t>& out) {
    if (in.size() > static_cast<std::size_t>(INT_MAX) - kAesBlockSize) {
        return false;
    }
    int written = 0;
    if (EVP_CipherUpdate(context, out.data(), &written, in.data(), static_cast<int>(in.size())) !=
        1) {
        return false;
    }
    int tail = 0;
    if (EVP_CipherFinal_ex(context, out.data() + written, &tail) != 1) {
        return false;
    }
    out.resize(static_cast<std::size_t>(written + tail));
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> aes256CbcEncrypt(const AesKey& key, const AesIv& iv,
                                                          std::span<const std::uint8_t> data) {
    ContextPtr context = makeContext(true, true, key, iv);
    if (!context) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(data.size() + kAesBlockSize);
    if (!runCipher(context.get(), data, out)) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> aes256CbcDecryptRaw(const AesKey& key, const AesIv& iv,
                                                             std::span<const std::uint8_t> data) {
    if (data.size() % kAesBlockSize != 0) {
        return std::nullopt;
    }
    ContextPtr context = makeContext(false, false, key, iv);
    if (!context) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(data.size() + kAesBlockSize);
    if (!runCipher(context.get(), data, out)) {
        return std::nullopt;
    }
    return out;
}

struct AesCbcStream::Context {
    ContextPtr cipher;
};

AesCbcStream::AesCbcStream(Direction direction, const AesKey& key, const AesIv& iv)
    : context_(std::make_unique<Context>(
          Context{makeContext(direction == Direction::encrypt, false, key, iv)})) {}

AesCbcStream::~AesCbcStream() = default;
AesCbcStream::AesCbcStream(AesCbcStream&&) noexcept = default;
AesCbcStream& AesCbcStream::operator=(AesCbcStream&&) noexcept = default;

bool AesCbcStream::transform(std::span<std::uint8_t> buffer) {
    if (!context_ || !context_->cipher || buffer.size() % kAesBlockSize != 0 ||
        buffer.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    int written = 0;
    // Whole blocks without padding: the library holds nothing back, and in place is allowed
    // when input and output are the very same buffer.
    return EVP_CipherUpdate(context_->cipher.get(), buffer.data(), &written, buffer.data(),
                            static_cast<int>(buffer.size())) == 1 &&
           static_cast<std::size_t>(written) == buffer.size();
}

}  // namespace corvaline
