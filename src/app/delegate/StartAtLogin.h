#pragma once

#include <filesystem>

namespace corvaline::app {

// The desktop entry in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) that starts
// the program at login. Main thread.
std::filesystem::path autostartEntry();
// Writes the entry for this program, or removes it; an entry already there is left alone
// (written) or removed (not). Failures change nothing and are not reported.
void setStartAtLogin(bool start);
bool startsAtLogin();

}  // namespace corvaline::app
