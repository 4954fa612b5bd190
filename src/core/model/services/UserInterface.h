#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvaline {

class Chat;
class Group;
class User;

// An open conversation window, as the core holds it. Main thread.
class ConversationWindow {
  public:
    virtual ~ConversationWindow() = default;
    // Makes the window key and brings it to the front.
    virtual void makeKeyAndFront() = 0;
    virtual bool isVisible() const = 0;
    virtual bool isMiniaturized() const = 0;
    virtual bool isKeyWindow() const = 0;
    virtual bool isMainWindow() const = 0;
    // Shows the window without changing which window is key.
    virtual void showWindow() = 0;
    // Restores a minimised window; the application's key window stays key and in front.
    virtual void deminiaturize() = 0;
    // Puts the window above all others at that window level without making it key.
    virtual void raiseToLevel(long level) = 0;
    // Users joined the window's group chat; the window adds them to the chat's members (a
    // window of one user becomes a group chat).
    virtual void usersJoined(const std::vector<User*>& users) = 0;
    // A member left the window's group chat; the window drops them from its members.
    virtual void userLeft(User& user) = 0;
};

// Everything the core asks of the windows. The application implements it with Qt, the
// windowless node by recording; without one nothing is shown. Main thread.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // The main list reloads and expands the group (one that was just made).
    virtual void reloadAndExpand(const Group& group) = 0;
    // The status buttons and the status menus' ticks show the local user's stored status.
    virtual void statusMatrixSelectionChanged() = 0;
    // The Dock image: the application icon with the local user's status picture.
    virtual void setDockIcon(const std::string& userIcon) = 0;
    // The status-bar (tray) image.
    virtual void setTrayIcon(const std::string& imageName) = 0;
    // Plays one of the program's sounds ("Message", "Broadcast", "Online", "File").
    virtual void Play(const std::string& sound) = 0;
    // Opens a conversation window with the users or for the chat; `incoming` when a message
    // that just arrived opens it (it then does not come forward by itself).
    virtual std::shared_ptr<ConversationWindow> openConversation(const std::vector<User*>& users,
                                                                 Chat* chat, bool incoming) = 0;
    // Stopped: the main list is hidden and the sign-in button and its message are shown;
    // not stopped: the other way round.
    virtual void showServicesStopped(bool stopped) = 0;
    // Shows an error to the user.
    virtual void presentError(const std::string& description) = 0;
};

}  // namespace corvaline
