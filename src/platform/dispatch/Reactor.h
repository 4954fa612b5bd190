#pragma once

#include <sys/epoll.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

namespace corvaline::dispatch {

// The epoll instance the workers wait on, with one timer and one interrupt of its own.
// Descriptors are registered edge-triggered, once: a wait costs no call to re-arm them, and
// closing a descriptor takes it out. Internal to the dispatch layer; callable from any
// thread, `wait` by one thread at a time.
class Reactor {
  public:
    using Clock = std::chrono::steady_clock;
    // Tokens of the reactor's own descriptors; registered descriptors use others.
    static constexpr std::uint64_t kInterruptToken = 0;
    static constexpr std::uint64_t kTimerToken = 1;
    static constexpr std::size_t kBatch = 32;
    using Events = std::array<epoll_event, kBatch>;

    Reactor();
    ~Reactor();
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;

    // Registers the descriptor for the changes in `interest` (epoll bits; hang-ups and errors
    // always come), each reported with `token`; returns 0 or the error (EEXIST when this
    // open descriptor is registered already).
    int add(int fd, std::uint32_t interest, std::uint64_t token);
    // Gives a registered descriptor a new interest and token; the kernel reports its present
    // state anew.
    int modify(int fd, std::uint32_t interest, std::uint64_t token);
    // Waits for readiness (or only looks, when `block` is false); interrupts and timer
    // expiries come back as their tokens.
    std::span<const epoll_event> wait(bool block, Events& events);
    // Ends a wait in progress (or the next one).
    void interrupt();
    // The timer reports once at `when` (a time gone reports at once); replaces the last setting.
    void setTimer(Clock::time_point when);

  private:
    int epoll_ = -1;
    int interrupt_ = -1;  // eventfd
    int timer_ = -1;      // timerfd on the steady clock
};

}  // namespace corvaline::dispatch
