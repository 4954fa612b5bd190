#pragma once

#include <QIcon>
#include <string>

namespace corvaline::ui {

// The project's pictures from the resources. GUI thread.

// A status picture by the name the model gives it ("Normal", "Away", "Dnd", "Offline"), or
// "Group"; an unknown name gives the offline picture.
QIcon statusIcon(const std::string& name);
// The application icon alone.
QIcon applicationIcon();
// The application icon with the status picture in its lower right corner (window and tray).
QIcon applicationIconWithStatus(const std::string& statusName);

}  // namespace corvaline::ui
