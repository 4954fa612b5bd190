#include "node/HeadlessWindows.h"

#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"

namespace corvaline::node {

void HeadlessWindows::reloadAndExpand(const Group& group) {
    calls.push_back("expand " + group.name());
}

std::shared_ptr<ConversationWindow> HeadlessWindows::openConversation(
    const std::vector<User*>& users, Chat* chat, bool incoming) {
    std::string call = "open";
    for (const auto* user : users) {
        call += " " + user->userId();
    }
    if (chat) {
        call += " chat " + std::to_string(chat->roomId());
    }
    calls.push_back(call + (incoming ? " incoming" : ""));
    if (!chat) {
        return std::make_shared<HeadlessConversationWindow>();
    }
    return std::make_shared<HeadlessConversationWindow>(
        std::static_pointer_cast<Chat>(chat->shared_from_this()));
}

void HeadlessConversationWindow::usersJoined(const std::vector<User*>& users) {
    std::string call = "joined";
    const auto chat = chat_.lock();
    auto* list = CoreServices::shared().userList;
    for (auto* user : users) {
        call += " " + user->userId();
        if (chat && !(list && user == list->me().get())) {
            chat->addCurrentUsersObject(*user);
        }
    }
    calls.push_back(call);
}

void HeadlessConversationWindow::userLeft(User& user) {
    calls.push_back("left " + user.userId());
    const auto chat = chat_.lock();
    if (!chat || !chat->hasCurrentUser(user)) {
        return;
    }
    if (chat->currentUsers()->size() > 1) {
        chat->removeCurrentUsersObject(user);
        return;
    }
    // A real window turns into a one-user conversation here; this one just goes.
    chat->leaveChat();
    chat->setConversationWindow(nullptr);  // may end this window: nothing follows
}

void HeadlessWindows::showServicesStopped(bool stopped) {
    calls.push_back(stopped ? "stopped" : "running");
    if (stopped) {
        event_({"stopped"});
    }
}

void HeadlessWindows::presentError(const std::string& description) {
    event_({"error", description});
}

}  // namespace corvaline::node
