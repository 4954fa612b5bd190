#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

#include "core/model/services/UserInterface.h"
#include "ui/conversation/ConversationHooks.h"
#include "ui/main/MainWindow.h"
#include "ui/roster/RosterView.h"

namespace corvaline::app {

class PlaySound;
class StatusSelection;

// What the core asks of the windows, done with Qt: the main list, status controls, window and
// tray images, sounds, errors, the stopped state of the services, conversation windows. GUI
// thread (the main queue's).
class QtUserInterface : public UserInterface {
  public:
    QtUserInterface(ui::MainWindow& window, StatusSelection& status, PlaySound& sounds);

    // The tray icon while the desktop has a tray; none otherwise. It shows the status at once.
    void setTray(QSystemTrayIcon* tray);
    void setOutlineView(ui::RosterView* view) { outlineView_ = view; }
    // Where the files dropped on or chosen in a conversation go.
    void setOutgoingFiles(ui::TextViewForSending::FileSender sender) {
        conversationHooks_.outgoingFiles = std::move(sender);
    }
    // What a conversation's settings command runs; the window itself is the sender.
    void setOpenSettings(std::function<void(QObject* sender)> open) {
        conversationHooks_.openSettings = std::move(open);
    }

    void reloadAndExpand(const Group& group) override;
    void statusMatrixSelectionChanged() override;
    void setDockIcon(const std::string& userIcon) override;
    void setTrayIcon(const std::string& imageName) override;
    void Play(const std::string& sound) override;
    std::shared_ptr<ConversationWindow> openConversation(const std::vector<User*>& users,
                                                         Chat* chat, bool incoming) override;
    void showServicesStopped(bool stopped) override;
    void presentError(const std::string& description) override;

  private:
    QPointer<ui::MainWindow> window_;
    ui::ConversationHooks conversationHooks_;
    QPointer<QSystemTrayIcon> tray_;
    QPointer<ui::RosterView> outlineView_;
    StatusSelection& status_;
    PlaySound& sounds_;
};

}  // namespace corvaline::app
