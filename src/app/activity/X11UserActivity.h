#pragma once

#include <memory>

#include "core/model/services/UserActivity.h"
#include "platform/runloop/Executor.h"

namespace corvaline::app {

// What auto-away learns about the person at the computer: the idle time from the X server's
// screensaver extension (none without an X11 connection: offscreen, Wayland) and the
// screensaver notices of the session bus (none without one). Main thread.
class X11UserActivity : public UserActivity {
  public:
    explicit X11UserActivity(Executor& main);
    ~X11UserActivity() override;

    std::optional<double> secondsSinceLastInput() override;
    ObservationToken observeScreensaver(std::function<void(bool started)> callback) override;

  private:
    struct Connection;
    Executor& main_;
    std::unique_ptr<Connection> x11_;
};

}  // namespace corvaline::app
