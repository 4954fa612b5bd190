#include "app/hotkey/HotKeyWorker.h"

#include <string>

#include "app/hotkey/HotKeyGrab.h"
#include "platform/defaults/UserDefaults.h"

namespace corvaline::app {

namespace {

// [modifier flags, key code]; anything else is no shortcut.
std::optional<HotKeyWorker::Shortcut> shortcutIn(const std::optional<nlohmann::json>& value) {
    if (!value || !value->is_array() || value->size() < 2 || !value->front().is_number() ||
        !value->back().is_number()) {
        return std::nullopt;
    }
    return HotKeyWorker::Shortcut{static_cast<std::uint32_t>(value->front().get<double>()),
                                  static_cast<std::uint16_t>(value->back().get<double>())};
}

}  // namespace

HotKeyWorker::HotKeyWorker(Executor& main, HotKeyGrab& grab) : main_(main), grab_(grab) {
    grab_.setPressed([this] { HotKeyEventHandler(); });
}

HotKeyWorker::~HotKeyWorker() {
    grab_.setPressed(nullptr);
    deregisterHotKey();
}

void HotKeyWorker::setEnabledDefaultsKeyPath(std::string_view key) {
    auto& settings = UserDefaults::standard();
    enabledBinding_ = settings.observe(key, [this, key = std::string(key)] {
        setEnabled(UserDefaults::standard().boolForKey(key));
    });
    setEnabled(settings.boolForKey(key));
}

void HotKeyWorker::setHotKeyDefaultsKeyPath(std::string_view key) {
    auto& settings = UserDefaults::standard();
    hotKeyBinding_ = settings.observe(key, [this, key = std::string(key)] {
        setHotKey(shortcutIn(UserDefaults::standard().arrayForKey(key)));
    });
    setHotKey(shortcutIn(settings.arrayForKey(key)));
}

void HotKeyWorker::setEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    if (enabled_) {
        registerHotKey();
    } else {
        deregisterHotKey();
    }
}

void HotKeyWorker::setHotKey(std::optional<Shortcut> shortcut) {
    if (shortcut == hotKey_) {
        return;
    }
    deregisterHotKey();
    hotKey_ = shortcut;
    if (enabled_) {  // a shortcut changed while switched off stays unregistered
        registerHotKey();
    }
}

void HotKeyWorker::registerHotKey() {
    if (!hotKey_ || registered_) {
        return;
    }
    // Refused (another client holds it, no X): stays unregistered, silently; the settings
    // field warns about taken combinations when they are recorded.
    registered_ = grab_.grab(hotKey_->flags, hotKey_->code);
}

void HotKeyWorker::deregisterHotKey() {
    if (!registered_) {
        return;
    }
    grab_.ungrab();
    registered_ = false;
}

void HotKeyWorker::HotKeyEventHandler() {
    if (action_) {
        main_.post(action_);
    }
}

}  // namespace corvaline::app
