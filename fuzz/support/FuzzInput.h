#pragma once

// The layout of the handler targets' inputs, read by the targets and written by the seed
// generator. An input is a run of records made of small choices, so that nearly every input
// decodes and the bytes steer the handlers rather than the decoder:
//
//   value  := kind arg [len bytes]      kind picks a Value, arg which one of its kind;
//                                       raw and unicode texts carry len bytes of their own
//   packet := type ip count value*      type indexes the target's table (past it: a value),
//                                       ip picks the sender's address, count the fields
//
// Reading past the end gives zeros, so every byte string is an input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvaline::fuzzing {

// The values a field may take. The ones that name something (an id, an address, a room)
// resolve against the core the target runs, so that they hit stored records.
enum class Value : std::uint8_t {
    raw,         // the bytes that follow
    star,        // "*", the wire's empty placeholder
    empty,       // nothing at all
    myId,        // the local user's id
    peerId,      // a stored user's id
    strangerId,  // an id that no record has
    peerIp,      // a stored user's address, or none
    roomId,      // a stored room's id
    messageId,   // a held message's id
    number,      // a small decimal
    negative,    // a negative decimal
    huge,        // a number at the edge of what parses or converts
    peerList,    // stored ids joined by commas, the local one and strangers mixed in
    mySession,   // the local user's session
    unicode,     // the bytes that follow, as a message text in the Unicode form
    path,        // a file or folder name that tries to leave its folder
    count,
};

// Reads an input; every read past the end gives zeros. The thread that owns it.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    // Up to `length` bytes, fewer at the end.
    std::string bytes(std::size_t length) {
        const std::size_t taken = std::min(length, size_ - std::min(position_, size_));
        std::string text(reinterpret_cast<const char*>(data_ + position_), taken);
        position_ += taken;
        return text;
    }
    // A value's kind, its arg and its own bytes; the text of raw, unicode and path values is
    // in `text`.
    struct Choice {
        Value kind;
        std::uint8_t arg;
        std::string text;
    };
    Choice choice() {
        Choice next{
            static_cast<Value>(byte() % static_cast<std::uint8_t>(Value::count)), byte(), {}};
        if (next.kind == Value::raw || next.kind == Value::unicode) {
            next.text = bytes(next.arg);
        }
        return next;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Writes inputs in the same layout (the seed generator). The thread that owns it.
class FuzzInputWriter {
  public:
    FuzzInputWriter& byte(std::uint8_t value) {
        bytes_.push_back(static_cast<char>(value));
        return *this;
    }
    FuzzInputWriter& value(Value kind, std::uint8_t arg = 0) {
        return byte(static_cast<std::uint8_t>(kind)).byte(arg);
    }
    // A raw value; texts longer than 255 bytes are cut.
    FuzzInputWriter& text(std::string_view text, Value kind = Value::raw) {
        const auto length = static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), 255));
        value(kind, length);
        bytes_.append(text.substr(0, length));
        return *this;
    }
    // Bytes taken as they are (a chunk of file data).
    FuzzInputWriter& append(std::string_view bytes) {
        bytes_.append(bytes);
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

}  // namespace corvaline::fuzzing
