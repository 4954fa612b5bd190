#include "core/net/RequestBudget.h"

#include <algorithm>

namespace corvaline {

bool RequestBudget::admit(const AsyncTcpSocketPtr& socket, std::string host) {
    const auto fromHost = std::count_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& entry) { return entry.host == host; });
    if (static_cast<std::size_t>(fromHost) >= kConnectionsPerAddress) {
        return false;
    }
    entries_.push_back({socket, socket.get(), std::move(host), 0});
    return true;
}

RequestBudget::Entry* RequestBudget::find(const AsyncTcpSocket& socket) {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry& entry) { return entry.key == &socket; });
    return found == entries_.end() ? nullptr : &*found;
}

std::vector<AsyncTcpSocketPtr> RequestBudget::grew(const AsyncTcpSocket& socket,
                                                   std::uint64_t bytes) {
    std::vector<AsyncTcpSocketPtr> over;
    Entry* entry = find(socket);
    if (!entry) {
        return over;
    }
    entry->bytes += bytes;
    total_ += bytes;
    for (auto newest = entries_.rbegin(); total_ > kBufferedBytes && newest != entries_.rend();
         ++newest) {
        if (newest->bytes == 0) {
            continue;
        }
        total_ -= newest->bytes;
        newest->bytes = 0;
        if (auto closing = newest->socket.lock()) {
            over.push_back(std::move(closing));
        }
    }
    for (const auto& closing : over) {
        forget(*closing);
    }
    return over;
}

void RequestBudget::settled(const AsyncTcpSocket& socket) {
    if (Entry* entry = find(socket)) {
        total_ -= entry->bytes;
        entry->bytes = 0;
    }
}

void RequestBudget::forget(const AsyncTcpSocket& socket) {
    settled(socket);
    std::erase_if(entries_, [&](const Entry& entry) { return entry.key == &socket; });
}

}  // namespace corvaline
