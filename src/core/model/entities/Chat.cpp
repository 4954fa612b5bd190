#include "core/model/entities/Chat.h"

#include <algorithm>
#include <charconv>

#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/Random.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

namespace {

// Room ids made here lie below this.
constexpr std::int64_t kRoomIdBound = 999999;

// The leading decimal integer of the text; none when it does not start with one, so that a
// garbled id never stands for room 0.
std::optional<std::int64_t> roomIdValue(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    return value;
}

const Me* localUser() {
    auto* list = CoreServices::shared().userList;
    return list ? list->me().get() : nullptr;
}

}  // namespace

std::shared_ptr<Chat> Chat::createWithUsers(Members users,
                                            const std::optional<std::string>& roomId) {
    ObjectContext* context = AppManagedObjectContext();
    const std::optional<std::int64_t> id = roomId ? roomIdValue(*roomId) : std::nullopt;
    if (!context || (roomId && !id)) {
        return nullptr;
    }
    const Me* me = localUser();
    std::erase_if(users, [me](const auto& user) { return !user || user.get() == me; });
    auto chat = context->insert<Chat>();
    chat->setCurrentUsers(std::move(users));
    if (id) {
        chat->setRoomId(*id);
        if (chat->currentUsers()->size() == 1) {
            chat->_requestRoomInfo();
        }
    } else {
        chat->setRoomId(uniformRandomBelow(kRoomIdBound));
        chat->informJoin();
    }
    ActiveChats::shared().add(chat);
    return chat;
}

std::shared_ptr<Chat> Chat::findByChatRoomId(std::string_view roomId) {
    ObjectContext* context = AppManagedObjectContext();
    const auto id = roomIdValue(roomId);
    if (!context || !id) {
        return nullptr;
    }
    const auto chats = context->fetch<Chat>([&](const Chat& chat) { return chat.roomId() == *id; });
    return chats.empty() ? nullptr : chats.front();
}

std::string Chat::userIDsString() const {
    const Me* me = localUser();
    std::string list = me ? me->userId() : "";
    for (const auto& user : currentUsers_.value_or(Members{})) {
        list += "," + user->userId();
    }
    return list;
}

Packet Chat::ChatPacketWithCommand(std::string command, std::string roomId, std::string field5) {
    const Me* me = localUser();
    const auto field = [](std::string text) { return text.empty() ? std::string("*") : text; };
    return Packet{std::move(command),
                  field(std::move(roomId)),
                  field(me ? me->pc() : ""),
                  field(me ? me->userId() : ""),
                  "*",
                  field(std::move(field5)),
                  "*",
                  "*"};
}

std::optional<Date> Chat::firstMessageDate() const {
    if (!context()) {
        return std::nullopt;
    }
    const FetchRequest first{std::string(Message::kEntityName),
                             {FetchCondition::relatedTo("chat", *this)},
                             "time",
                             true,
                             1};
    try {
        const auto found = context()->execute(first);
        if (!found.empty()) {
            return std::static_pointer_cast<Message>(found.front())->time();
        }
    } catch (const sqlite::Error&) {
    }
    return std::nullopt;
}

void Chat::setCurrentUsers(std::optional<Members> users) {
    if (users) {
        Members unique;
        for (auto& user : *users) {
            if (user && std::find(unique.begin(), unique.end(), user) == unique.end()) {
                unique.push_back(std::move(user));
            }
        }
        users = std::move(unique);
    }
    if (currentUsers_ != users) {
        currentUsers_ = std::move(users);
        ModelEvents::shared().chatMembersChanged(*this);
    }
}

void Chat::addCurrentUsersObject(User& user) {
    if (hasCurrentUser(user)) {
        return;
    }
    if (!currentUsers_) {
        currentUsers_.emplace();
    }
    currentUsers_->push_back(std::static_pointer_cast<User>(user.shared_from_this()));
    ModelEvents::shared().chatMembersChanged(*this);
}

void Chat::removeCurrentUsersObject(const User& user) {
    if (currentUsers_ && std::erase_if(*currentUsers_, [&](const auto& member) {
                             return member.get() == &user;
                         }) > 0) {
        ModelEvents::shared().chatMembersChanged(*this);
    }
}

bool Chat::hasCurrentUser(const User& user) const {
    return currentUsers_ && std::any_of(currentUsers_->begin(), currentUsers_->end(),
                                        [&](const auto& member) { return member.get() == &user; });
}

ActiveChats& ActiveChats::shared() {
    static ActiveChats chats;
    return chats;
}

void ActiveChats::prune() {
    std::erase_if(chats_, [](const auto& chat) { return !chat->context(); });
}

void ActiveChats::add(const std::shared_ptr<Chat>& chat) {
    prune();
    if (chat && std::find(chats_.begin(), chats_.end(), chat) == chats_.end()) {
        chats_.push_back(chat);
        ModelEvents::shared().chatInUseChanged(*chat, true);
    }
}

void ActiveChats::remove(Chat& chat) {
    if (std::erase_if(chats_, [&](const auto& member) { return member.get() == &chat; }) > 0) {
        ModelEvents::shared().chatInUseChanged(chat, false);
    }
}

bool ActiveChats::contains(const Chat& chat) {
    prune();
    return std::any_of(chats_.begin(), chats_.end(),
                       [&](const auto& member) { return member.get() == &chat; });
}

std::vector<std::shared_ptr<Chat>> ActiveChats::chats() {
    prune();
    return chats_;
}

}  // namespace corvaline
