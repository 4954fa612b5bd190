#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "sockets/Data.h"
#include "sockets/tcp/AsyncTcpSocketPreBuffer.h"

namespace corvaline {

// One queued read: whatever is available, an exact length, or up to a terminator; into a
// buffer of its own or the caller's at an offset. Used on the socket queue only.
struct AsyncReadPacket {
    // A null `buffer` makes the packet own a new one (`readLength` zero bytes).
    AsyncReadPacket(std::shared_ptr<Data> buffer, std::uint64_t startOffset,
                    std::uint64_t maxLength, double timeout, std::uint64_t readLength,
                    std::optional<Data> term, long tag, std::uint64_t serial);

    // Room in the buffer after what this read has taken.
    std::size_t room() const { return buffer->size() - startOffset - bytesDone; }
    std::uint8_t* writePosition() { return buffer->data() + startOffset + bytesDone; }
    void ensureCapacityForAdditionalDataOfLength(std::size_t length);

    // How much to take, given `hint` bytes believed available.
    std::size_t readLengthForNonTermWithHint(std::size_t hint) const;
    // `shouldPreBuffer`: the buffer has no room ready for the whole read.
    std::size_t readLengthForTermWithHint(std::size_t hint, bool* shouldPreBuffer) const;
    // How much to ask the TLS layer for: what an exact read still needs, else `defaultLength`
    // (within the limit), read ahead when the buffer has no room ready for it.
    std::size_t optimalReadLengthWithDefault(std::size_t defaultLength,
                                             bool* shouldPreBuffer) const;
    // The pre-buffered bytes that belong to this read; `found` is set when they end with the
    // terminator (which may have begun in the bytes already taken).
    std::size_t readLengthForTermWithPreBuffer(const AsyncTcpSocketPreBuffer& preBuffer,
                                               bool* found) const;
    // After `length` bytes went straight into the buffer: the bytes that followed the
    // terminator, or -1 when it is not there.
    long searchForTermAfterPreBuffering(std::size_t length) const;

    std::shared_ptr<Data> buffer;
    std::uint64_t startOffset;
    std::uint64_t bytesDone = 0;
    std::uint64_t maxLength;   // 0: no limit
    double timeout;            // grows when the delegate extends it
    std::uint64_t readLength;  // > 0 only for an exact-length read
    std::optional<Data> term;
    bool bufferOwner;
    std::uint64_t originalBufferLength;
    long tag;
    std::uint64_t serial;  // tells a late time-out answer from one about this read
};

}  // namespace corvaline
