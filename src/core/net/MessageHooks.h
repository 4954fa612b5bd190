#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/codec/Packet.h"

namespace corvaline {

class Message;
class User;

// What the message service hands to the parts that own messages, group chats and the relay
// store. An empty hook stands for a part that is not there: it answers nothing and does
// nothing. Called on the main thread.
struct MessageHooks {
    using Reply = std::optional<Packet>;
    using PacketHandler = std::function<Reply(const Packet& packet)>;

    // The six message types with the sender's address: the receipt to write back.
    std::function<Reply(const Packet& packet, const std::string& ip)> gotMessage;
    // Group-chat requests ("CRJR" and "CRGRR", "CRGRI", "CRSM", "CRLR").
    PacketHandler receivedJoinInfo;
    PacketHandler receivedRoomInfoRequest;
    PacketHandler receivedMessage;
    PacketHandler receivedLeaveInfo;
    // A message whose exchange failed goes to the relay store for that recipient.
    std::function<void(User& recipient, const std::shared_ptr<Message>& message)>
        SendOfflineMessageIfNeeded;
};

}  // namespace corvaline
