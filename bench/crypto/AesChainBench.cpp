// The rate of one AES-256-CBC chain on this machine: 1 GiB (or the MiB given) encrypted in
// transfer-sized chunks through one encryptor, the way a transfer's data stream is. Prints
// "aes-chain BYTES SECONDS MB/s".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/crypto/Aes256Cbc.h"

int main(int argc, char** argv) {
    using namespace corvaline;
    constexpr std::size_t kChunk = 786432;
    const std::size_t total = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) << 20;
    std::vector<std::uint8_t> buffer(kChunk, 0x5A);
    AesCbcStream chain(AesCbcStream::Direction::encrypt, AesKey{}, AesIv{});
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 0; done < total; done += kChunk) {
        if (!chain.transform(buffer)) {
            return 1;
        }
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("aes-chain %zu %.3f %.1f\n", total, seconds.count(), total / seconds.count() / 1e6);
    return 0;
}
