#include "core/codec/DuplicateFilter.h"

#include <algorithm>

namespace corvaline {

bool DuplicateFilter::CanContinueWithId(std::string_view id) {
    if (std::find(ids_.begin(), ids_.end(), id) != ids_.end()) {
        return false;
    }
    if (ids_.size() >= kCapacity) {
        ids_.pop_front();
    }
    ids_.emplace_back(id);
    return true;
}

}  // namespace corvaline
