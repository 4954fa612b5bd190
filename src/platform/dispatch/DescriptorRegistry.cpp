#include "platform/dispatch/DescriptorRegistry.h"

#include <algorithm>
#include <cerrno>

#include "platform/dispatch/ReadinessSource.h"

namespace corvaline::dispatch {
namespace {

std::uint64_t tokenOf(int fd, std::uint32_t generation) {
    return (std::uint64_t{generation} << 32) | static_cast<std::uint32_t>(fd);
}

}  // namespace

std::shared_ptr<DescriptorRegistry::Registration> DescriptorRegistry::acquire(
    int fd, const std::shared_ptr<ReadinessSource>& source, std::uint32_t events) {
    std::lock_guard lock(mutex_);
    auto& registration = registrations_[fd];
    if (!registration || registration->users_.empty()) {
        // A number nobody uses may name another descriptor by now: what was seen of the
        // one before is forgotten, and a wait registers it again.
        registration.reset(new Registration(fd));
    }
    registration->users_.push_back({source.get(), source, events});
    return registration;
}

void DescriptorRegistry::release(Registration& registration, const ReadinessSource* source) {
    std::lock_guard lock(mutex_);
    std::erase_if(registration.users_,
                  [source](const auto& user) { return user.source == source; });
}

bool DescriptorRegistry::watch(Registration& registration, std::uint32_t interest) {
    std::lock_guard lock(mutex_);
    const std::uint32_t before = registration.interest_.load(std::memory_order_relaxed);
    if ((before & interest) == interest) {
        return true;
    }
    interest |= before;
    int error = 0;
    if (before != 0) {
        error = reactor_.modify(registration.fd_, interest,
                                tokenOf(registration.fd_, registration.generation_));
    } else {
        if (++nextGeneration_ == 0) {
            nextGeneration_ = 1;  // 0 marks the reactor's own descriptors
        }
        const std::uint64_t token = tokenOf(registration.fd_, nextGeneration_);
        error = reactor_.add(registration.fd_, interest, token);
        if (error == EEXIST) {
            // Still registered under an earlier generation: the same descriptor, let go and
            // taken again. The new token makes the kernel report its present state again.
            error = reactor_.modify(registration.fd_, interest, token);
        }
        // Set under the lock: a report of the new registration finds it.
        registration.generation_ = nextGeneration_;
    }
    if (error != 0) {
        return false;
    }
    registration.interest_.store(interest, std::memory_order_release);
    return true;
}

void DescriptorRegistry::onReport(std::uint64_t token, std::uint32_t events) {
    // Reused by every report on this thread: a report costs no allocation.
    thread_local std::vector<std::shared_ptr<ReadinessSource>> told;
    const int fd = static_cast<int>(token & 0xffffffffu);
    const auto generation = static_cast<std::uint32_t>(token >> 32);
    {
        std::lock_guard lock(mutex_);
        auto found = registrations_.find(fd);
        if (found == registrations_.end() || found->second->generation_ != generation) {
            return;  // meant for a descriptor closed since
        }
        Registration& registration = *found->second;
        if ((events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
            registration.hungUp_.store(true, std::memory_order_release);
        }
        for (const auto& user : registration.users_) {
            if ((user.events & events) != 0) {
                if (auto source = user.weak.lock()) {
                    told.push_back(std::move(source));
                }
            }
        }
    }
    for (const auto& source : told) {
        source->reactorReported();
    }
    told.clear();  // a source let go here leaves the registry without its lock held
}

}  // namespace corvaline::dispatch
