#include "core/codec/DuplicateFilter.h"

#include <functional>

namespace corvaline {

bool DuplicateFilter::CanContinueWithId(std::string_view id) {
    const std::size_t hash = std::hash<std::string_view>{}(id);
    for (std::size_t i = 0; i < count_; ++i) {
        if (hashes_[i] == hash && ids_[i] == id) {
            return false;
        }
    }
    hashes_[next_] = hash;
    ids_[next_] = id;
    next_ = (next_ + 1) % kCapacity;
    if (count_ < kCapacity) {
        ++count_;
    }
    return true;
}

}  // namespace corvaline
