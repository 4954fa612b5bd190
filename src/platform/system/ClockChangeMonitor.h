#pragma once

#include <functional>
#include <memory>

#include "platform/runloop/Executor.h"
#include "platform/system/DescriptorWatch.h"
#include "platform/system/MainThreadNotice.h"

namespace corvaline {

// Tells the main thread that the wall clock was set or the time zone changed, after the C
// library has re-read the zone, so local-time offsets computed in the callback are current.
// Create and destroy on the main thread; the executor must outlive the monitor.
class ClockChangeMonitor {
  public:
    static std::unique_ptr<ClockChangeMonitor> start(Executor& main,
                                                     std::function<void()> onChange);

    struct Private {};
    ClockChangeMonitor(Private, Executor& main, std::function<void()> onChange);

    bool isWatching() const { return clock_ || zone_; }

  private:
    MainThreadNotice<> notice_;
    std::unique_ptr<DescriptorWatch> clock_;  // a timer the kernel cancels when the clock is set
    std::unique_ptr<DescriptorWatch> zone_;   // /etc, for a replaced localtime or timezone
};

}  // namespace corvaline
