#include "core/model/entities/Message.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/codec/PacketCodec.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/PresenceService.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

namespace {

// The leading decimal integer of a field ("123.75" gives 123), 0 when there is none.
std::int64_t integerValue(std::string_view text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

long currentZoneOffset() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

long& zoneOffset() {
    static long offset = currentZoneOffset();
    return offset;
}

bool isOneOf(std::string_view type, std::initializer_list<std::string_view> types) {
    for (auto candidate : types) {
        if (type == candidate) {
            return true;
        }
    }
    return false;
}

Packet receiptFor(const Packet& packet, const Me* me) {
    auto field = [](std::string text) { return text.empty() ? std::string("*") : text; };
    return Packet{"TMR",
                  "*",
                  field(me ? me->pc() : ""),
                  field(me ? me->userId() : ""),
                  "*",
                  field(std::string(packet.text(3))),
                  "*",
                  "*"};
}

// Puts a received entry on disk before anybody is told of it: a receipt or an arrival notice
// makes the sender and every holder drop their copies. An entry the store cannot hold is taken
// back, neither shown nor answered, so that the sender keeps it for the relay.
bool kept(ObjectContext& context, ManagedObject& entry) {
    if (SaveAppContextOrReport()) {
        return true;
    }
    context.deleteObject(entry);
    return false;
}

}  // namespace

long Message::localTimeOffset() {
    return zoneOffset();
}

void Message::recomputeLocalTimeOffset() {
    zoneOffset() = currentZoneOffset();
}

double Message::wireTime(Date date) {
    const std::chrono::duration<double> sinceEpoch = date.time_since_epoch();
    return sinceEpoch.count() + static_cast<double>(localTimeOffset());
}

std::optional<Date> Message::dateFromWireTime(std::int64_t localSeconds) {
    // A date holds some 292 years either side of 1970 (a day is kept for the zone offset); a
    // peer's time beyond that would overflow the conversion.
    constexpr std::int64_t kLimit =
        std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count() - 86400;
    if (localSeconds > kLimit || localSeconds < -kLimit) {
        return std::nullopt;
    }
    return Date(std::chrono::seconds(localSeconds - localTimeOffset()));
}

bool MessageIdAlreadyStored(ObjectContext& context, std::int64_t messageId) {
    const FetchRequest messages{std::string(Message::kEntityName),
                                {FetchCondition::equals("messageId", messageId)},
                                "messageId",
                                true,
                                1};
    if (context.count(messages) > 0) {
        return true;
    }
    return !context
                .fetch<MessageForForwarding>([&](const MessageForForwarding& record) {
                    return record.messageId() == messageId;
                })
                .empty();
}

std::optional<Packet> Message::gotMessage(const Packet& p, const std::string& ip) {
    auto& services = CoreServices::shared();
    UserList* list = services.userList;
    ObjectContext* context = AppManagedObjectContext();
    Me* me = list ? list->me().get() : nullptr;
    const Packet receipt = receiptFor(p, me);
    if (!me || !context) {
        return receipt;
    }

    const std::string_view type = p.text(0);
    const bool mass = isOneOf(type, {"TMM", "TSOMM", "TSFMM"});
    const bool forwarded = isOneOf(type, {"TSFM", "TSFMM"});
    const bool offline = isOneOf(type, {"TSOM", "TSOMM"});
    const std::int64_t id = integerValue(p.text(offline ? 2 : 1));

    if (MessageIdAlreadyStored(*context, id) || p.text(5) != me->userId()) {
        return receipt;
    }
    auto recipient = list->getUserById(p.text(offline ? 1 : 5), std::nullopt);
    if (!recipient) {
        return receipt;
    }
    if (recipient->name().empty()) {
        recipient->setRemoved(true);
    }
    const bool plain = type == "TSM" || type == "TMM";
    auto sender = list->getUserById(p.text(forwarded ? 7 : 3),
                                    plain ? std::optional<std::string>(ip) : std::nullopt);
    if (!sender) {
        return receipt;
    }
    if (sender->userOffline()) {
        const std::string_view name = p.text(offline ? 7 : 4);
        if (!name.empty() && name != "*" && name != sender->name()) {
            sender->setName(std::string(name));
        }
    }
    // A relayed time that is no date counts as the time of arrival.
    const Date time = (offline     ? dateFromWireTime(integerValue(p.text(4)))
                       : forwarded ? dateFromWireTime(integerValue(p.text(2)))
                                   : std::nullopt)
                          .value_or(services.now());

    if (offline) {
        auto record = context->insert<MessageForForwarding>();
        record->setTime(time);
        record->setMass(mass);
        record->setMessageId(id);
        record->setMessage(PacketCodec::shared().EncryptString(p.text(6), true).value_or(Bytes{}));
        record->setSender(sender.get());
        record->addRecipientsObject(*recipient);
        if (!kept(*context, *record)) {
            return std::nullopt;
        }
    } else {
        auto message = context->insert<Message>();
        message->setTime(time);
        message->setMass(mass);
        message->setMessageId(id);
        message->setIncoming(true);
        message->setOffline(forwarded);
        message->setMessage(std::string(p.text(6)));
        message->setOriginalSenderName(sender->name());
        message->addUserObject(*sender);
        if (!kept(*context, *message)) {
            return std::nullopt;
        }
        if (services.mainQueue) {
            services.mainQueue->post([sender, message] {
                sender->MessageReceived();
                ModelEvents::shared().userHistoryAppended(*sender, *message);
                message->playSoundAndPopupWindow();
            });
        }
    }

    if (forwarded && services.presence) {
        const Packet arrived{"UOMFR",
                             std::string(p.text(1)),
                             me->pc(),
                             me->userId(),
                             "*",
                             "*",
                             "*",
                             "*",
                             std::to_string(me->sessionId().value_or(0))};
        if (auto bytes = PacketCodec::shared().PlainPacket(arrived)) {
            services.presence->SendPacketToEveryone(*bytes);
        }
    }
    return receipt;
}

void Message::playSoundAndPopupWindow() {
    auto* list = CoreServices::shared().userList;
    const Me* me = list ? list->me().get() : nullptr;
    const auto users = user();
    std::shared_ptr<ConversationWindow> window;
    if (Chat* room = chat()) {
        window = room->conversationWindow();
    } else if (me && std::find(users.begin(), users.end(), me) != users.end()) {
        window = me->conversationWindow();
    } else if (!users.empty()) {
        window = users.front()->conversationWindow();
    }
    auto& defaults = UserDefaults::standard();
    if (defaults.integerForKey(defaults::kSoundsAnyTime) == 0 && window && window->isMainWindow() &&
        window->isKeyWindow()) {
        return;
    }
    popupWindow(window);
    if (!defaults.boolForKey(defaults::kSoundsEnabled)) {
        return;
    }
    auto* windows = CoreServices::shared().windows;
    if (!windows) {
        return;
    }
    if (mass()) {
        if (defaults.boolForKey(defaults::kSoundsOnBroadcast)) {
            windows->Play("Broadcast");
        }
    } else if (defaults.boolForKey(defaults::kSoundsOnIncoming)) {
        windows->Play("Message");
    }
}

}  // namespace corvaline
