#include "core/model/entities/Group.h"

#include <utility>

#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/ObjectContext.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

std::shared_ptr<Group> Group::general(ObjectContext& context) {
    auto found = context.fetch<Group>([](const Group& group) { return group.name() == "General"; });
    if (!found.empty()) {
        return found.front();
    }
    auto group = insertNamed(context, "General");
    auto& services = CoreServices::shared();
    if (services.mainQueue) {
        services.mainQueue->post([weak = std::weak_ptr<Group>(group)] {
            auto group = weak.lock();
            if (auto* windows = CoreServices::shared().windows; group && windows) {
                windows->reloadAndExpand(*group);
            }
        });
    }
    return group;
}

std::shared_ptr<Group> Group::insertNamed(ObjectContext& context, std::string name) {
    auto group = context.insert<Group>();
    group->setName(std::move(name));
    group->announced_ = true;
    ModelEvents::shared().groupInserted(*group);
    return group;
}

void Group::valueDidChange(std::string_view key) {
    if (!announced_) {
        return;
    }
    if (key == "name") {
        ModelEvents::shared().groupRenamed(*this);
    } else if (key == "expanded") {
        ModelEvents::shared().groupExpandedChanged(*this, expanded());
    }
}

void Group::didDelete() {
    if (std::exchange(announced_, false)) {
        ModelEvents::shared().groupRemoved(*this);
    }
}

void Group::prepare() {
    setIcon("Group");
    onlineUsers_.clear();
}

std::vector<User*> Group::users() const {
    std::vector<User*> users;
    for (auto* object : toMany("users")) {
        users.push_back(static_cast<User*>(object));
    }
    return users;
}

const std::vector<User*>& Group::onlineUsers() {
    onlineUsers_.clear();
    for (auto* user : users()) {
        if (!user->userOffline()) {
            onlineUsers_.push_back(user);
        }
    }
    return onlineUsers_;
}

void Group::addOnlineUsersObject(User& user) {
    addToMany("users", &user);
}

void Group::removeOnlineUsersObject(User& user) {
    removeFromMany("users", &user);
}

}  // namespace corvaline
