// What the local user does in a group chat: each action goes to the members one by one.
#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/notifications/NotificationCenter.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

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
    const Members members = currentUsers_.value_or(Members{});
    auto message = context()->insert<Message>();
    for (const auto& member : members) {
        message->addUserObject(*member);
    }
    message->setMessage(text);
    message->setIncoming(false);
    message->setOriginalSenderName(me->name());
    message->setChat(this);

    Members online;
    for (const auto& member : members) {
        if (!member->userOffline()) {
            online.push_back(member);
        }
    }
    Packet packet = ChatPacketWithCommand("CRSM", std::to_string(roomId()), "");
    packet[6] = EncodeUnicodeField(text);
    sendToMembers(std::move(packet), online);
    SaveAppContextIfChanged();
    NotificationCenter::defaultCenter().post("logUpdated", this);
    ModelEvents::shared().chatHistoryAppended(*this, *message);
}

void Chat::_requestRoomInfo() {
    if (!currentUsers_ || currentUsers_->empty()) {
        return;
    }
    sendToMembers(ChatPacketWithCommand("CRGRI", std::to_string(roomId()), ""),
                  {currentUsers_->front()});
}

}  // namespace corvaline
