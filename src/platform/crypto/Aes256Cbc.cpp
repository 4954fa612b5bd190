#include "platform/crypto/Aes256Cbc.h"

#include <openssl/evp.h>

#include <climits>

namespace corvaline {
namespace {

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

// The library looks a cipher named by EVP_aes_256_cbc() up in its providers at every
// initialisation, which costs more than the few blocks of a packet; fetched once, it is kept
// for the life of the process (read-only, so any thread may use it).
const EVP_CIPHER* aes256Cbc() {
    static const EVP_CIPHER* const fetched = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
    return fetched ? fetched : EVP_aes_256_cbc();
}

ContextPtr makeContext(bool encrypt, bool padding, const AesKey& key, const AesIv& iv) {
    ContextPtr context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex(context.get(), aes256Cbc(), nullptr, key.data(), iv.data(),
                          encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0) != 1) {
        return nullptr;
    }
    return context;
}

// One whole pass of update and final over the data.
std::optional<std::vector<std::uint8_t>> oneShot(bool encrypt, bool padding, const AesKey& key,
                                                 const AesIv& iv,
                                                 std::span<const std::uint8_t> data) {
    if (data.size() > static_cast<std::size_t>(INT_MAX) - kAesBlockSize) {
        return std::nullopt;
    }
    ContextPtr context = makeContext(encrypt, padding, key, iv);
    if (!context) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(data.size() + kAesBlockSize);
    int written = 0;
    int tail = 0;
    if (EVP_CipherUpdate(context.get(), out.data(), &written, data.data(),
                         static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), out.data() + written, &tail) != 1) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(written + tail));
    return out;
}

// Whole blocks without padding: the library holds nothing back, and in place is allowed when
// input and output are the very same buffer.
bool transformInPlace(EVP_CIPHER_CTX* context, std::span<std::uint8_t> buffer) {
    if (buffer.size() % kAesBlockSize != 0 || buffer.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    int written = 0;
    return EVP_CipherUpdate(context, buffer.data(), &written, buffer.data(),
                            static_cast<int>(buffer.size())) == 1 &&
           static_cast<std::size_t>(written) == buffer.size();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> aes256CbcEncrypt(const AesKey& key, const AesIv& iv,
                                                          std::span<const std::uint8_t> data) {
    return oneShot(true, true, key, iv, data);
}

std::optional<std::vector<std::uint8_t>> aes256CbcDecryptRaw(const AesKey& key, const AesIv& iv,
                                                             std::span<const std::uint8_t> data) {
    if (data.size() % kAesBlockSize != 0) {
        return std::nullopt;
    }
    return oneShot(false, false, key, iv, data);
}

bool aes256CbcEncryptInPlace(const AesKey& key, const AesIv& iv, std::vector<std::uint8_t>& data) {
    const std::size_t padding = kAesBlockSize - data.size() % kAesBlockSize;
    data.insert(data.end(), padding, static_cast<std::uint8_t>(padding));
    const ContextPtr context = makeContext(true, false, key, iv);
    return context && transformInPlace(context.get(), data);
}

bool aes256CbcDecryptRawInPlace(const AesKey& key, const AesIv& iv, std::span<std::uint8_t> data) {
    if (data.size() % kAesBlockSize != 0) {
        return false;
    }
    const ContextPtr context = makeContext(false, false, key, iv);
    return context && transformInPlace(context.get(), data);
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
    return context_ && context_->cipher && transformInPlace(context_->cipher.get(), buffer);
}

}  // namespace corvaline
