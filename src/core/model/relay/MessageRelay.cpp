#include "core/model/relay/MessageRelay.h"

#include <charconv>

#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/store/ObjectContext.h"

namespace corvaline {

namespace {

// The wire time in plain decimals, fraction included when there is one.
std::string wireTimeText(Date time) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, Message::wireTime(time), std::chars_format::fixed)
            .ptr;
    return std::string(text, end);
}

// The id every copy for one recipient of a message to several users travels under: the same
// here, at every relay and at a later failure of the same message, so that the recipient's
// duplicate check sees one message. A relay keeps only the first copy of an id, so each
// recipient needs one of its own. Formed like a message id: two numbers below 9999999 written
// one after the other.
std::int64_t copyIdFor(std::int64_t messageId, const std::string& recipientId) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char c : std::to_string(messageId) + "/" + recipientId) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    constexpr std::uint64_t kBound = 9999999;
    return std::stoll(std::to_string(hash % kBound) + std::to_string(hash / kBound % kBound));
}

}  // namespace

MessageRelay::MessageRelay(Executor& main)
    : timer_(main.repeating(Duration(MessageForForwarding::kTimerInterval),
                            [] { MessageForForwarding::sendOnTimer(); })) {}

MessageRelay::~MessageRelay() {
    timer_.cancel();
}

void MessageRelay::sendOnUserIn(User& user) {
    assertOnMainQueue();
    MessageForForwarding::sendOnUserIn(user);
}

void MessageRelay::SendOfflineMessageIfNeeded(Message& message) {
    assertOnMainQueue();
    auto& services = CoreServices::shared();
    ObjectContext* context = message.context();
    const Me* me = services.userList ? services.userList->me().get() : nullptr;
    if (!context || !me) {
        return;
    }
    const std::vector<User*> users = message.user();
    std::vector<User*> offline;
    for (User* user : users) {
        if (user->userOffline()) {
            offline.push_back(user);
        }
    }
    if (offline.empty()) {
        return;
    }
    const Date time = message.time().value_or(services.now());
    const auto copyId = [&](const User& recipient) {
        return users.size() == 1 ? message.messageId()
                                 : copyIdFor(message.messageId(), recipient.userId());
    };
    for (User* user : offline) {
        auto record = context->insert<MessageForForwarding>();
        record->setMass(message.mass());
        record->setMessageId(copyId(*user));
        record->setTime(time);
        record->addRecipientsObject(*user);
        record->setSender(services.userList->me().get());
        record->setMessage(
            PacketCodec::shared().EncryptString(message.message(), true).value_or(Bytes{}));
    }

    if (!services.messages) {
        return;
    }
    const auto relays = services.userList->allUsersWithoutOffline(true, true);
    Packet packet{message.mass() ? "TSOMM" : "TSOM",
                  "",
                  std::to_string(message.messageId()),
                  me->userId(),
                  wireTimeText(time),
                  "",
                  EncodeUnicodeField(message.message()),
                  me->name()};
    for (User* recipient : offline) {
        packet[1] = recipient->userId();
        packet[2] = std::to_string(copyId(*recipient));
        for (const auto& relay : relays) {
            packet[5] = relay->userId();
            if (auto bytes = PacketCodec::shared().PlainPacket(packet)) {
                services.messages->SendTCPpacket(*bytes, *relay, nullptr);
            }
        }
    }
}

}  // namespace corvaline
