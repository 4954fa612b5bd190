// Delivery of held messages to their recipients when these are online again.
#include <algorithm>
#include <cmath>

#include "core/codec/PacketCodec.h"
#include "core/codec/UnicodeField.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/entities/Random.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/MessageService.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/runloop/Executor.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline {

namespace {

// The text as a message field; an empty or unreadable text gives an empty field, which no
// packet accepts.
Packet::Field textField(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::string();
    }
    return EncodeUnicodeField(*text);
}

std::int64_t wholeWireSeconds(const MessageForForwarding& record) {
    const Date time = record.time().value_or(Date{});
    return static_cast<std::int64_t>(std::trunc(Message::wireTime(time)));
}

// Sends one delivery unless the services have gone meanwhile, or a receipt has cleared the
// recipient since the pass began (overlapping passes would send it again).
void deliver(const std::string& type, const Bytes& bytes, User& recipient,
             const std::shared_ptr<MessageForForwarding>& record) {
    // Compared by address only: a record whose store has closed meanwhile may still list
    // recipients that are gone, and those must not be touched.
    const auto& recipients = record->toMany("recipients");
    const ManagedObject* wanted = &recipient;
    if (record->isDeleted() ||
        std::find(recipients.begin(), recipients.end(), wanted) == recipients.end()) {
        return;
    }
    DebugTracer::addLogItem("sending TCP packet " + type + " to: " + recipient.userId(), 0);
    if (auto* messages = CoreServices::shared().messages) {
        messages->SendTCPpacket(bytes, recipient, record);
    }
}

}  // namespace

void MessageForForwarding::sendWithPredicate(const Predicate& predicate) {
    auto& services = CoreServices::shared();
    ObjectContext* context = AppManagedObjectContext();
    const Me* me = services.userList ? services.userList->me().get() : nullptr;
    if (!context || !me || !services.mainQueue) {
        return;
    }
    auto records = context->fetch<MessageForForwarding>(predicate);
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a->time().value_or(Date{}) < b->time().value_or(Date{});
    });
    int n = 0;
    for (const auto& record : records) {
        const std::string type = record->mass() ? "TSFMM" : "TSFM";
        const User* sender = record->sender();
        Packet packet{type,
                      std::to_string(record->messageId()),
                      std::to_string(wholeWireSeconds(*record)),
                      me->userId(),
                      sender ? sender->name() : std::string(),
                      "",
                      textField(PacketCodec::shared().DecryptString(record->message(), true)),
                      sender ? sender->userId() : std::string()};
        bool deleted = false;
        for (User* recipient : record->recipients()) {
            if (recipient->userOffline()) {
                continue;
            }
            const Duration delay(n++ * kSendSpacing);
            if (deleted) {
                continue;
            }
            packet[5] = recipient->userId();
            auto bytes = PacketCodec::shared().PlainPacket(packet);
            if (!bytes) {
                // Without a trace the message would vanish without a word.
                DebugTracer::addLogItem("message for forwarding " +
                                            std::to_string(record->messageId()) +
                                            " cannot be encoded and is deleted",
                                        0);
                context->deleteObject(*record);
                deleted = true;
                continue;
            }
            auto user = std::static_pointer_cast<User>(recipient->shared_from_this());
            services.mainQueue->postAfter(delay, [type, bytes = std::move(*bytes), user, record] {
                deliver(type, bytes, *user, record);
            });
        }
    }
}

void MessageForForwarding::sendOnTimer() {
    sendWithPredicate([](const MessageForForwarding& record) {
        const auto recipients = record.recipients();
        return std::any_of(recipients.begin(), recipients.end(),
                           [](const User* user) { return !user->userOffline(); });
    });
}

void MessageForForwarding::sendOnUserIn(User& user) {
    auto& services = CoreServices::shared();
    if (!services.userList || !services.mainQueue) {
        return;
    }
    const auto heldFor = [name = user.name()](const MessageForForwarding& record) {
        const auto recipients = record.recipients();
        return std::any_of(recipients.begin(), recipients.end(),
                           [&name](const User* user) { return user->name() == name; });
    };
    // Nothing held for them now: what is held later goes with the timer's passes. When a
    // whole network comes online at once this spares a count of the roster per user.
    ObjectContext* context = AppManagedObjectContext();
    if (!context || context->fetch<MessageForForwarding>(heldFor).empty()) {
        return;
    }
    const auto online = services.userList->onlineUsersCount();
    const auto delayMs =
        online == 0 ? 0 : uniformRandomBelow(static_cast<std::int64_t>(online) * 1000);
    services.mainQueue->postAfter(Duration(delayMs / 1000.0),
                                  [heldFor] { sendWithPredicate(heldFor); });
}

}  // namespace corvaline
