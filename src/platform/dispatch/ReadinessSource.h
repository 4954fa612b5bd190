#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/DescriptorRegistry.h"
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
    // What a read source's descriptor is. FIONREAD counts its bytes; when it counts none, a
    // connected stream socket has nothing to read unless the reactor has seen it hang up,
    // while other descriptors (an empty datagram is readable, a listener keeps no count) are
    // asked with poll. A connected stream's report with no bytes is therefore always its end
    // (or its failure).
    enum class Descriptor { ConnectedStream, Other };
    // For read sources: the bytes the descriptor reports as available (FIONREAD; 0 for a
    // descriptor that keeps no count, such as a listening socket).
    using EventHandler = std::function<void(std::size_t available)>;

    // Null for a negative descriptor. One that is not open, or that the reactor cannot
    // watch, is found out at the first wait: poll's word on it is reported then (a closed
    // descriptor reads as hung up).
    static std::shared_ptr<ReadinessSource> create(Kind kind, int fd,
                                                   std::shared_ptr<SerialQueue> queue,
                                                   Descriptor descriptor = Descriptor::Other);

    struct Private {};
    ReadinessSource(Private, Kind kind, Descriptor descriptor, std::shared_ptr<Runtime> runtime,
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
    // Stops delivery for good and posts the cancel handler to the queue; reports of the
    // reactor that come after are ignored.
    void cancel();
    bool isCancelled() const;

    int fd() const { return registration_->fd(); }

    // The reactor saw the descriptor change (on the worker that waited for it).
    void reactorReported();

  private:
    enum class Via { Caller, Reactor, Queue };
    void detachLocked();
    void armLocked(Via via);
    void checkLocked(Via via);
    void deliver(unsigned generation, std::size_t available);

    const Kind kind_;
    const Descriptor descriptor_;
    const std::shared_ptr<Runtime> runtime_;
    const std::shared_ptr<SerialQueue> queue_;
    std::shared_ptr<DescriptorRegistry::Registration> registration_;  // set once, by create
    mutable std::mutex mutex_;
    bool registered_ = true;  // counted as a user of the descriptor's registration
    EventHandler eventHandler_;
    std::function<void()> cancelHandler_;
    int suspendCount_ = 1;
    bool cancelled_ = false;
    bool waiting_ = false;     // resumed, and nothing to deliver at the last look
    bool delivering_ = false;  // an event is posted to the queue and has not run yet
    bool hangUpDelivered_ = false;
    bool countsBytes_ = true;  // FIONREAD works on the descriptor (not on a listener)
    bool refused_ = false;     // the reactor cannot watch the descriptor: poll decides
    unsigned generation_ = 0;
};

}  // namespace corvaline::dispatch
