// What the local user does in a group chat: each action goes to the members one by one.
#include <utility>

#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/notifications/NotificationCenter.h"
#include "platform/runloop/Executor.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

// How far back the room's history is searched for somebody to ask who is in it.
constexpr std::size_t kHistoryAsked = 100;
// How long messages wait for that answer: beyond the message service's 10 s time-outs.
constexpr Duration kRoomInfoWait{15.0};

}  // namespace

void Chat::sendToMembers(Packet packet, const Members& to) const {
    auto* messages = CoreServices::shared().messages;
    const std::string command(packet.text(0));
    for (const auto& member : to) {
        packet[5] = member->userId();
        DebugTracer::addLogItem("sending TCP packet " + command + " to: " + member->userId(), 0);
        auto bytes = PacketCodec::shared().PlainPacket(packet);
        if (bytes && messages) {
            messages->SendTCPpacket(*bytes, *member, nullptr);
        }
    }
}

void Chat::informJoin() {
    Packet packet = ChatPacketWithCommand("CRJR", std::to_string(roomId()), "");
    packet[6] = userIDsString();
    sendToMembers(std::move(packet), currentUsers_.value_or(Members{}));
}

void Chat::leaveChat() {
    sendToMembers(ChatPacketWithCommand("CRLR", std::to_string(roomId()), ""),
                  currentUsers_.value_or(Members{}));
    ActiveChats::shared().remove(*this);
}

void Chat::sendMessage(const std::string& text) {
    auto* list = CoreServices::shared().userList;
    const Me* me = list ? list->me().get() : nullptr;
    if (!context() || !me) {
        return;
    }
    auto message = context()->insert<Message>();
    message->setMessage(text);
    message->setIncoming(false);
    message->setOriginalSenderName(me->name());
    message->setChat(this);
    if (currentUsers_) {
        deliver(*message);
    } else {
        waiting_.push_back(message);
        askWhoIsInTheRoom();
    }
    SaveAppContextIfChanged();
    NotificationCenter::defaultCenter().post("logUpdated", this);
    ModelEvents::shared().chatHistoryAppended(*this, *message);
}

void Chat::deliver(Message& message) {
    const Members members = currentUsers_.value_or(Members{});
    Members online;
    for (const auto& member : members) {
        message.addUserObject(*member);
        if (!member->userOffline()) {
            online.push_back(member);
        }
    }
    if (online.empty()) {
        couldNotBeDelivered();
        return;
    }
    Packet packet = ChatPacketWithCommand("CRSM", std::to_string(roomId()), "");
    packet[6] = EncodeUnicodeField(message.message());
    sendToMembers(std::move(packet), online);
}

void Chat::couldNotBeDelivered() {
    SystemMessage::addText(*context(),
                           "This message could not be delivered because nobody in this "
                           "conversation could be reached.",
                           this, nullptr, true);
}

void Chat::askWhoIsInTheRoom() {
    // Asked already: the answer brings every message written meanwhile.
    if (waiting_.size() > 1) {
        return;
    }
    auto* list = CoreServices::shared().userList;
    const Me* me = list ? list->me().get() : nullptr;
    std::shared_ptr<User> asked;
    for (const auto& entry : lastLogEnties(kHistoryAsked)) {
        for (User* user : entry->user()) {
            if (user != me && !user->userOffline()) {
                asked = std::static_pointer_cast<User>(user->shared_from_this());
                break;
            }
        }
        if (asked) {
            break;
        }
    }
    auto* main = CoreServices::shared().mainQueue;
    if (!asked || !main) {
        waitingMessagesFailed();
        return;
    }
    sendToMembers(ChatPacketWithCommand("CRGRI", std::to_string(roomId()), ""), {asked});
    askedForMembers_ = main->postAfter(kRoomInfoWait, [weak = weak_from_this()] {
        if (auto chat = std::static_pointer_cast<Chat>(weak.lock()); chat && chat->context()) {
            chat->waitingMessagesFailed();
            saveIfChanged(*chat->context());
            NotificationCenter::defaultCenter().post("logUpdated", chat.get());
        }
    });
}

void Chat::sendWaitingMessages() {
    if (!currentUsers_ || waiting_.empty()) {
        return;
    }
    askedForMembers_.cancel();
    for (const auto& message : std::exchange(waiting_, {})) {
        if (message->context()) {
            deliver(*message);
        }
    }
}

void Chat::waitingMessagesFailed() {
    askedForMembers_.cancel();
    for (const auto& message : std::exchange(waiting_, {})) {
        if (message->context()) {
            couldNotBeDelivered();
        }
    }
}

void Chat::_requestRoomInfo() {
    if (!currentUsers_ || currentUsers_->empty()) {
        return;
    }
    sendToMembers(ChatPacketWithCommand("CRGRI", std::to_string(roomId()), ""),
                  {currentUsers_->front()});
}

}  // namespace corvaline
