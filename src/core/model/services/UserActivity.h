#pragma once

#include <functional>
#include <optional>

#include "platform/observers/ObservationToken.h"

namespace corvaline {

// What the local user's auto-away rule learns about the person at the computer: seconds since
// the last input event and the screen saver starting and stopping. The application supplies
// them (X11 idle time, session-bus screensaver signals); without it there are none.
// Main thread.
class UserActivity {
  public:
    virtual ~UserActivity() = default;
    // Nothing when the idle time cannot be known.
    virtual std::optional<double> secondsSinceLastInput() = 0;
    // `started` is true when the screen saver starts, false when it stops.
    virtual ObservationToken observeScreensaver(std::function<void(bool started)> callback) = 0;
};

}  // namespace corvaline
