#include "core/model/roster/UserList.h"

#include <charconv>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/Executor.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

// The leading decimal integer of a text, 0 when there is none.
std::int64_t integerValue(std::string_view text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return 0;
    }
    text.remove_prefix(start);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

UserList::UserList(ObjectContext* context) : context_(context) {}

void UserList::updateMe() {
    if (context_) {
        me_ = Me::getMe(*context_);
    }
}

std::shared_ptr<Group> UserList::AddNewGroup() {
    if (!context_) {
        return nullptr;
    }
    return Group::insertNamed(*context_, "New Group");
}

std::shared_ptr<User> UserList::replaceLocalRecord(User& old) {
    auto user = context_->insert<User>();
    const EntityDescription& entity = *context_->model().entity(User::kEntityName);
    for (const auto& attribute : entity.attributes()) {
        user->setValue(attribute.name, old.value(attribute.name));
    }
    context_->moveRelated(old, "log", *user);
    context_->deleteObject(old);
    // The group is not carried over; a user that is not removed still belongs in the list.
    if (!user->removed() && !user->group()) {
        user->setGroup(Group::general(*context_).get());
    }
    return user;
}

std::shared_ptr<User> UserList::getUserById(std::string_view userId,
                                            const std::optional<std::string>& ip) {
    if (userId.empty() || !context_) {
        return nullptr;
    }
    if (me_ && me_->userId() == userId) {
        return me_;
    }
    auto found = context_->fetchWith<User>("userId", userId);
    if (!found.empty()) {
        auto user = found.front();
        if (&user->entity() == context_->model().entity(Me::kEntityName)) {
            user = replaceLocalRecord(*user);
        }
        return user;
    }
    if (!ip) {
        return nullptr;
    }
    auto user = context_->insert<User>();
    user->setUserId(std::string(userId));
    user->setIp(*ip);
    DebugTracer::addLogItem("User " + std::string(userId) + " is offline on after creation", 0);
    user->setStatus("10");
    user->setGroup(Group::general(*context_).get());
    user->RequestUserInfo();
    someUsersExceptMeEverSeen_ = true;
    return user;
}

std::vector<std::shared_ptr<User>> UserList::allUsersWithoutOffline(bool withoutOffline,
                                                                    bool andMe) const {
    if (!context_) {
        return {};
    }
    if (!withoutOffline && !andMe) {
        return context_->fetch<User>();
    }
    const User* me = me_.get();
    return context_->fetch<User>([&](const User& user) {
        return !user.removed() && !(withoutOffline && user.userOffline()) &&
               !(andMe && &user == me);
    });
}

std::size_t UserList::onlineUsersCount() const {
    if (!context_) {
        return 0;
    }
    const User* me = me_.get();
    return context_->countObjects(User::kEntityName, [&](const ManagedObject& object) {
        const auto& user = static_cast<const User&>(object);
        return !user.removed() && !user.userOffline() && &user != me;
    });
}

void UserList::goOffline() {
    if (me_) {
        me_->goOffline();
    }
    for (const auto& user : allUsersWithoutOffline(true, true)) {
        DebugTracer::addLogItem("User " + user->userId() + " is offline on goOffline", 0);
        user->setStatus("10");
    }
}

std::shared_ptr<User> UserList::UpdateUserDataWithUDP(const Packet& p) {
    if (!me_ || p.size() < 10) {
        return nullptr;  // fields 0 to 8 and the sender's address
    }
    const std::string_view type = p.text(0);
    const std::string_view session = p.text(8);
    const std::string ip(p.text(p.size() - 1));
    const bool mySession = session != "*" && integerValue(session) == me_->sessionId().value_or(0);
    if (p.text(3) == me_->userId()) {
        if (session != "*" && !mySession) {
            stopEverything();
            return nullptr;
        }
        return me_;
    }
    if (mySession && type == "UO") {
        return nullptr;
    }
    if (p.text(5) != "*" && p.text(5) != me_->userId()) {
        return nullptr;
    }
    auto user = getUserById(p.text(3), ip);
    if (!user) {
        return nullptr;
    }
    if (p.text(7) != "*" && p.text(7) != user->name()) {
        user->setName(std::string(p.text(7)));
    }
    if (ip != user->ip()) {
        user->setIp(ip);
    }
    if (type != "TP" && type != "UOMFR") {
        if (type == "UO") {
            if (!user->userOffline()) {
                user->setStatus("10");
                DebugTracer::addLogItem("User " + user->userId() + " is offline on PH_USER_OUT", 0);
            }
        } else if (p.text(1) != user->status()) {
            if (p.text(1) != "0" || type == "UI") {
                user->RequestUserInfo();
            } else {
                user->setStatus("0");
            }
        }
    }
    auto& defaults = UserDefaults::standard();
    if (type == "UI" && defaults.boolForKey(defaults::kSoundsEnabled) &&
        defaults.boolForKey(defaults::kSoundsOnUserOnline)) {
        if (auto* main = CoreServices::shared().mainQueue) {
            main->post([] {
                if (auto* windows = CoreServices::shared().windows) {
                    windows->Play("Online");
                }
            });
        }
    }
    if (p.text(2) != user->pc()) {
        user->setPc(std::string(p.text(2)));
    }
    user->setSeenLastTime(CoreServices::shared().now());
    return user;
}

void UserList::stopEverything() {
    DebugTracer::addLogItem("stopEverything", 0);
    auto& services = CoreServices::shared();
    if (services.messages) {
        services.messages->turnOffserver();
    }
    if (services.windows) {
        services.windows->showServicesStopped(true);
    }
}

void UserList::startEverything() {
    DebugTracer::addLogItem("startEverything", 0);
    auto& services = CoreServices::shared();
    if (services.messages) {
        services.messages->adaptersChanged();
    }
    if (services.windows) {
        services.windows->showServicesStopped(false);
    }
}

}  // namespace corvaline
