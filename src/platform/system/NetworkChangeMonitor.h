#pragma once

#include <functional>
#include <memory>

#include "platform/runloop/Executor.h"
#include "platform/system/DescriptorWatch.h"
#include "platform/system/MainThreadNotice.h"

namespace corvaline {

// Tells the main thread that links or IPv4 addresses of this machine changed (rtnetlink).
// One notice per burst the kernel hands over at once; debouncing is the listener's business.
// Create and destroy on the main thread; the executor must outlive the monitor.
class NetworkChangeMonitor {
  public:
    // Null when the kernel refuses a routing socket.
    static std::unique_ptr<NetworkChangeMonitor> start(Executor& main,
                                                       std::function<void()> onChange);

    struct Private {};
    NetworkChangeMonitor(Private, Executor& main, std::function<void()> onChange);

  private:
    MainThreadNotice<> notice_;
    std::unique_ptr<DescriptorWatch> watch_;
};

}  // namespace corvaline
