#pragma once

#include <optional>

namespace corvaline {

// How long the person at the computer has been away from it, for the local user's
// auto-away rule. The application supplies it (X11 idle time); the windowless node has none.
// The screensaver's notices reach the local user through CoreApplication. Main thread.
class UserActivity {
  public:
    virtual ~UserActivity() = default;
    // Seconds since the last input event; nothing when that cannot be known.
    virtual std::optional<double> secondsSinceLastInput() = 0;
};

}  // namespace corvaline
