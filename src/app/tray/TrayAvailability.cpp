#include "app/tray/TrayAvailability.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include "app/tray/X11TrayWatch.h"

namespace corvaline::app {

namespace {

// What Qt answers at start, kept: where the desktop gives no word of changes.
class FixedTrayAvailability : public TrayAvailability {
  public:
    explicit FixedTrayAvailability(bool available) : available_(available) {}
    bool isAvailable() const override { return available_; }

  private:
    bool available_;
};

}  // namespace

std::unique_ptr<TrayAvailability> TrayAvailability::ofDesktop() {
    const bool qtSees = QSystemTrayIcon::isSystemTrayAvailable();
    if (qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        auto watch = std::make_unique<X11TrayWatch>();
        // Qt also shows icons to a tray host on D-Bus, which owns no X selection; such a
        // desktop keeps the answer it gave at start.
        if (watch->connected() && (watch->isAvailable() || !qtSees)) {
            return watch;
        }
    }
    return std::make_unique<FixedTrayAvailability>(qtSees);
}

}  // namespace corvaline::app
