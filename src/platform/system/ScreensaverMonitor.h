#pragma once

#include <functional>
#include <memory>

#include "platform/runloop/Executor.h"
#include "platform/system/BusConnection.h"
#include "platform/system/MainThreadNotice.h"

namespace corvaline {

// Screensaver start and stop notices from the session bus (freedesktop and GNOME names).
// Create and destroy on the main thread; the executor must outlive the monitor.
class ScreensaverMonitor {
  public:
    using Handler = std::function<void(bool active)>;

    // Null without a session bus: then there are no notices.
    static std::unique_ptr<ScreensaverMonitor> start(Executor& main, Handler handler);

    struct Private {};
    ScreensaverMonitor(Private, Executor& main, Handler handler,
                       std::unique_ptr<BusConnection> bus);

  private:
    MainThreadNotice<bool> notice_;
    std::unique_ptr<BusConnection> bus_;
};

}  // namespace corvaline
