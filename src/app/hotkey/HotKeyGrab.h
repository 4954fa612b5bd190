#pragma once

#include <cstdint>
#include <functional>

namespace corvaline::app {

// The window system's side of the global shortcut: takes one key combination for the whole
// desktop and reports its presses. Combinations are [modifier flags, virtual key code] as the
// "hotKey" default stores them. GUI thread.
class HotKeyGrab {
  public:
    virtual ~HotKeyGrab() = default;

    // Takes the combination; false when the window system refuses it (another client holds
    // it, the key is not on the keyboard, there is no X connection).
    virtual bool grab(std::uint32_t flags, std::uint16_t code) = 0;
    virtual void ungrab() = 0;
    // Another client holds the combination (found by a trial grab).
    virtual bool isTaken(std::uint32_t flags, std::uint16_t code) = 0;

    // Called on the GUI thread for each press of the grabbed combination.
    void setPressed(std::function<void()> pressed) { pressed_ = std::move(pressed); }

  protected:
    void pressed() const {
        if (pressed_) {
            pressed_();
        }
    }

  private:
    std::function<void()> pressed_;
};

}  // namespace corvaline::app
