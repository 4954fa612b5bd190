#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

class LogEntry;

// A group-chat room and its history. Main thread only.
class Chat : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "Chat";
    using ManagedObject::ManagedObject;

    // The chat's history, from an indexed query: the number of entries, and the `count`
    // newest by receipt time, newest first (0: all).
    std::size_t logEntriesNumber() const;
    std::vector<std::shared_ptr<LogEntry>> lastLogEnties(std::size_t count) const;

    std::int64_t roomId() const { return integer("roomId").value_or(0); }
    void setRoomId(std::int64_t roomId) { setValue("roomId", roomId); }
};

}  // namespace corvaline
