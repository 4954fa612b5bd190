#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace corvaline {

// Bytes as the sockets send and receive them.
using Data = std::vector<std::uint8_t>;

// A range of a shared byte buffer: what a completed read hands out. It keeps the buffer alive
// and copies nothing. A plain value, usable on any thread once handed over.
class DataSlice {
  public:
    DataSlice() = default;
    DataSlice(std::shared_ptr<const Data> buffer, std::size_t offset, std::size_t size)
        : buffer_(std::move(buffer)), offset_(offset), size_(size) {}

    const std::uint8_t* data() const { return buffer_ ? buffer_->data() + offset_ : nullptr; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size_; }
    std::span<const std::uint8_t> span() const { return {data(), size_}; }
    Data toData() const { return Data(begin(), end()); }

    // The buffer the slice lies in, and where.
    const std::shared_ptr<const Data>& buffer() const { return buffer_; }
    std::size_t offset() const { return offset_; }

  private:
    std::shared_ptr<const Data> buffer_;
    std::size_t offset_ = 0;
    std::size_t size_ = 0;
};

}  // namespace corvaline
