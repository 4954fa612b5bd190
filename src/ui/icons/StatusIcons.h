#pragma once

#include <QIcon>
#include <string>

namespace corvaline {
class Chat;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// The project's pictures from the resources. GUI thread.

// A status picture by the name the model gives it ("Normal", "Away", "Dnd", "Offline"), or
// "Group"; an unknown name gives the offline picture.
QIcon statusIcon(const std::string& name);
// The application icon alone.
QIcon applicationIcon();
// The application icon with the status picture in its lower right corner (window and tray).
QIcon applicationIconWithStatus(const std::string& statusName);
// The icon of a user's or a chat's window: the application icon with the user's status picture,
// or the group picture, in its lower right corner.
QIcon dockIcon(const User& user);
QIcon dockIcon(const Chat& chat);

}  // namespace corvaline::ui
