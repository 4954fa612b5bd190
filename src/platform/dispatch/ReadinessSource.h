#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/SerialQueue.h"

namespace corvaline::dispatch {

class Runtime;

// Tells a queue when a descriptor is readable or writable. Level-triggered while resumed: the
// event handler runs on the target queue, and runs again after it returns as long as the
// condition holds. Created suspended (call resume once to start). The descriptor stays owned
// by the caller; the cancel handler is the place to close it. Callable from any thread.
class ReadinessSource : public std::enable_shared_from_this<ReadinessSource> {
  public:
    enum class Kind { Read, Write };
    // For read sources: the bytes the descriptor reports as available (FIONREAD; 0 for a
    // descriptor that keeps no count, such as a listening socket).
    using EventHandler = std::function<void(std::size_t available)>;

    // Null when the descriptor cannot be watched (it is not open, or the reactor refuses it).
    static std::shared_ptr<ReadinessSource> create(Kind kind, int fd,
                                                   std::shared_ptr<SerialQueue> queue);

    struct Private {};
    ReadinessSource(Private, Kind kind, int fd, std::shared_ptr<Runtime> runtime,
                    std::shared_ptr<SerialQueue> queue);
    ~ReadinessSource();
    ReadinessSource(const ReadinessSource&) = delete;
    ReadinessSource& operator=(const ReadinessSource&) = delete;

    void setEventHandler(EventHandler handler);
    void setCancelHandler(std::function<void()> handler);

    // Suspensions nest; the source delivers only when every suspend was matched by a resume.
    // A condition that arose while suspended is delivered after the resume.
    void resume();
    void suspend();
    // Stops delivery for good and posts the cancel handler to the queue; completions of waits
    // begun before the cancel are ignored.
    void cancel();
    bool isCancelled() const;

    int fd() const { return fd_; }

  private:
    void detachLocked();
    void armLocked();
    void onReady(unsigned generation);
    void deliver(unsigned generation, std::size_t available);

    const Kind kind_;
    const int fd_;
    const std::shared_ptr<Runtime> runtime_;
    const std::shared_ptr<SerialQueue> queue_;
    mutable std::mutex mutex_;
    bool registered_ = true;  // counted as a user of the descriptor's reactor registration
    EventHandler eventHandler_;
    std::function<void()> cancelHandler_;
    int suspendCount_ = 1;
    bool cancelled_ = false;
    bool waiting_ = false;     // a readiness wait is outstanding
    bool delivering_ = false;  // an event is posted to the queue and has not run yet
    bool hangUpDelivered_ = false;
    bool countsBytes_ = true;  // FIONREAD works on the descriptor (not on a listener)
    unsigned generation_ = 0;
};

}  // namespace corvaline::dispatch
