// The tray's coming and going as an X server shows it: a client that takes the tray selection
// and announces it, another that takes over, and their end.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <memory>
#include <string>

#include "app/tray/X11TrayWatch.h"
#include "app/tray/XcbAtom.h"
#include "support/qt/WaitFor.h"

namespace corvaline::app {
namespace {

using testing::waitFor;

// A tray as a panel runs one: it owns _NET_SYSTEM_TRAY_S<screen> through a window of its own
// and tells the root window's watchers. It ends with its connection.
class TrayClient {
  public:
    TrayClient() : connection_(xcb_connect(nullptr, &screenNumber_)) {
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screenNumber_; ++i) {
            xcb_screen_next(&screens);
        }
        const xcb_window_t root = screens.data->root;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t selection =
            internAtom(connection_, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber_));
        xcb_set_selection_owner(connection_, window_, selection, XCB_CURRENT_TIME);
        xcb_client_message_event_t manager{};
        manager.response_type = XCB_CLIENT_MESSAGE;
        manager.format = 32;
        manager.window = root;
        manager.type = internAtom(connection_, "MANAGER");
        manager.data.data32[0] = XCB_CURRENT_TIME;
        manager.data.data32[1] = selection;
        manager.data.data32[2] = window_;
        xcb_send_event(connection_, 0, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&manager));
        xcb_flush(connection_);
    }
    ~TrayClient() { xcb_disconnect(connection_); }

  private:
    int screenNumber_ = 0;
    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
};

TEST(TrayWatchTest, ATrayThatAppearsTakesOverAndGoesIsFollowed) {
    X11TrayWatch watch;
    ASSERT_TRUE(watch.connected()) << "no X connection";
    EXPECT_FALSE(watch.isAvailable());
    QSignalSpy changes(&watch, &TrayAvailability::availabilityChanged);

    auto first = std::make_unique<TrayClient>();
    ASSERT_TRUE(waitFor([&] { return changes.count() == 1; }));
    EXPECT_TRUE(changes.takeFirst().front().toBool());
    EXPECT_TRUE(watch.isAvailable());
    EXPECT_TRUE(X11TrayWatch().isAvailable()) << "a tray there before the start";

    auto second = std::make_unique<TrayClient>();  // a panel started again takes over
    ASSERT_TRUE(waitFor([&] { return changes.count() == 1; }));
    EXPECT_TRUE(changes.takeFirst().front().toBool());
    // The old one's end is no news; the X server tells of it before the new one's.
    first.reset();
    second.reset();
    ASSERT_TRUE(waitFor([&] { return !watch.isAvailable(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_FALSE(changes.takeFirst().front().toBool());
}

TEST(TrayWatchTest, WithoutAnXServerThereIsNoTray) {
    X11TrayWatch watch(":65000");  // a display nobody serves
    EXPECT_FALSE(watch.connected());
    EXPECT_FALSE(watch.isAvailable());
}

}  // namespace
}  // namespace corvaline::app
