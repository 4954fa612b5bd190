#pragma once

#include <memory>

#include "core/model/services/UserActivity.h"

namespace corvaline::app {

// How long the person at the computer has been idle, from the X server's screensaver
// extension; none without an X11 connection (offscreen, Wayland). Main thread.
class X11UserActivity : public UserActivity {
  public:
    X11UserActivity();
    ~X11UserActivity() override;

    std::optional<double> secondsSinceLastInput() override;

  private:
    struct Connection;
    std::unique_ptr<Connection> x11_;
};

}  // namespace corvaline::app
