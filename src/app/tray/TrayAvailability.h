#pragma once

#include <QObject>
#include <memory>

namespace corvaline::app {

// Whether the desktop shows tray icons now, and word when that changes (a panel started after
// the program, or restarted). GUI thread.
class TrayAvailability : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;

    // The desktop's own: the X11 tray selection where the program runs on X11, else Qt's
    // answer at start.
    static std::unique_ptr<TrayAvailability> ofDesktop();

  signals:
    // Also `true` when another tray takes over from the one there was.
    void availabilityChanged(bool available);
};

}  // namespace corvaline::app
