#include "platform/dispatch/Reactor.h"

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace corvaline::dispatch {
namespace {

int checked(int result, const char* what) {
    if (result == -1) {
        throw std::system_error(errno, std::generic_category(), what);
    }
    return result;
}

}  // namespace

Reactor::Reactor()
    : epoll_(checked(::epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      interrupt_(checked(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), "eventfd")),
      // steady_clock is CLOCK_MONOTONIC: deadlines go to the kernel as they are.
      timer_(checked(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK),
                     "timerfd_create")) {
    // Edge-triggered and never read: each write or expiry is an edge of its own, and the
    // counters they raise are reset by nothing we rely on (a timer's by its next setting).
    for (auto [fd, token] :
         {std::pair{interrupt_, kInterruptToken}, std::pair{timer_, kTimerToken}}) {
        if (int error = add(fd, EPOLLIN, token); error != 0) {
            throw std::system_error(error, std::generic_category(), "epoll_ctl");
        }
    }
}

Reactor::~Reactor() {
    for (int fd : {timer_, interrupt_, epoll_}) {
        ::close(fd);
    }
}

int Reactor::add(int fd, std::uint32_t interest, std::uint64_t token) {
    epoll_event event{};
    event.events = interest | EPOLLET;
    event.data.u64 = token;
    return ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0 ? 0 : errno;
}

int Reactor::modify(int fd, std::uint32_t interest, std::uint64_t token) {
    epoll_event event{};
    event.events = interest | EPOLLET;
    event.data.u64 = token;
    return ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event) == 0 ? 0 : errno;
}

std::span<const epoll_event> Reactor::wait(bool block, Events& events) {
    int count =
        ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), block ? -1 : 0);
    return {events.data(), static_cast<std::size_t>(count > 0 ? count : 0)};
}

void Reactor::interrupt() {
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is full, which a pending edge already covers.
    (void)!::write(interrupt_, &one, sizeof one);
}

void Reactor::setTimer(Clock::time_point when) {
    const auto since =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
    itimerspec setting{};
    const auto nanoseconds = std::max<std::int64_t>(since.count(), 1);  // zero would disarm
    setting.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
    setting.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &setting, nullptr);
}

}  // namespace corvaline::dispatch
