#include "core/codec/DuplicateFilter.h"

#include <functional>

namespace corvaline {

bool DuplicateFilter::CanContinueWithId(std::string_view id, ByteView contents) {
    const std::size_t idHash = std::hash<std::string_view>{}(id);
    const std::size_t contentHash = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
    for (std::size_t i = 0; i < count_; ++i) {
        if (idHashes_[i] == idHash && contentHashes_[i] == contentHash && ids_[i] == id) {
            return false;
        }
    }
    idHashes_[next_] = idHash;
    contentHashes_[next_] = contentHash;
    ids_[next_] = id;
    next_ = (next_ + 1) % kCapacity;
    if (count_ < kCapacity) {
        ++count_;
    }
    return true;
}

}  // namespace corvaline
