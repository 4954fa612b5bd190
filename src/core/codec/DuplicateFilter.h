#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace corvaline {

// Remembers the ids of the last packets decoded, oldest first, so that a packet that arrives
// twice (several broadcast targets, a repeated request) is handled once. Main thread only.
class DuplicateFilter {
  public:
    static constexpr std::size_t kCapacity = 60;

    // True when the id is not among the remembered ones; it is then remembered, the oldest
    // one forgotten when the list is full.
    bool CanContinueWithId(std::string_view id);

  private:
    std::deque<std::string> ids_;
};

}  // namespace corvaline
