#pragma once

#include <QMenu>
#include <functional>

#include "ui/conversation/TextViewForSending.h"

namespace corvaline::ui {

// What a conversation window asks of the application around it. Empty hooks do nothing.
struct ConversationHooks {
    // Starts sending files and folders to a user; false when there was nothing to send.
    TextViewForSending::FileSender outgoingFiles;
    // Puts the command menu of the window that became active into the application's menu
    // bar (active) or takes it out again (not active; another window's menu stays).
    std::function<void(QMenu* menu, bool active)> conversationMenu;
    // Shows the settings window on the page that suits the command's sender.
    std::function<void(QObject* sender)> openSettings;
};

}  // namespace corvaline::ui
