#include "core/model/entities/LogEntry.h"

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/User.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "platform/defaults/UserDefaults.h"

namespace corvaline {

namespace {

// The highest window level the window system offers (2^31 - 17): above every other window.
constexpr long kMaximumWindowLevel = 2147483631;

}  // namespace

void LogEntry::awakeFromInsert() {
    const Date now = CoreServices::shared().now();
    setPrimitiveValue("timeReceived", now);
    setPrimitiveValue("time", now);
}

void LogEntry::popupWindow(const std::shared_ptr<ConversationWindow>& given) {
    std::shared_ptr<ConversationWindow> window = given;
    if (!window) {
        for (auto* user : user()) {
            if (user->conversationWindow()) {
                window = user->conversationWindow();
                break;
            }
        }
    }
    if (!window) {
        return;
    }
    auto& defaults = UserDefaults::standard();
    const auto minimize = defaults.integerForKey(defaults::kMinimizeMessages);
    if (!window->isVisible() && minimize == 0) {
        window->showWindow();
    }
    if (minimize == 1) {
        return;
    }
    if (window->isMiniaturized()) {
        window->deminiaturize();
    }
    // The window never takes the keyboard: keys typed into another conversation while the
    // message arrives must not go to this one. It comes forward only when the setting asks.
    if (defaults.boolForKey(defaults::kKeepFocus) && !window->isKeyWindow()) {
        window->raiseToLevel(kMaximumWindowLevel);
    }
}

std::vector<User*> LogEntry::user() const {
    std::vector<User*> users;
    for (auto* object : toMany("user")) {
        users.push_back(static_cast<User*>(object));
    }
    return users;
}

void LogEntry::addUserObject(User& user) {
    addToMany("user", &user);
}

void LogEntry::removeUserObject(User& user) {
    removeFromMany("user", &user);
}

Chat* LogEntry::chat() const {
    return static_cast<Chat*>(toOne("chat"));
}

void LogEntry::setChat(Chat* chat) {
    setToOne("chat", chat);
}

}  // namespace corvaline
