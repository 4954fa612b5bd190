#pragma once

#include <QObject>
#include <functional>

#include "ui/conversation/TextViewForSending.h"

namespace corvaline::ui {

// What a conversation window asks of the application around it. Empty hooks do nothing.
struct ConversationHooks {
    // Starts sending files and folders to a user; false when there was nothing to send.
    TextViewForSending::FileSender outgoingFiles;
    // Shows the settings window on the page that suits the command's sender.
    std::function<void(QObject* sender)> openSettings;
};

}  // namespace corvaline::ui
