#include "platform/dispatch/DescriptorRegistry.h"

namespace corvaline::dispatch {

DescriptorRegistry::~DescriptorRegistry() {
    for (auto& [fd, entry] : entries_) {
        entry.descriptor->release();
    }
}

bool DescriptorRegistry::acquire(int fd) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[fd];
    if (entry.users == 0) {
        auto descriptor = std::make_unique<asio::posix::stream_descriptor>(io_);
        asio::error_code error;
        descriptor->assign(fd, error);
        if (error) {
            entries_.erase(fd);
            return false;
        }
        entry.descriptor = std::move(descriptor);
    }
    ++entry.users;
    return true;
}

void DescriptorRegistry::release(int fd) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(fd);
    if (found == entries_.end() || --found->second.users > 0) {
        return;
    }
    found->second.descriptor->release();
    entries_.erase(found);
}

void DescriptorRegistry::asyncWait(int fd, WaitType type, WaitHandler handler) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(fd);
    if (found == entries_.end()) {
        return;
    }
    found->second.descriptor->async_wait(type, std::move(handler));
}

}  // namespace corvaline::dispatch
