#include "core/model/entities/LogEntry.h"

#include "core/model/entities/Chat.h"
#include "core/model/entities/User.h"
#include "core/model/services/CoreServices.h"

namespace corvaline {

void LogEntry::awakeFromInsert() {
    const Date now = CoreServices::shared().now();
    setPrimitiveValue("timeReceived", now);
    setPrimitiveValue("time", now);
}

std::vector<User*> LogEntry::user() const {
    std::vector<User*> users;
    for (auto* object : toMany("user")) {
        users.push_back(static_cast<User*>(object));
    }
    return users;
}

void LogEntry::addUserObject(User& user) {
    addToMany("user", &user);
}

void LogEntry::removeUserObject(User& user) {
    removeFromMany("user", &user);
}

Chat* LogEntry::chat() const {
    return static_cast<Chat*>(toOne("chat"));
}

void LogEntry::setChat(Chat* chat) {
    setToOne("chat", chat);
}

}  // namespace corvaline
