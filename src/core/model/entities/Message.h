#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/model/entities/LogEntry.h"

namespace corvaline {

// A text message of a history. Main thread only.
class Message : public LogEntry {
  public:
    static constexpr std::string_view kEntityName = "Message";
    using LogEntry::LogEntry;

    std::string message() const { return text("message"); }
    void setMessage(std::string message) { setValue("message", std::move(message)); }
    std::int64_t messageId() const { return integer("messageId").value_or(0); }
    void setMessageId(std::int64_t messageId) { setValue("messageId", messageId); }
    bool mass() const { return flag("mass"); }
    void setMass(bool mass) { setValue("mass", mass); }
    bool offline() const { return flag("offline"); }
    void setOffline(bool offline) { setValue("offline", offline); }
};

}  // namespace corvaline
