#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"

namespace corvaline::app {

class HotKeyGrab;

// The one global shortcut of the application: follows an on/off default and a shortcut
// default, holds the grab exactly while both want it, and queues its action on the main queue
// at each press. GUI thread (the main queue's).
class HotKeyWorker {
  public:
    struct Shortcut {
        std::uint32_t flags;
        std::uint16_t code;
        bool operator==(const Shortcut&) const = default;
    };

    HotKeyWorker(Executor& main, HotKeyGrab& grab);
    ~HotKeyWorker();
    HotKeyWorker(const HotKeyWorker&) = delete;
    HotKeyWorker& operator=(const HotKeyWorker&) = delete;

    // Follow these defaults from now on ("enableHotKey" and "hotKey").
    void setEnabledDefaultsKeyPath(std::string_view key);
    void setHotKeyDefaultsKeyPath(std::string_view key);

    // Registers when turned on with a shortcut known, withdraws when turned off.
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    // A different shortcut replaces the registered one, registered only while enabled; an
    // equal one changes nothing.
    void setHotKey(std::optional<Shortcut> shortcut);
    const std::optional<Shortcut>& hotKey() const { return hotKey_; }
    void setAction(std::function<void()> action) { action_ = std::move(action); }
    bool registered() const { return registered_; }

    // A press of the shortcut: the action runs later on the main queue, never inside.
    void HotKeyEventHandler();

  private:
    void registerHotKey();
    void deregisterHotKey();

    Executor& main_;
    HotKeyGrab& grab_;
    std::function<void()> action_;
    std::optional<Shortcut> hotKey_;
    bool enabled_ = false;
    bool registered_ = false;
    ObservationToken enabledBinding_;
    ObservationToken hotKeyBinding_;
};

}  // namespace corvaline::app
