#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

class Chat;
class ConversationWindow;
class User;

// One line of a history: a message, a system line or a file transfer. Main thread only.
class LogEntry : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "LogEntry";
    using ManagedObject::ManagedObject;

    // Both times start as the moment of insertion.
    void awakeFromInsert() override;

    // Brings `window` (none: the window of any one of the entry's users) forward as
    // "minimizeMessages" and "keepFocus" say.
    void popupWindow(const std::shared_ptr<ConversationWindow>& window);

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
