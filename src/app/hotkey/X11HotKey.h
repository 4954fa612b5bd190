#pragma once

#include <QAbstractNativeEventFilter>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/hotkey/HotKeyGrab.h"

namespace corvaline::app {

// The global shortcut on X11: a passive grab of the key on the root window, once for each
// combination of Caps Lock and Num Lock, taken again when the keyboard mapping changes. Also
// names keys by the current layout. Without an X connection (offscreen, Wayland) nothing is
// grabbed and nothing is taken. GUI thread.
class X11HotKey : public HotKeyGrab, public QAbstractNativeEventFilter {
  public:
    // Uses the application's own X connection, if it has one.
    X11HotKey();
    ~X11HotKey() override;

    bool available() const;
    bool grab(std::uint32_t flags, std::uint16_t code) override;
    void ungrab() override;
    bool isTaken(std::uint32_t flags, std::uint16_t code) override;

    // The key's name in the current layout (its character without modifiers).
    std::optional<QString> keyName(std::uint16_t code) const;
    // The virtual key code of an X key code, read without modifiers.
    std::optional<std::uint16_t> codeForScanCode(std::uint32_t scanCode) const;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

    // The X modifier mask of modifier flags: Shift, Control, Alt (Mod1), Super (Mod4).
    static std::uint16_t modifierMask(std::uint32_t flags);

  private:
    struct X11;
    struct Grab;
    bool take(Grab& grab);
    void release(const Grab& grab);

    std::unique_ptr<X11> x11_;
    std::unique_ptr<Grab> current_;
};

}  // namespace corvaline::app
