#include "node/HeadlessWindows.h"

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"

namespace corvaline::node {

void HeadlessWindows::reloadAndExpand(const Group& group) {
    calls.push_back("expand " + group.name());
}

std::shared_ptr<ConversationWindow> HeadlessWindows::openConversation(
    const std::vector<User*>& users, Chat*, bool incoming) {
    std::string call = "open";
    for (const auto* user : users) {
        call += " " + user->userId();
    }
    calls.push_back(call + (incoming ? " incoming" : ""));
    return std::make_shared<HeadlessConversationWindow>();
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
