#include "core/net/IncomingTransferLimit.h"

#include <algorithm>

#include "core/model/entities/FileTransfer.h"

namespace corvaline {

bool IncomingTransferLimit::admits(const std::string& host) {
    forgetEnded();
    const auto fromHost = std::count_if(running_.begin(), running_.end(),
                                        [&](const auto& entry) { return entry.second == host; });
    return running_.size() < kInAll && static_cast<std::size_t>(fromHost) < kPerAddress;
}

void IncomingTransferLimit::add(const std::shared_ptr<FileTransfer>& transfer, std::string host) {
    running_.emplace_back(transfer, std::move(host));
}

void IncomingTransferLimit::forgetEnded() {
    std::erase_if(running_, [](const auto& entry) {
        const auto transfer = entry.first.lock();
        return !transfer || !transfer->isRunning();
    });
}

}  // namespace corvaline
