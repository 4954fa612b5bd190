// The node's group-chat commands and events.
#include <algorithm>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/store/AppStore.h"
#include "node/CommandText.h"
#include "node/Node.h"

namespace corvaline::node {

namespace {

// Those of `these` that are not in `those`, in order.
std::vector<std::string> without(const std::vector<std::string>& these,
                                 const std::vector<std::string>& those) {
    std::vector<std::string> rest;
    for (const auto& item : these) {
        if (std::find(those.begin(), those.end(), item) == those.end()) {
            rest.push_back(item);
        }
    }
    return rest;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return text;
}

}  // namespace

void Node::chat(const std::vector<std::string>& command) {
    if (command.size() != 2 || split(command[1], ',').empty()) {
        error("usage: chat USERID,USERID,...");
        return;
    }
    Chat::Members users;
    for (const auto& userId : split(command[1], ',')) {
        auto user = knownUser(userId);
        if (!user) {
            return;
        }
        users.push_back(std::move(user));
    }
    const auto room = Chat::createWithUsers(std::move(users), std::nullopt);
    SaveAppContextIfChanged();
    if (!room) {
        error("the chat could not be made");
        return;
    }
    output_({"chat", std::to_string(room->roomId())});
}

std::shared_ptr<Chat> Node::knownChat(const std::string& roomId) {
    auto room = Chat::findByChatRoomId(roomId);
    if (!room) {
        error("unknown chat: " + roomId);
    }
    return room;
}

void Node::chatSend(const std::vector<std::string>& command) {
    if (command.size() != 3 || command[2].empty()) {
        error("usage: chat-send ROOMID TEXT");
        return;
    }
    if (auto room = knownChat(command[1])) {
        for (const auto& piece : pieces(command[2])) {
            room->sendMessage(piece);
        }
    }
}

void Node::chatLeave(const std::vector<std::string>& command) {
    if (command.size() != 2) {
        error("usage: chat-leave ROOMID");
        return;
    }
    if (auto room = knownChat(command[1])) {
        // Like closing the chat's window: the chat is left and the window goes.
        chatMembers_.erase(room->roomId());
        room->leaveChat();
        room->setConversationWindow(nullptr);
        SaveAppContextIfChanged();
    }
}

void Node::reportChats() {
    std::set<std::int64_t> inUse;
    for (const auto& room : ActiveChats::shared().chats()) {
        inUse.insert(room->roomId());
        std::vector<std::string> now;
        for (const auto& user : room->currentUsers().value_or(Chat::Members{})) {
            now.push_back(user->userId());
        }
        auto& before = chatMembers_[room->roomId()];
        const std::string roomId = std::to_string(room->roomId());
        if (const auto arrived = without(now, before); !arrived.empty()) {
            output_({"chat-joined", roomId, joined(arrived)});
        }
        for (const auto& userId : without(before, now)) {
            output_({"chat-left", roomId, userId});
        }
        before = std::move(now);
    }
    // A chat no longer in use that the local user did not leave lost its last member.
    for (auto entry = chatMembers_.begin(); entry != chatMembers_.end();) {
        if (inUse.contains(entry->first)) {
            ++entry;
            continue;
        }
        for (const auto& userId : entry->second) {
            output_({"chat-left", std::to_string(entry->first), userId});
        }
        entry = chatMembers_.erase(entry);
    }
}

void Node::reportChatEntry(const Chat& room, const LogEntry& entry) {
    auto* message = dynamic_cast<const Message*>(&entry);
    if (!message || !message->incoming() || message->timeReceived().value_or(Date{}) < startedAt_ ||
        !reportedChatEntries_.insert(message->objectId()).second) {
        return;
    }
    const auto users = message->user();
    output_({"chat-message", std::to_string(room.roomId()),
             users.empty() ? "*" : users.front()->userId(), message->message()});
}

}  // namespace corvaline::node
