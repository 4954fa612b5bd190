#include "ui/settings/VirtualKeys.h"

#include <X11/keysym.h>
#include <Qt>
#include <QtGlobal>
#include <algorithm>
#include <array>

namespace corvaline::ui {

namespace {

using Q = Qt::Key;

constexpr VirtualKey key(std::uint16_t code, std::uint32_t keysym, int qt, const char* name,
                         int shifted = 0) {
    return {code, keysym, qt, false, shifted, name};
}

constexpr VirtualKey pad(std::uint16_t code, std::uint32_t keysym, int qt, const char* name) {
    return {code, keysym, qt, true, 0, name};
}

constexpr VirtualKey function(std::uint16_t code, int n) {
    constexpr std::array<const char*, 20> names = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",
                                                   "F8",  "F9",  "F10", "F11", "F12", "F13", "F14",
                                                   "F15", "F16", "F17", "F18", "F19", "F20"};
    return key(code, XK_F1 + n - 1, Q::Key_F1 + n - 1, names[n - 1]);
}

constexpr VirtualKey keypadDigit(std::uint16_t code, int n) {
    constexpr std::array<const char*, 10> names = {
        QT_TRANSLATE_NOOP("KeyNames", "Num 0"), QT_TRANSLATE_NOOP("KeyNames", "Num 1"),
        QT_TRANSLATE_NOOP("KeyNames", "Num 2"), QT_TRANSLATE_NOOP("KeyNames", "Num 3"),
        QT_TRANSLATE_NOOP("KeyNames", "Num 4"), QT_TRANSLATE_NOOP("KeyNames", "Num 5"),
        QT_TRANSLATE_NOOP("KeyNames", "Num 6"), QT_TRANSLATE_NOOP("KeyNames", "Num 7"),
        QT_TRANSLATE_NOOP("KeyNames", "Num 8"), QT_TRANSLATE_NOOP("KeyNames", "Num 9")};
    return pad(code, XK_KP_0 + n, Q::Key_0 + n, names[n]);
}

constexpr VirtualKey kKeys[] = {
    key(0, XK_a, Q::Key_A, "a"),
    key(1, XK_s, Q::Key_S, "s"),
    key(2, XK_d, Q::Key_D, "d"),
    key(3, XK_f, Q::Key_F, "f"),
    key(4, XK_h, Q::Key_H, "h"),
    key(5, XK_g, Q::Key_G, "g"),
    key(6, XK_z, Q::Key_Z, "z"),
    key(7, XK_x, Q::Key_X, "x"),
    key(8, XK_c, Q::Key_C, "c"),
    key(9, XK_v, Q::Key_V, "v"),
    key(11, XK_b, Q::Key_B, "b"),
    key(12, XK_q, Q::Key_Q, "q"),
    key(13, XK_w, Q::Key_W, "w"),
    key(14, XK_e, Q::Key_E, "e"),
    key(15, XK_r, Q::Key_R, "r"),
    key(16, XK_y, Q::Key_Y, "y"),
    key(17, XK_t, Q::Key_T, "t"),
    key(18, XK_1, Q::Key_1, "1", Q::Key_Exclam),
    key(19, XK_2, Q::Key_2, "2", Q::Key_At),
    key(20, XK_3, Q::Key_3, "3", Q::Key_NumberSign),
    key(21, XK_4, Q::Key_4, "4", Q::Key_Dollar),
    key(22, XK_6, Q::Key_6, "6", Q::Key_AsciiCircum),
    key(23, XK_5, Q::Key_5, "5", Q::Key_Percent),
    key(24, XK_equal, Q::Key_Equal, "=", Q::Key_Plus),
    key(25, XK_9, Q::Key_9, "9", Q::Key_ParenLeft),
    key(26, XK_7, Q::Key_7, "7", Q::Key_Ampersand),
    key(27, XK_minus, Q::Key_Minus, "-", Q::Key_Underscore),
    key(28, XK_8, Q::Key_8, "8", Q::Key_Asterisk),
    key(29, XK_0, Q::Key_0, "0", Q::Key_ParenRight),
    key(30, XK_bracketright, Q::Key_BracketRight, "]", Q::Key_BraceRight),
    key(31, XK_o, Q::Key_O, "o"),
    key(32, XK_u, Q::Key_U, "u"),
    key(33, XK_bracketleft, Q::Key_BracketLeft, "[", Q::Key_BraceLeft),
    key(34, XK_i, Q::Key_I, "i"),
    key(35, XK_p, Q::Key_P, "p"),
    key(36, XK_Return, Q::Key_Return, QT_TRANSLATE_NOOP("KeyNames", "Return")),
    key(37, XK_l, Q::Key_L, "l"),
    key(38, XK_j, Q::Key_J, "j"),
    key(39, XK_apostrophe, Q::Key_Apostrophe, "'", Q::Key_QuoteDbl),
    key(40, XK_k, Q::Key_K, "k"),
    key(41, XK_semicolon, Q::Key_Semicolon, ";", Q::Key_Colon),
    key(42, XK_backslash, Q::Key_Backslash, "\\", Q::Key_Bar),
    key(43, XK_comma, Q::Key_Comma, ",", Q::Key_Less),
    key(44, XK_slash, Q::Key_Slash, "/", Q::Key_Question),
    key(45, XK_n, Q::Key_N, "n"),
    key(46, XK_m, Q::Key_M, "m"),
    key(47, XK_period, Q::Key_Period, ".", Q::Key_Greater),
    key(48, XK_Tab, Q::Key_Tab, QT_TRANSLATE_NOOP("KeyNames", "Tab"), Q::Key_Backtab),
    key(49, XK_space, Q::Key_Space, QT_TRANSLATE_NOOP("KeyNames", "Space")),
    key(50, XK_grave, Q::Key_QuoteLeft, "`", Q::Key_AsciiTilde),
    key(51, XK_BackSpace, Q::Key_Backspace, QT_TRANSLATE_NOOP("KeyNames", "Backspace")),
    key(53, XK_Escape, Q::Key_Escape, QT_TRANSLATE_NOOP("KeyNames", "Esc")),
    function(64, 17),
    pad(65, XK_KP_Decimal, Q::Key_Period, QT_TRANSLATE_NOOP("KeyNames", "Num .")),
    pad(67, XK_KP_Multiply, Q::Key_Asterisk, QT_TRANSLATE_NOOP("KeyNames", "Num *")),
    pad(69, XK_KP_Add, Q::Key_Plus, QT_TRANSLATE_NOOP("KeyNames", "Num +")),
    pad(71, XK_Clear, Q::Key_Clear, QT_TRANSLATE_NOOP("KeyNames", "Clear")),
    pad(75, XK_KP_Divide, Q::Key_Slash, QT_TRANSLATE_NOOP("KeyNames", "Num /")),
    pad(76, XK_KP_Enter, Q::Key_Enter, QT_TRANSLATE_NOOP("KeyNames", "Num Enter")),
    pad(78, XK_KP_Subtract, Q::Key_Minus, QT_TRANSLATE_NOOP("KeyNames", "Num -")),
    function(79, 18),
    function(80, 19),
    pad(81, XK_KP_Equal, Q::Key_Equal, QT_TRANSLATE_NOOP("KeyNames", "Num =")),
    keypadDigit(82, 0),
    keypadDigit(83, 1),
    keypadDigit(84, 2),
    keypadDigit(85, 3),
    keypadDigit(86, 4),
    keypadDigit(87, 5),
    keypadDigit(88, 6),
    keypadDigit(89, 7),
    function(90, 20),
    keypadDigit(91, 8),
    keypadDigit(92, 9),
    function(96, 5),
    function(97, 6),
    function(98, 7),
    function(99, 3),
    function(100, 8),
    function(101, 9),
    function(103, 11),
    function(105, 13),
    function(106, 16),
    function(107, 14),
    function(109, 10),
    key(110, XK_Menu, Q::Key_Menu, QT_TRANSLATE_NOOP("KeyNames", "Menu")),
    function(111, 12),
    function(113, 15),
    key(114, XK_Help, Q::Key_Help, QT_TRANSLATE_NOOP("KeyNames", "Help")),
    key(115, XK_Home, Q::Key_Home, QT_TRANSLATE_NOOP("KeyNames", "Home")),
    key(116, XK_Prior, Q::Key_PageUp, QT_TRANSLATE_NOOP("KeyNames", "PgUp")),
    key(117, XK_Delete, Q::Key_Delete, QT_TRANSLATE_NOOP("KeyNames", "Del")),
    function(118, 4),
    key(119, XK_End, Q::Key_End, QT_TRANSLATE_NOOP("KeyNames", "End")),
    function(120, 2),
    key(121, XK_Next, Q::Key_PageDown, QT_TRANSLATE_NOOP("KeyNames", "PgDown")),
    function(122, 1),
    key(123, XK_Left, Q::Key_Left, QT_TRANSLATE_NOOP("KeyNames", "Left")),
    key(124, XK_Right, Q::Key_Right, QT_TRANSLATE_NOOP("KeyNames", "Right")),
    key(125, XK_Down, Q::Key_Down, QT_TRANSLATE_NOOP("KeyNames", "Down")),
    key(126, XK_Up, Q::Key_Up, QT_TRANSLATE_NOOP("KeyNames", "Up")),
};

}  // namespace

