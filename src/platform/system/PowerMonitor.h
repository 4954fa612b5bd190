#pragma once

#include <functional>
#include <memory>

#include "platform/runloop/Executor.h"
#include "platform/system/BusConnection.h"
#include "platform/system/MainThreadNotice.h"

namespace corvaline {

// Sleep and wake notices from logind. While awake it holds a delay lock, so the machine waits
// for `allowSleep` (or logind's own limit) before it sleeps: time to say goodbye on the network.
// Create, use and destroy on the main thread; the executor must outlive the monitor.
class PowerMonitor {
  public:
    // sleeping = true: the machine is about to sleep; false: it woke up.
    using Handler = std::function<void(bool sleeping)>;

    // Null without a system bus or logind: then there are simply no notices.
    static std::unique_ptr<PowerMonitor> start(Executor& main, Handler handler);
    ~PowerMonitor();

    // Releases the delay lock after the sleep notice has been handled.
    void allowSleep();

    struct Private {};
    PowerMonitor(Private, Executor& main, Handler handler, std::unique_ptr<BusConnection> bus);

  private:
    void takeDelayLock();  // on the bus queue

    MainThreadNotice<bool> notice_;
    std::unique_ptr<BusConnection> bus_;
    int delayLock_ = -1;  // touched on the bus queue only
};

}  // namespace corvaline
