#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

class User;

// A message held for recipients that are offline, its text encrypted. Main thread only.
class MessageForForwarding : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "MessageForForwarding";
    using ManagedObject::ManagedObject;

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
