#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/model/services/UserInterface.h"

namespace corvaline::node {

// A conversation window that is never on a screen: visible once shown, never key or
// minimised; what it is asked to do is recorded. A group chat's window keeps the chat's
// members as its users, as a real one does. Main thread.
class HeadlessConversationWindow : public ConversationWindow {
  public:
    HeadlessConversationWindow() = default;
    explicit HeadlessConversationWindow(std::weak_ptr<Chat> chat) : chat_(std::move(chat)) {}

    void makeKeyAndFront() override { calls.push_back("keyAndFront"); }
    bool isVisible() const override { return true; }
    bool isMiniaturized() const override { return false; }
    bool isKeyWindow() const override { return false; }
    bool isMainWindow() const override { return false; }
    void showWindow() override { calls.push_back("show"); }
    void deminiaturize() override { calls.push_back("deminiaturize"); }
    void raiseToLevel(long) override { calls.push_back("raise"); }
    void usersJoined(const std::vector<User*>& users) override;
    // The last other member leaving ends the chat for this window: the chat is left.
    void userLeft(User& user) override;

    std::vector<std::string> calls;

  private:
    std::weak_ptr<Chat> chat_;
};

// The windows of the windowless node: every request is recorded; a stop of the services and
// an error become events. Main thread.
class HeadlessWindows : public UserInterface {
  public:
    using Event = std::function<void(const std::vector<std::string>& fields)>;
    explicit HeadlessWindows(Event event) : event_(std::move(event)) {}

    void reloadAndExpand(const Group& group) override;
    void statusMatrixSelectionChanged() override { calls.push_back("statusMatrix"); }
    void setDockIcon(const std::string& icon) override { calls.push_back("dock " + icon); }
    void setTrayIcon(const std::string& image) override { calls.push_back("tray " + image); }
    void Play(const std::string& sound) override { calls.push_back("play " + sound); }
    std::shared_ptr<ConversationWindow> openConversation(const std::vector<User*>& users,
                                                         Chat* chat, bool incoming) override;
    void showServicesStopped(bool stopped) override;
    void presentError(const std::string& description) override;

    std::vector<std::string> calls;

  private:
    Event event_;
};

}  // namespace corvaline::node
