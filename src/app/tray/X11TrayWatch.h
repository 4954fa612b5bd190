#pragma once

#include <cstdint>

#include "app/tray/TrayAvailability.h"

class QSocketNotifier;
struct xcb_connection_t;

namespace corvaline::app {

// A tray on X11 is the owner of the selection _NET_SYSTEM_TRAY_S<screen>: a new owner
// announces itself with a MANAGER message to the root window, and the tray is gone when the
// owner's window is destroyed. Watched on an X connection of its own, so that the event mask
// Qt's connection keeps on the root window stays Qt's. GUI thread.
class X11TrayWatch : public TrayAvailability {
    Q_OBJECT
  public:
    // `display`: the X display to watch (null: $DISPLAY). Without a connection it reports no
    // tray.
    explicit X11TrayWatch(const char* display = nullptr, QObject* parent = nullptr);
    ~X11TrayWatch() override;

    bool isAvailable() const override { return owner_ != 0; }
    bool connected() const { return notifier_ != nullptr; }

  private:
    void readEvents();
    // Asks who owns the selection now and watches that window's end.
    void refresh();
    std::uint32_t selectionOwner() const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t selection_ = 0;
    std::uint32_t manager_ = 0;
    std::uint32_t owner_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvaline::app
