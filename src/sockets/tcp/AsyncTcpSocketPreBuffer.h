#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvaline {

// Bytes read from the descriptor ahead of the request they belong to: one contiguous block
// with a read and a write position. It grows by exactly what is missing, never moves bytes,
// and rewinds when emptied. Used on the socket queue only.
class AsyncTcpSocketPreBuffer {
  public:
    explicit AsyncTcpSocketPreBuffer(std::size_t capacity) : block_(capacity) {}

    // Makes room for `length` more bytes after the write position.
    void ensureCapacityForWrite(std::size_t length);

    std::size_t availableBytes() const { return write_ - read_; }
    const std::uint8_t* readBuffer() const { return block_.data() + read_; }
    void getReadBuffer(const std::uint8_t** buffer, std::size_t* availableBytes) const;
    void didRead(std::size_t length);

    std::size_t availableSpace() const { return block_.size() - write_; }
    std::uint8_t* writeBuffer() { return block_.data() + write_; }
    void getWriteBuffer(std::uint8_t** buffer, std::size_t* availableSpace);
    void didWrite(std::size_t length) { write_ += length; }

    void reset() { read_ = write_ = 0; }

  private:
    std::vector<std::uint8_t> block_;
    std::size_t read_ = 0;   // first unread byte
    std::size_t write_ = 0;  // first free byte
};

}  // namespace corvaline
