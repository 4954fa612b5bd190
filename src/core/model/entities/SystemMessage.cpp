#include "core/model/entities/SystemMessage.h"

#include "core/model/entities/Chat.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"

namespace corvaline {

std::shared_ptr<SystemMessage> SystemMessage::addText(ObjectContext& context, std::string text,
                                                      Chat* chat, User* user, bool error) {
    auto line = context.insert<SystemMessage>();
    line->setText(std::move(text));
    line->setError(error);
    if (chat) {
        line->setChat(chat);
        line->setOriginalSenderName("system");
    } else if (user) {
        line->addUserObject(*user);
        line->setOriginalSenderName(user->name());
    }
    return line;
}

}  // namespace corvaline
