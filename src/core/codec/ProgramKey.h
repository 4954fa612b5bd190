#pragma once

#include "platform/crypto/Aes256Cbc.h"

namespace corvaline {

// The one key of packets, encrypted texts and the file data stream; the chain always starts
// from a zero vector.
inline constexpr AesKey kProgramKey = [] {
    constexpr char text[] = "Vq3!Lz8@Rm5#Tx2$Kp7%Hw4^Nd9&Jc6*";
    static_assert(sizeof(text) == 33);
    AesKey key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<std::uint8_t>(text[i]);
    }
    return key;
}();
inline constexpr AesIv kZeroIv{};

}  // namespace corvaline
