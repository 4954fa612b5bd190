#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

class Chat;
class User;

// One line of a history: a message, a system line or a file transfer. Main thread only.
class LogEntry : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "LogEntry";
    using ManagedObject::ManagedObject;

    // Both times start as the moment of insertion.
    void awakeFromInsert() override;

    bool incoming() const { return flag("incoming"); }
    void setIncoming(bool incoming) { setValue("incoming", incoming); }
    std::optional<Date> time() const { return date("time"); }
    void setTime(Date time) { setValue("time", time); }
    std::optional<Date> timeReceived() const { return date("timeReceived"); }
    void setTimeReceived(Date time) { setValue("timeReceived", time); }
    std::string originalSenderName() const { return text("originalSenderName"); }
    void setOriginalSenderName(std::string name) {
        setValue("originalSenderName", std::move(name));
    }

    // The users whose history holds the entry.
    std::vector<User*> user() const;
    void addUserObject(User& user);
    void removeUserObject(User& user);
    Chat* chat() const;
    void setChat(Chat* chat);
};

}  // namespace corvaline
