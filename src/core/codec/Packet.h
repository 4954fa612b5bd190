#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/codec/Bytes.h"

namespace corvaline {

// A message text already in the Unicode field form (EncodeUnicodeField); writers put it into
// the packet in place of the text. A plain value like the packet.
struct UnicodeField {
    Bytes bytes;
    bool operator==(const UnicodeField&) const = default;
};

// The ordered fields of one presence, message, chat or user-information exchange. Field 0 is
// the packet type, "*" stands for a field with nothing to say. A plain value: any thread that
// owns it.
class Packet {
  public:
    using Field = std::variant<std::string, UnicodeField>;

    Packet() = default;
    Packet(std::initializer_list<Field> fields) : fields_(fields) {}
    explicit Packet(std::vector<Field> fields) : fields_(std::move(fields)) {}

    std::size_t size() const { return fields_.size(); }
    const Field& operator[](std::size_t index) const { return fields_[index]; }
    Field& operator[](std::size_t index) { return fields_[index]; }
    const std::vector<Field>& fields() const { return fields_; }

    // The text of a field; empty for a byte block or an index past the end, so that readers
    // of received packets need no bounds check of their own.
    std::string_view text(std::size_t index) const;

    bool operator==(const Packet&) const = default;

  private:
    std::vector<Field> fields_;
};

}  // namespace corvaline
