#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace corvaline::ui {

// The stored "hotKey" is [modifier flags, virtual key code] in the key codes of the ANSI
// layout that stored settings and peers' defaults use; X keysyms and Qt keys are mapped to and
// from them here.
inline constexpr std::uint32_t kShiftFlag = 0x20000;
inline constexpr std::uint32_t kControlFlag = 0x40000;
inline constexpr std::uint32_t kOptionFlag = 0x80000;    // Alt
inline constexpr std::uint32_t kCommandFlag = 0x100000;  // Super
inline constexpr std::uint32_t kModifierFlags = 0x1E0000;

struct VirtualKey {
    std::uint16_t code;    // virtual key code
    std::uint32_t keysym;  // X keysym of the key without modifiers
    int qtKey;             // Qt::Key of the key without modifiers
    bool keypad;           // Qt reports it with the keypad modifier
    int shiftedQtKey;      // Qt::Key with Shift on a US layout (0: the same key)
    // Its name as Linux desktops write it ("Space", "PgUp", "Num 5"; untranslated, in the
    // context "KeyNames"); for the main block, its character on a US layout when no layout
    // can be asked.
    const char* name;
};

// Every key a shortcut can use: letters, digits, punctuation of the main block, F1-F20,
// arrows, Return, Tab, Space, Escape, the delete keys, the navigation block and the keypad.
// Any thread.
std::span<const VirtualKey> virtualKeys();
const VirtualKey* virtualKey(std::uint16_t code);
std::optional<std::uint16_t> virtualKeyForKeysym(std::uint32_t keysym);

// A Qt key (keypad or not) as its virtual key code; `shiftImplied` tells whether the key is
// the shifted form of the code's key (a '?' is Shift with the '/' key).
struct QtKeyCode {
    std::uint16_t code;
    bool shiftImplied;
};
std::optional<QtKeyCode> virtualKeyForQtKey(int qtKey, bool keypad);

// Modifier flags from Qt's modifiers and back (Control is Ctrl, Option is Alt, Command is Meta).
std::uint32_t flagsFromQtModifiers(int modifiers);

}  // namespace corvaline::ui
