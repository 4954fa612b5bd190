#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/ReadinessSource.h"
#include "platform/dispatch/SerialQueue.h"

namespace corvaline {

// Owns a descriptor that a system monitor reads, and calls `onReadable` on a private serial
// queue whenever it is readable. Closing happens after the source is cancelled, so the
// reactor never sees a reused number. Create and destroy on one thread; the handler runs on
// the watch's queue.
class DescriptorWatch {
  public:
    // Takes ownership of fd. Null when it cannot be watched (the fd is then closed).
    static std::unique_ptr<DescriptorWatch> start(int fd, std::string label,
                                                  std::function<void(int fd)> onReadable);
    ~DescriptorWatch();
    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;

    // Runs a block on the watch's queue (where the descriptor may be used) and waits for it.
    void sync(const std::function<void()>& block) { queue_->sync(block); }

    struct Private {};
    DescriptorWatch(Private, std::shared_ptr<dispatch::SerialQueue> queue,
                    std::shared_ptr<dispatch::ReadinessSource> source);

  private:
    std::shared_ptr<dispatch::SerialQueue> queue_;
    std::shared_ptr<dispatch::ReadinessSource> source_;
};

}  // namespace corvaline
