#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/model/entities/LogEntry.h"

namespace corvaline {

class Chat;
class User;

// A line the program itself writes into a history. Main thread only.
class SystemMessage : public LogEntry {
  public:
    static constexpr std::string_view kEntityName = "SystemMessage";
    using LogEntry::LogEntry;

    // Inserts a line into the chat's history (sender "system") or, without a chat, into the
    // user's (sender: the user's name). The caller saves.
    static std::shared_ptr<SystemMessage> addText(ObjectContext& context, std::string text,
                                                  Chat* chat, User* user, bool error);

    std::string text() const { return LogEntry::text("text"); }
    void setText(std::string text) { setValue("text", std::move(text)); }
    bool error() const { return flag("error"); }
    void setError(bool error) { setValue("error", error); }
};

}  // namespace corvaline
