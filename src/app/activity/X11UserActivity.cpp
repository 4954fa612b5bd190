#include "app/activity/X11UserActivity.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#include <QGuiApplication>

namespace corvaline::app {

// The X server connection of the application and its root window; null pointers offscreen.
struct X11UserActivity::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
};

X11UserActivity::X11UserActivity() : x11_(std::make_unique<Connection>()) {
    auto* native =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!native || !native->connection()) {
        return;
    }
    x11_->connection = native->connection();
    const xcb_setup_t* setup = xcb_get_setup(x11_->connection);
    const auto screen = xcb_setup_roots_iterator(setup);
    if (screen.rem > 0) {
        x11_->root = screen.data->root;
    }
}

X11UserActivity::~X11UserActivity() = default;

std::optional<double> X11UserActivity::secondsSinceLastInput() {
    if (!x11_->connection || !x11_->root) {
        return std::nullopt;
    }
    const auto cookie = xcb_screensaver_query_info(x11_->connection, x11_->root);
    xcb_screensaver_query_info_reply_t* reply =
        xcb_screensaver_query_info_reply(x11_->connection, cookie, nullptr);
    if (!reply) {
        return std::nullopt;  // the server lacks the extension
    }
    const double seconds = reply->ms_since_user_input / 1000.0;
    free(reply);
    return seconds;
}

}  // namespace corvaline::app
