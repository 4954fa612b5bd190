#pragma once

#include <QObject>

namespace corvaline::app {

// Every request to quit the application, whoever makes it (the Quit command, the session
// manager at the end of the desktop session, the last window closed), ends the event loop
// without asking the windows to close first: a window that refuses (a group chat asks before
// it is left) must not keep the program from its orderly shut-down. GUI thread.
class OrderlyQuit : public QObject {
    Q_OBJECT
  public:
    // Watches the application's quit requests while it lives.
    explicit OrderlyQuit(QObject* parent = nullptr);

    // Leaves every running event loop; what follows the main loop shuts the program down.
    static void quit();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace corvaline::app
