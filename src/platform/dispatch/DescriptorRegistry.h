#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/dispatch/Reactor.h"

namespace corvaline::dispatch {

class ReadinessSource;

// The reactor's registrations of watched descriptors, one per descriptor number however many
// readiness sources watch it. A descriptor enters the reactor only when a source first has to
// wait for it (one whose bytes are there already never does), and leaves it when it is
// closed: letting go of it costs no call. Each registration carries a generation in its
// token, so a report meant for a closed descriptor never reaches the one that reuses its
// number. Internal to the dispatch layer; callable from any thread.
class DescriptorRegistry {
  public:
    // What the sources of one descriptor share.
    class Registration {
      public:
        int fd() const { return fd_; }
        // The reactor has reported a hang-up or an error since the descriptor was watched:
        // a state a stream socket never leaves.
        bool hungUp() const { return hungUp_.load(std::memory_order_acquire); }
        // The reactor took the descriptor; until then (and when it refused it) only a direct
        // look at the descriptor tells its state.
        bool watched() const { return interest_.load(std::memory_order_acquire) != 0; }
        // The reactor reports the changes in `interest` (epoll bits).
        bool watches(std::uint32_t interest) const {
            return (interest_.load(std::memory_order_acquire) & interest) == interest;
        }

      private:
        friend class DescriptorRegistry;
        explicit Registration(int fd) : fd_(fd) {}
        struct User {
            const ReadinessSource* source;
            std::weak_ptr<ReadinessSource> weak;
            std::uint32_t events;  // the reports that concern it
        };
        const int fd_;
        std::uint32_t generation_ = 0;  // of its token; 0 until watched
        std::vector<User> users_;
        std::atomic<bool> hungUp_{false};
        std::atomic<std::uint32_t> interest_{0};  // what the reactor reports; 0: not watched
    };

    explicit DescriptorRegistry(Reactor& reactor) : reactor_(reactor) {}
    DescriptorRegistry(const DescriptorRegistry&) = delete;
    DescriptorRegistry& operator=(const DescriptorRegistry&) = delete;

    // Counts the source as a user of the descriptor's registration; it is told of the
    // reports in `events` (epoll bits) from then on.
    std::shared_ptr<Registration> acquire(int fd, const std::shared_ptr<ReadinessSource>& source,
                                          std::uint32_t events);
    // The source is told nothing more. Every user lets go before the descriptor is closed.
    void release(Registration& registration, const ReadinessSource* source);
    // Has the reactor report the descriptor's changes in `interest` from now on (and its
    // present state); false when it refuses the descriptor (not open, or a kind epoll cannot
    // watch). Interest is only ever added: a readiness the sources no longer wait for costs at
    // most a report they ignore.
    bool watch(Registration& registration, std::uint32_t interest);
    // A report of the reactor, on the thread that waited for it.
    void onReport(std::uint64_t token, std::uint32_t events);

  private:
    Reactor& reactor_;
    std::mutex mutex_;
    std::unordered_map<int, std::shared_ptr<Registration>> registrations_;
    std::uint32_t nextGeneration_ = 1;
};

}  // namespace corvaline::dispatch
