#pragma once

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "core/codec/Bytes.h"
#include "core/codec/DuplicateFilter.h"
#include "core/codec/EncodingSetting.h"
#include "core/codec/Packet.h"
#include "core/codec/PacketTextEncoding.h"

namespace corvaline {

// Turns packets into wire bytes (fields joined by 0xA6, framed by count and id, encrypted
// under the program key, in base64, ended by 0x1F 0x1F) and back, rejecting malformed,
// foreign and repeated packets; also encrypts single texts. Main thread only: the encoding
// cache and the duplicate filter are not synchronised.
class PacketCodec {
  public:
    explicit PacketCodec(std::unique_ptr<EncodingSetting> setting);

    // The process's codec, keeping the encoding in the user default "encoding".
    static PacketCodec& shared();

    // Nothing when the packet has fewer than 8 fields or an empty field.
    std::optional<Bytes> PlainPacket(const Packet& packet);

    // The sender's fields followed by "0" and "2"; nothing when the bytes are rejected.
    std::optional<Packet> ArrayFromBase64AESdata(ByteView wire);

    // `contents`: the packet's plaintext, so that only the same packet counts as a repeat.
    bool CanContinueWithId(std::string_view id, ByteView contents) {
        return duplicates_.CanContinueWithId(id, contents);
    }

    // The text and one NUL, in UTF-8 or in the packet text encoding, encrypted with PKCS#7
    // padding; raw ciphertext, no base64. Nothing only when the cipher library fails.
    std::optional<Bytes> EncryptString(std::string_view text, bool useUTF8);

    // The text before the first NUL of the decrypted bytes. Nothing when the bytes are not
    // whole cipher blocks, or in UTF-8 mode when the text is not valid UTF-8.
    std::optional<std::string> DecryptString(ByteView bytes, bool useUTF8);

    PacketTextEncoding& textEncoding() { return encoding_; }

  private:
    PacketTextEncoding encoding_;
    DuplicateFilter duplicates_;
    std::mt19937 random_;
};

}  // namespace corvaline
