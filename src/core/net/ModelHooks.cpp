#include "core/net/ModelHooks.h"

#include "core/model/entities/Chat.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"

namespace corvaline {

MessageHooks modelHooks() {
    MessageHooks hooks;
    hooks.gotMessage = [](const Packet& packet, const std::string& ip) -> MessageHooks::Reply {
        return Message::gotMessage(packet, ip);
    };
    hooks.receivedJoinInfo = &Chat::receivedJoinInfo;
    hooks.receivedRoomInfoRequest = &Chat::receivedRoomInfoRequest;
    hooks.receivedMessage = &Chat::receivedMessage;
    hooks.receivedLeaveInfo = &Chat::receivedLeaveInfo;
    hooks.SendOfflineMessageIfNeeded = [](User& recipient,
                                          const std::shared_ptr<Message>& message) {
        recipient.SendOfflineMessageIfNeeded(*message);
    };
    return hooks;
}

}  // namespace corvaline
