#include "sockets/tcp/AsyncTcpSocketPreBuffer.h"

namespace corvaline {

void AsyncTcpSocketPreBuffer::ensureCapacityForWrite(std::size_t length) {
    if (availableSpace() < length) {
        block_.resize(block_.size() + (length - availableSpace()));
    }
}

void AsyncTcpSocketPreBuffer::getReadBuffer(const std::uint8_t** buffer,
                                            std::size_t* availableBytes) const {
    if (buffer) {
        *buffer = readBuffer();
    }
    if (availableBytes) {
        *availableBytes = this->availableBytes();
    }
}

void AsyncTcpSocketPreBuffer::didRead(std::size_t length) {
    read_ += length;
    if (read_ == write_) {
        reset();  // empty: the space before the read position is free again
    }
}

void AsyncTcpSocketPreBuffer::getWriteBuffer(std::uint8_t** buffer, std::size_t* availableSpace) {
    if (buffer) {
        *buffer = writeBuffer();
    }
    if (availableSpace) {
        *availableSpace = this->availableSpace();
    }
}

}  // namespace corvaline
