// What peers tell about a group chat. Ids that are not in the roster count for nothing: a
// stranger can neither put users into a room nor write into one that is stored here.
#include <algorithm>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/notifications/NotificationCenter.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

namespace {

// A known user by id, never the local user; no user is made for an id not yet known.
std::shared_ptr<User> knownPeer(std::string_view userId) {
    auto* list = CoreServices::shared().userList;
    if (!list || userId.empty() || (list->me() && userId == list->me()->userId())) {
        return nullptr;
    }
    return list->getUserById(userId, std::nullopt);
}

void addOnce(Chat::Members& users, std::shared_ptr<User> user) {
    if (user && std::find(users.begin(), users.end(), user) == users.end()) {
        users.push_back(std::move(user));
    }
}

}  // namespace

std::optional<Packet> Chat::receivedJoinInfo(const Packet& p) {
    Members collected;
    const std::string_view list = p.text(6);
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        addOnce(collected, knownPeer(list.substr(start, comma - start)));
        start = comma + 1;
    }
    addOnce(collected, knownPeer(p.text(3)));
    if (collected.empty()) {
        return std::nullopt;
    }
    const std::string roomId(p.text(1));
    if (auto chat = findByChatRoomId(roomId)) {
        if (auto window = chat->conversationWindow()) {
            std::vector<User*> joined;
            for (const auto& user : collected) {
                if (!chat->hasCurrentUser(*user)) {
                    joined.push_back(user.get());
                }
            }
            if (!joined.empty()) {
                window->usersJoined(joined);
            }
        } else {
            chat->setCurrentUsers(std::move(collected));
            ActiveChats::shared().add(chat);
        }
        chat->sendWaitingMessages();
    } else if (!createWithUsers(std::move(collected), roomId)) {
        return std::nullopt;  // not a room id, or no store to keep the room in
    }
    return ChatPacketWithCommand("CRRR", roomId, std::string(p.text(3)));
}

std::optional<Packet> Chat::receivedRoomInfoRequest(const Packet& p) {
    const auto chat = findByChatRoomId(p.text(1));
    if (!chat) {
        return std::nullopt;
    }
    Packet reply = ChatPacketWithCommand("CRGRR", std::string(p.text(1)), std::string(p.text(3)));
    reply[6] = chat->userIDsString();
    return reply;
}

std::optional<Packet> Chat::receivedMessage(const Packet& p) {
    const std::string roomId(p.text(1));
    const Packet reply = ChatPacketWithCommand("CRSMR", roomId, std::string(p.text(3)));
    const auto chat = findByChatRoomId(roomId);
    if (!chat || !chat->context()) {
        return reply;
    }
    const auto sender = knownPeer(p.text(3));
    if (!sender) {
        return std::nullopt;
    }
    auto message = chat->context()->insert<Message>();
    message->addUserObject(*sender);
    if (chat->currentUsers()) {
        chat->addCurrentUsersObject(*sender);
    } else {
        chat->setCurrentUsers(Members{sender});
        chat->_requestRoomInfo();
    }
    ActiveChats::shared().add(chat);
    message->setMessage(std::string(p.text(6)));
    message->setIncoming(true);
    // The author's name as it was, like every other received line of a history.
    message->setOriginalSenderName(sender->name());
    message->setChat(chat.get());

    if (auto* main = CoreServices::shared().mainQueue) {
        main->post([chat, message] {
            if (chat->conversationWindow()) {
                NotificationCenter::defaultCenter().post("logUpdated", chat.get());
            } else if (auto* windows = CoreServices::shared().windows) {
                chat->setConversationWindow(windows->openConversation({}, chat.get(), true));
            }
            ModelEvents::shared().chatHistoryAppended(*chat, *message);
            message->playSoundAndPopupWindow();
        });
    }
    return reply;
}

std::optional<Packet> Chat::receivedLeaveInfo(const Packet& p) {
    const auto sender = knownPeer(p.text(3));
    if (!sender) {
        return std::nullopt;
    }
    if (auto chat = findByChatRoomId(p.text(1))) {
        if (auto window = chat->conversationWindow()) {
            window->userLeft(*sender);
        } else {
            chat->removeCurrentUsersObject(*sender);
            if (chat->currentUsers().value_or(Members{}).empty()) {
                ActiveChats::shared().remove(*chat);
            }
        }
    }
    return ChatPacketWithCommand("CRLRR", std::string(p.text(1)), std::string(p.text(3)));
}

}  // namespace corvaline
