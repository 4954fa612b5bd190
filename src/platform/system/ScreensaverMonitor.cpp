#include "platform/system/ScreensaverMonitor.h"

#include <systemd/sd-bus.h>

namespace corvaline {

std::unique_ptr<ScreensaverMonitor> ScreensaverMonitor::start(Executor& main, Handler handler) {
    auto bus = BusConnection::open(BusConnection::Bus::Session, "screensaver");
    if (!bus) {
        return nullptr;
    }
    auto monitor =
        std::make_unique<ScreensaverMonitor>(Private{}, main, std::move(handler), std::move(bus));
    bool any = false;
    for (const char* interface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"}) {
        any |= monitor->bus_->matchSignal(nullptr, nullptr, interface, "ActiveChanged",
                                          [raw = monitor.get()](sd_bus_message* m) {
                                              int active = 0;
                                              if (sd_bus_message_read(m, "b", &active) >= 0) {
                                                  raw->notice_.fire(active != 0);
                                              }
                                          });
    }
    return any ? std::move(monitor) : nullptr;
}

ScreensaverMonitor::ScreensaverMonitor(Private, Executor& main, Handler handler,
                                       std::unique_ptr<BusConnection> bus)
    : notice_(main, std::move(handler)), bus_(std::move(bus)) {}

}  // namespace corvaline
