#include "app/tray/X11TrayWatch.h"

#include <xcb/xcb.h>
#include <QSocketNotifier>
#include <cstdlib>
#include <string>

#include "app/tray/XcbAtom.h"

namespace corvaline::app {

namespace {

constexpr std::uint32_t kStructureNotify = XCB_EVENT_MASK_STRUCTURE_NOTIFY;

}  // namespace

X11TrayWatch::X11TrayWatch(const char* display, QObject* parent) : TrayAvailability(parent) {
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        return;  // no X: no tray
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    selection_ = internAtom(connection_, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    manager_ = internAtom(connection_, "MANAGER");
    // A new tray's MANAGER message goes to the root window for its structure watchers.
    xcb_change_window_attributes(connection_, screens.data->root, XCB_CW_EVENT_MASK,
                                 &kStructureNotify);
    notifier_ =
        new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11TrayWatch::readEvents);
    refresh();
    readEvents();  // those that came in while the replies were awaited
}

X11TrayWatch::~X11TrayWatch() {
    delete notifier_;
    xcb_disconnect(connection_);
}

void X11TrayWatch::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        bool changed = false;
        switch (event->response_type & ~0x80) {
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                changed = message->type == manager_ && message->format == 32 &&
                          message->data.data32[1] == selection_;
                break;
            }
            case XCB_DESTROY_NOTIFY:
                changed = reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == owner_;
                break;
            default:
                break;
        }
        free(event);
        if (changed) {
            refresh();
        }
    }
    if (xcb_connection_has_error(connection_)) {
        notifier_->setEnabled(false);  // the X server went; the program goes with it
    }
}

std::uint32_t X11TrayWatch::selectionOwner() const {
    auto* reply = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection_), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    free(reply);
    return owner;
}

void X11TrayWatch::refresh() {
    const xcb_window_t before = owner_;
    xcb_window_t owner = XCB_NONE;
    // An owner may go between the question and the watch on its window: then ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        owner = selectionOwner();
        if (owner == XCB_NONE || owner == before) {
            break;
        }
        auto* error = xcb_request_check(
            connection_, xcb_change_window_attributes_checked(connection_, owner, XCB_CW_EVENT_MASK,
                                                              &kStructureNotify));
        if (!error) {
            break;
        }
        free(error);
        owner = XCB_NONE;
    }
    owner_ = owner;
    if (owner != before) {
        emit availabilityChanged(owner != XCB_NONE);
    }
}

}  // namespace corvaline::app