std::span<const VirtualKey> virtualKeys() {
    return kKeys;
}

const VirtualKey* virtualKey(std::uint16_t code) {
    const auto* found = std::ranges::find(kKeys, code, &VirtualKey::code);
    return found == std::end(kKeys) ? nullptr : found;
}

std::optional<std::uint16_t> virtualKeyForKeysym(std::uint32_t keysym) {
    if (keysym >= XK_A && keysym <= XK_Z) {
        keysym += XK_a - XK_A;  // a layout may name the key by its capital
    }
    const auto* found = std::ranges::find(kKeys, keysym, &VirtualKey::keysym);
    if (found == std::end(kKeys)) {
        return std::nullopt;
    }
    return found->code;
}

std::optional<QtKeyCode> virtualKeyForQtKey(int qtKey, bool keypad) {
    for (const bool onKeypad : {keypad, false}) {
        for (const auto& entry : kKeys) {
            if (entry.qtKey == qtKey && entry.keypad == onKeypad) {
                return QtKeyCode{entry.code, false};
            }
        }
    }
    for (const auto& entry : kKeys) {
        if (entry.shiftedQtKey == qtKey) {
            return QtKeyCode{entry.code, true};
        }
    }
    return std::nullopt;
}

std::uint32_t flagsFromQtModifiers(int modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Qt::ShiftModifier) {
        flags |= kShiftFlag;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= kControlFlag;
    }
    if (modifiers & Qt::AltModifier) {
        flags |= kOptionFlag;
    }
    if (modifiers & Qt::MetaModifier) {
        flags |= kCommandFlag;
    }
    return flags;
}

}  // namespace corvaline::ui
