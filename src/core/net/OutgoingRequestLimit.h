#pragma once

#include <cstddef>
#include <deque>
#include <functional>

namespace corvaline {

// Caps the requests that hold an outgoing connection at once; the others wait in the order
// they were made. When a whole network appears together (the start of the day, a refresh's
// follow-up), every user is asked for its information at the same moment: thousands of
// simultaneous connections would hold memory and descriptors for nothing and flood the
// peers' listeners. Main thread only.
class OutgoingRequestLimit {
  public:
    // A request on the local network is answered in about a millisecond, so the queue
    // drains quickly; the slots are many enough that peers which never answer (each holds
    // its slot until the time-out) leave the others flowing.
    static constexpr std::size_t kInFlight = 64;

    // Runs `start` now when a slot is free, or once one is. Each start must be matched by
    // one `finished`.
    void start(std::function<void()> start);
    // A started request is over: the next waiting one, if any, takes its slot.
    void finished();

    std::size_t inFlight() const { return inFlight_; }
    std::size_t waiting() const { return waiting_.size(); }

  private:
    std::size_t inFlight_ = 0;
    std::deque<std::function<void()>> waiting_;
};

}  // namespace corvaline
