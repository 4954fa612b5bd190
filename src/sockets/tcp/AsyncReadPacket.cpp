#include "sockets/tcp/AsyncReadPacket.h"

#include <algorithm>
#include <cstring>

namespace corvaline {

AsyncReadPacket::AsyncReadPacket(std::shared_ptr<Data> callerBuffer, std::uint64_t offset,
                                 std::uint64_t limit, double seconds, std::uint64_t length,
                                 std::optional<Data> terminator, long readTag,
                                 std::uint64_t readSerial)
    : maxLength(limit),
      timeout(seconds),
      readLength(length),
      term(std::move(terminator)),
      tag(readTag),
      serial(readSerial) {
    bufferOwner = callerBuffer == nullptr;
    if (bufferOwner) {
        buffer = std::make_shared<Data>(length);
        startOffset = 0;
        originalBufferLength = 0;
    } else {
        buffer = std::move(callerBuffer);
        startOffset = offset;
        originalBufferLength = buffer->size();
    }
}

void AsyncReadPacket::ensureCapacityForAdditionalDataOfLength(std::size_t length) {
    if (room() < length) {
        buffer->resize(buffer->size() + (length - room()));
    }
}

std::size_t AsyncReadPacket::readLengthForNonTermWithHint(std::size_t hint) const {
    if (readLength > 0) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(readLength - bytesDone, hint));
    }
    if (maxLength > 0) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(hint, maxLength - bytesDone));
    }
    return hint;
}

std::size_t AsyncReadPacket::readLengthForTermWithHint(std::size_t hint,
                                                       bool* shouldPreBuffer) const {
    std::size_t result = hint;
    if (maxLength > 0) {
        result = static_cast<std::size_t>(std::min<std::uint64_t>(result, maxLength - bytesDone));
    }
    *shouldPreBuffer = room() < result;
    return result;
}

std::size_t AsyncReadPacket::optimalReadLengthWithDefault(std::size_t defaultLength,
                                                          bool* shouldPreBuffer) const {
    if (readLength > 0) {
        *shouldPreBuffer = false;
        return static_cast<std::size_t>(readLength - bytesDone);
    }
    return readLengthForTermWithHint(defaultLength, shouldPreBuffer);
}

std::size_t AsyncReadPacket::readLengthForTermWithPreBuffer(
    const AsyncTcpSocketPreBuffer& preBuffer, bool* found) const {
    const std::size_t termLength = term->size();
    const std::size_t available = preBuffer.availableBytes();
    if (bytesDone + available < termLength) {
        return available;
    }
    std::size_t limit = available;
    if (maxLength > 0) {
        limit = static_cast<std::size_t>(std::min<std::uint64_t>(limit, maxLength - bytesDone));
    }
    const std::uint8_t* pre = preBuffer.readBuffer();
    const std::uint8_t* done = buffer->data() + startOffset + bytesDone;
    // The terminator may begin in the last `carried` bytes this read already holds.
    std::size_t carried =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytesDone, termLength - 1));
    std::size_t candidates =
        limit + carried + 1 >= termLength ? limit + carried + 1 - termLength : 0;
    std::size_t preStart = 0;
    for (std::size_t i = 0; i < candidates; ++i) {
        if (carried > 0) {
            std::size_t fromPre = termLength - carried;
            if (std::memcmp(done - carried, term->data(), carried) == 0 &&
                std::memcmp(pre, term->data() + carried, fromPre) == 0) {
                *found = true;
                return fromPre;
            }
            --carried;
        } else {
            if (std::memcmp(pre + preStart, term->data(), termLength) == 0) {
                *found = true;
                return preStart + termLength;
            }
            ++preStart;
        }
    }
    return limit;
}

long AsyncReadPacket::searchForTermAfterPreBuffering(std::size_t length) const {
    const std::size_t termLength = term->size();
    const std::uint8_t* data = buffer->data() + startOffset;
    std::size_t end = bytesDone + length;
    std::size_t position = bytesDone + 1 > termLength ? bytesDone + 1 - termLength : 0;
    for (; position + termLength <= end; ++position) {
        if (std::memcmp(data + position, term->data(), termLength) == 0) {
            return static_cast<long>(end - (position + termLength));
        }
    }
    return -1;
}

}  // namespace corvaline
