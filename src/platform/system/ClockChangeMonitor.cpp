#include "platform/system/ClockChangeMonitor.h"

#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace corvaline {
namespace {

// An absolute expiry that never comes: only the cancellation on a clock change wakes it.
bool armCancelOnSet(int fd) {
    itimerspec never{};
    never.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
    return ::timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &never, nullptr) == 0;
}

bool clockWasSet(int fd) {
    std::uint64_t expirations = 0;
    bool set = false;
    while (::read(fd, &expirations, sizeof expirations) < 0 && errno == ECANCELED) {
        set = true;
        armCancelOnSet(fd);
    }
    return set;
}

bool zoneFileChanged(int fd) {
    alignas(inotify_event) std::array<char, 4096> buffer;
    bool changed = false;
    ssize_t length;
    while ((length = ::read(fd, buffer.data(), buffer.size())) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            if (event->len > 0 && (std::strcmp(event->name, "localtime") == 0 ||
                                   std::strcmp(event->name, "timezone") == 0)) {
                changed = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return changed;
}

}  // namespace

std::unique_ptr<ClockChangeMonitor> ClockChangeMonitor::start(Executor& main,
                                                              std::function<void()> onChange) {
    auto monitor = std::make_unique<ClockChangeMonitor>(Private{}, main, std::move(onChange));
    return monitor->isWatching() ? std::move(monitor) : nullptr;
}

ClockChangeMonitor::ClockChangeMonitor(Private, Executor& main, std::function<void()> onChange)
    : notice_(main, std::move(onChange)) {
    int timer = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timer >= 0 && armCancelOnSet(timer)) {
        clock_ = DescriptorWatch::start(timer, "clock-change", [this](int fd) {
            if (clockWasSet(fd)) {
                notice_.fire();
            }
        });
    } else if (timer >= 0) {
        ::close(timer);
    }
    int zone = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (zone >= 0 && ::inotify_add_watch(
                         zone, "/etc", IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE) >= 0) {
        zone_ = DescriptorWatch::start(zone, "zone-change", [this](int fd) {
            if (zoneFileChanged(fd)) {
                ::tzset();  // with TZ unset, the C library re-reads /etc/localtime only here
                notice_.fire();
            }
        });
    } else if (zone >= 0) {
        ::close(zone);
    }
}

}  // namespace corvaline
