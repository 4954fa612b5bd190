#include "app/hotkey/X11HotKey.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <vector>

#include "ui/settings/VirtualKeys.h"

namespace corvaline::app {

struct X11HotKey::X11 {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_key_symbols_t* symbols = nullptr;
    std::uint16_t numLock = XCB_MOD_MASK_2;

    ~X11() {
        if (symbols) {
            xcb_key_symbols_free(symbols);
        }
    }

    // The modifier bit Num Lock sets on this keyboard.
    void findNumLock() {
        xcb_keycode_t* numLockCodes = xcb_key_symbols_get_keycode(symbols, XK_Num_Lock);
        if (!numLockCodes) {
            return;
        }
        auto* reply = xcb_get_modifier_mapping_reply(connection,
                                                     xcb_get_modifier_mapping(connection), nullptr);
        if (reply) {
            const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(reply);
            const int perModifier = reply->keycodes_per_modifier;
            for (int modifier = 0; modifier < 8; ++modifier) {
                for (int i = 0; i < perModifier; ++i) {
                    const xcb_keycode_t key = keys[modifier * perModifier + i];
                    for (auto* code = numLockCodes; key != 0 && *code != XCB_NO_SYMBOL; ++code) {
                        if (*code == key) {
                            numLock = static_cast<std::uint16_t>(1u << modifier);
                        }
                    }
                }
            }
            free(reply);
        }
        free(numLockCodes);
    }

    std::vector<std::uint16_t> lockVariants() const {
        return {0, XCB_MOD_MASK_LOCK, numLock,
                static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock)};
    }
};

struct X11HotKey::Grab {
    std::uint32_t flags = 0;
    std::uint16_t code = 0;
    std::uint16_t modifiers = 0;
    std::vector<xcb_keycode_t> keycodes;
};

X11HotKey::X11HotKey() : x11_(std::make_unique<X11>()) {
    auto* native =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!native || !native->connection()) {
        return;  // no X: no global shortcut
    }
    x11_->connection = native->connection();
    const auto screen = xcb_setup_roots_iterator(xcb_get_setup(x11_->connection));
    if (screen.rem == 0) {
        x11_->connection = nullptr;
        return;
    }
    x11_->root = screen.data->root;
    x11_->symbols = xcb_key_symbols_alloc(x11_->connection);
    x11_->findNumLock();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKey::~X11HotKey() {
    ungrab();
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool X11HotKey::available() const {
    return x11_->connection != nullptr;
}

std::uint16_t X11HotKey::modifierMask(std::uint32_t flags) {
    std::uint16_t mask = 0;
    if (flags & ui::kShiftFlag) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (flags & ui::kControlFlag) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (flags & ui::kOptionFlag) {
        mask |= XCB_MOD_MASK_1;
    }
    if (flags & ui::kCommandFlag) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

bool X11HotKey::take(Grab& grab) {
    const ui::VirtualKey* key = ui::virtualKey(grab.code);
    if (!available() || !key) {
        return false;
    }
    grab.modifiers = modifierMask(grab.flags);
    grab.keycodes.clear();
    if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(x11_->symbols, key->keysym)) {
        for (auto* code = codes; *code != XCB_NO_SYMBOL; ++code) {
            grab.keycodes.push_back(*code);
        }
        free(codes);
    }
    if (grab.keycodes.empty()) {
        return false;  // the key is not on this keyboard
    }
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_keycode_t keycode : grab.keycodes) {
        for (const std::uint16_t locks : x11_->lockVariants()) {
            cookies.push_back(xcb_grab_key_checked(
                x11_->connection, 1, x11_->root, static_cast<std::uint16_t>(grab.modifiers | locks),
                keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool refused = false;
    for (const auto cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(x11_->connection, cookie)) {
            refused = true;  // BadAccess: another client holds it
            free(error);
        }
    }
    if (refused) {
        release(grab);
    }
    return !refused;
}

void X11HotKey::release(const Grab& grab) {
    for (const xcb_keycode_t keycode : grab.keycodes) {
        for (const std::uint16_t locks : x11_->lockVariants()) {
            xcb_ungrab_key(x11_->connection, keycode, x11_->root,
                           static_cast<std::uint16_t>(grab.modifiers | locks));
        }
    }
    xcb_flush(x11_->connection);
}

bool X11HotKey::grab(std::uint32_t flags, std::uint16_t code) {
    ungrab();
    auto wanted = std::make_unique<Grab>(Grab{flags, code, 0, {}});
    if (!take(*wanted)) {
        return false;
    }
    current_ = std::move(wanted);
    return true;
}

void X11HotKey::ungrab() {
    if (current_ && available()) {
        release(*current_);
    }
    current_.reset();
}

bool X11HotKey::isTaken(std::uint32_t flags, std::uint16_t code) {
    if (!available() || (current_ && current_->flags == flags && current_->code == code)) {
        return false;  // ours: a trial grab would replace our own
    }
    Grab trial{flags, code, 0, {}};
    if (!take(trial)) {
        return !trial.keycodes.empty();
    }
    release(trial);
    return false;
}

std::optional<QString> X11HotKey::keyName(std::uint16_t code) const {
    const ui::VirtualKey* key = ui::virtualKey(code);
    if (!key) {
        return std::nullopt;
    }
    std::uint32_t keysym = key->keysym;
    if (available()) {
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(x11_->symbols, key->keysym)) {
            if (*codes != XCB_NO_SYMBOL) {
                keysym = xcb_key_symbols_get_keysym(x11_->symbols, *codes, 0);
            }
            free(codes);
        }
    }
    if (keysym >= 0x20 && keysym <= 0xFF && keysym != 0x7F) {
        return QString(
            QChar(static_cast<char16_t>(keysym)));  // Latin-1 keysyms are the code points
    }
    if ((keysym & 0xFF000000) == 0x01000000) {
        const char32_t point = keysym & 0x00FFFFFF;
        return QString::fromUcs4(&point, 1);
    }
    return QString::fromUtf8(key->name);  // F20 and friends: their own names
}

std::optional<std::uint16_t> X11HotKey::codeForScanCode(std::uint32_t scanCode) const {
    if (!available() || scanCode > 255) {
        return std::nullopt;
    }
    const xcb_keysym_t keysym =
        xcb_key_symbols_get_keysym(x11_->symbols, static_cast<xcb_keycode_t>(scanCode), 0);
    if (keysym == XCB_NO_SYMBOL) {
        return std::nullopt;
    }
    return ui::virtualKeyForKeysym(keysym);
}

bool X11HotKey::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t" || !available()) {
        return false;
    }
    auto* event = static_cast<xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS: {
            auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            if (!current_ || press->event != x11_->root) {
                return false;
            }
            const std::uint16_t locks = XCB_MOD_MASK_LOCK | x11_->numLock;
            const bool ours =
                std::ranges::find(current_->keycodes, press->detail) != current_->keycodes.end() &&
                (press->state & ~locks & 0xFF) == current_->modifiers;
            if (ours) {
                pressed();
            }
            return ours;
        }
        case XCB_MAPPING_NOTIFY: {
            auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
            xcb_refresh_keyboard_mapping(x11_->symbols, mapping);
            if (mapping->request != XCB_MAPPING_POINTER && current_) {
                const Grab wanted = *current_;
                grab(wanted.flags, wanted.code);  // the key may sit elsewhere now
            }
            return false;
        }
        default:
            return false;
    }
}

}  // namespace corvaline::app
