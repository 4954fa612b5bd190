#pragma once

class QMainWindow;
class QMenuBar;

namespace corvaline::app {

// Puts the product name into the application menu once at start-up. GUI thread.
class Customizer {
  public:
    // The first menu of the bar is the application menu; its title becomes the localised
    // prefix (empty in English) followed by " Corvaline".
    static void customizeMenu(QMenuBar* bar);
    // Nothing to change on this platform.
    static void customizeWindow(QMainWindow*) {}
};

}  // namespace corvaline::app
