#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

namespace corvaline {

// Datagrams a socket has read whose delegate (or receive filter) has not finished with them
// yet. A peer that sends faster than the delegate's queue runs would otherwise grow memory
// without end; above the bound the socket stops reading and the kernel drops what no longer
// fits its buffer. Callable from any thread.
class ReceiveBacklog : public std::enable_shared_from_this<ReceiveBacklog> {
  public:
    // Far above what presence traffic of a large network keeps waiting at once, and at most
    // 16 MiB of the largest datagrams.
    static constexpr std::size_t kMaxDatagrams = 256;
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;

    // Counts a datagram until the returned hold is let go. `resume` runs on the thread that
    // lets it go when that gives a paused reader room again.
    std::shared_ptr<void> hold(std::size_t bytes, std::function<void()> resume);
    // True when reading must wait; a hold's `resume` then runs once the backlog has shrunk.
    bool pauseIfFull();

    std::size_t datagrams() const { return datagrams_; }

  private:
    bool isFull() const { return datagrams_ >= kMaxDatagrams || bytes_ >= kMaxBytes; }
    // Half the bound: reading does not flip on and off with every datagram handled.
    bool hasRoom() const { return datagrams_ <= kMaxDatagrams / 2 && bytes_ <= kMaxBytes / 2; }

    std::atomic<std::size_t> datagrams_{0};
    std::atomic<std::size_t> bytes_{0};
    std::atomic<bool> paused_{false};
};

}  // namespace corvaline
