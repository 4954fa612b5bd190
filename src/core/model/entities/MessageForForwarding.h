#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

class User;

// A message held for recipients that are offline, its text encrypted, and the delivery of
// held messages to recipients that are online ("TSFM", "TSFMM"). Main thread only.
class MessageForForwarding : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "MessageForForwarding";
    using ManagedObject::ManagedObject;
    using Predicate = std::function<bool(const MessageForForwarding&)>;

    // The spacing of the sends of one pass, so that a returning user is not flooded.
    static constexpr double kSendSpacing = 0.35;
    // The interval of the timer pass over every record with a recipient online.
    static constexpr double kTimerInterval = 70.0;

    // Sends the matching records, oldest message first, to each of their recipients that is
    // online, one send every kSendSpacing seconds on the main queue, the record riding along
    // so that the receipt clears it. A record that cannot be put into a packet is deleted
    // (and traced). Nothing is saved here.
    static void sendWithPredicate(const Predicate& predicate);
    // The pass of the delivery timer: every record with at least one recipient online.
    static void sendOnTimer();
    // The user has come online: after a random delay of up to one second per online user
    // (so that the holders do not all send at once), the records held for that name.
    static void sendOnUserIn(User& user);

    bool mass() const { return flag("mass"); }
    void setMass(bool mass) { setValue("mass", mass); }
    std::vector<std::uint8_t> message() const;
    void setMessage(std::vector<std::uint8_t> encrypted) {
        setValue("message", std::move(encrypted));
    }
    std::int64_t messageId() const { return integer("messageId").value_or(0); }
    void setMessageId(std::int64_t messageId) { setValue("messageId", messageId); }
    std::optional<Date> time() const { return date("time"); }
    void setTime(Date time) { setValue("time", time); }

    std::vector<User*> recipients() const;
    void addRecipientsObject(User& user);
    void removeRecipientsObject(User& user);
    User* sender() const;
    void setSender(User* sender);
};

}  // namespace corvaline
