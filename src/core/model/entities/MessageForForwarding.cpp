#include "core/model/entities/MessageForForwarding.h"

#include "core/model/entities/User.h"

namespace corvaline {

std::vector<std::uint8_t> MessageForForwarding::message() const {
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value("message"));
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

std::vector<User*> MessageForForwarding::recipients() const {
    std::vector<User*> users;
    for (auto* object : toMany("recipients")) {
        users.push_back(static_cast<User*>(object));
    }
    return users;
}

void MessageForForwarding::addRecipientsObject(User& user) {
    addToMany("recipients", &user);
}

void MessageForForwarding::removeRecipientsObject(User& user) {
    removeFromMany("recipients", &user);
}

User* MessageForForwarding::sender() const {
    return static_cast<User*>(toOne("sender"));
}

void MessageForForwarding::setSender(User* sender) {
    setToOne("sender", sender);
}

}  // namespace corvaline
