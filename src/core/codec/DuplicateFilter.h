#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/codec/Bytes.h"

namespace corvaline {

// Remembers the last packets decoded, so that a packet that arrives twice (several broadcast
// targets, a repeated request) is handled once. Main thread only.
//
// A packet id is only a random draw from 9 million values, so among the last 60 a new packet
// finds its id taken once in about 150 000 packets: a node that receives 50 000 messages
// would leave one unanswered in more than a quarter of such runs. A repeat is therefore the
// same id with the same contents; a new packet whose id happens to be taken still passes.
class DuplicateFilter {
  public:
    static constexpr std::size_t kCapacity = 60;

    // True when no remembered packet had this id and these contents (the packet's plaintext);
    // the packet is then remembered, the oldest one forgotten when the list is full.
    bool CanContinueWithId(std::string_view id, ByteView contents);

  private:
    // A ring, oldest at next_ once full. Every packet is looked up against all of them, so
    // the contents are compared by their hashes, the ids by theirs first.
    std::array<std::size_t, kCapacity> idHashes_{};
    std::array<std::size_t, kCapacity> contentHashes_{};
    std::array<std::string, kCapacity> ids_;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
};

}  // namespace corvaline
