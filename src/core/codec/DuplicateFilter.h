#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvaline {

// Remembers the ids of the last packets decoded, so that a packet that arrives twice (several
// broadcast targets, a repeated request) is handled once. Main thread only.
class DuplicateFilter {
  public:
    static constexpr std::size_t kCapacity = 60;

    // True when the id is not among the remembered ones; it is then remembered, the oldest
    // one forgotten when the list is full.
    bool CanContinueWithId(std::string_view id);

  private:
    // A ring, oldest at next_ once full. Every packet is looked up against all of them, so the
    // ids are compared by their hashes first.
    std::array<std::size_t, kCapacity> hashes_{};
    std::array<std::string, kCapacity> ids_;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
};

}  // namespace corvaline
