// The members of a conversation window: what is observed of them, joins and leaves.
#include <QListWidget>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/entities/UserStatus.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "platform/notifications/NotificationCenter.h"
#include "ui/conversation/Conversation.h"

namespace corvaline::ui {

namespace {

bool isLocalUser(const User* user) {
    auto* list = CoreServices::shared().userList;
    return list && list->me().get() == user;
}

bool isOffline(const User& user) {
    return user.status() == statusCode(UserStatus::Offline);
}

bool contains(const std::vector<User*>& users, const User* user) {
    return std::find(users.begin(), users.end(), user) != users.end();
}

}  // namespace

void Conversation::subscribeToUsers(const std::vector<User*>& users, bool inFull) {
    for (auto* user : users) {
        auto& observed = observed_[user];
        observed.knownName = QString::fromStdString(user->name());
        observed.knownOffline = isOffline(*user);
        observed.name = user->observe("name", [this, user] { userChanged(*user, "name"); });
        observed.status = user->observe("status", [this, user] { userChanged(*user, "status"); });
        if (!inFull) {
            continue;
        }
        observed.statusString =
            user->observe("statusString", [this, user] { userChanged(*user, "statusString"); });
        observed.typing = user->observe("typingReceived", [this, user] { typingChanged(*user); });
        observed.log = NotificationCenter::defaultCenter().addObserver(
            "logUpdated", user, [this](const Notification&) { updateLog(); });
    }
}

void Conversation::unSubscribeFromUser(User& user, bool withLog, bool andStatus) {
    const auto found = observed_.find(&user);
    if (found == observed_.end()) {
        return;
    }
    auto& observed = found->second;
    if (withLog) {
        observed.statusString.remove();
        observed.typing.remove();
        observed.log.remove();
    }
    if (andStatus) {
        observed.name.remove();
        observed.status.remove();
    }
    if (!observed.name && !observed.log) {
        observed_.erase(found);
    }
}

void Conversation::observeChatLog() {
    chatLog_ = NotificationCenter::defaultCenter().addObserver(
        "logUpdated", chat_.get(), [this](const Notification&) { updateLog(); });
}

void Conversation::addSystemLine(const std::string& text, bool error) {
    if (auto* context = AppManagedObjectContext()) {
        SystemMessage::addText(*context, text, chat_.get(), chat_ ? nullptr : user_.get(), error);
        SaveAppContextIfChanged();
    }
}

void Conversation::userChanged(User& user, std::string_view key) {
    if (key == "name") {
        auto& known = observed_[&user].knownName;
        const QString now = QString::fromStdString(user.name());
        const QString before = std::exchange(known, now);
        updateTitle();
        reloadMembers();
        addSystemLine(tr("%1 has changed the name to %2.").arg(before, now).toStdString(), false);
        updateLog();
        return;
    }
    // The core marks an offline user offline again after each failed exchange: only the
    // change itself is news.
    bool wentOffline = false;
    if (const auto found = observed_.find(&user); found != observed_.end()) {
        const bool offline = isOffline(user);
        const bool wasOffline = std::exchange(found->second.knownOffline, offline);
        wentOffline = offline && !wasOffline;
    }
    if (wentOffline && chat_) {
        addSystemLine(tr("%1 is now offline and will not receive messages from this "
                         "conversation until after coming back online.")
                          .arg(QString::fromStdString(user.name()))
                          .toStdString(),
                      true);
        updateLog();
    }
    updateUserStatus();
    updateCommands();
}

void Conversation::usersJoined(const std::vector<User*>& joined) {
    std::vector<User*> added;
    for (auto* user : joined) {
        if (!isLocalUser(user) && !contains(users(), user) && !contains(added, user)) {
            added.push_back(user);
        }
    }
    if (added.empty()) {
        return;
    }
    const std::size_t before = users().size();
    const std::shared_ptr<User> one = chat_ ? nullptr : user_;
    for (auto* user : added) {
        if (chat_) {
            chat_->addCurrentUsersObject(*user);
        } else {
            ownUsers_.push_back(std::static_pointer_cast<User>(user->shared_from_this()));
        }
    }
    subscribeToUsers(added, false);
    if (!chat_) {
        chat_ = Chat::createWithUsers(std::exchange(ownUsers_, {}), std::nullopt);
        if (!chat_) {
            return;  // no store to keep the chat in
        }
        chat_->setConversationWindow(adapter());
        updateMinimizedImage();
        updateSaveFrame();
        logEntries_ = 0;
    }
    if (one) {
        // A later private conversation with that user opens a window of its own.
        if (one->conversationWindow() == adapter()) {
            one->setConversationWindow(nullptr);
        }
        unSubscribeFromUser(*one, true, false);
        observeChatLog();
    }
    const QString names = UserNamesList(added);
    addSystemLine((added.size() == 1 ? tr("%1 has been added to the conversation.").arg(names)
                                     : tr("%1 have been added to the conversation.").arg(names))
                      .toStdString(),
                  false);
    if (before == 1 && users().size() >= 2) {
        toggleRightPane(false);
        updateSaveFrame();
    }
    reloadMembers();
    updateCommands();
    updateTitle();
    updateLog();
}

void Conversation::userLeft(User& left) {
    if (!contains(users(), &left)) {
        return;
    }
    unSubscribeFromUser(left, false, true);
    if (users().size() > 1) {
        chat_->removeCurrentUsersObject(left);
        addSystemLine(tr("%1 has left the conversation.")
                          .arg(QString::fromStdString(left.name()))
                          .toStdString(),
                      false);
        if (const auto members = users(); members.size() == 1) {
            user_ = std::static_pointer_cast<User>(members.front()->shared_from_this());
            updateSaveFrame();
            toggleRightPane(false);
        }
    } else {
        // The last other member went: the window goes on as a private conversation with
        // that user, showing only what comes after the text it has.
        const auto kept = std::static_pointer_cast<User>(left.shared_from_this());
        if (!kept->conversationWindow()) {
            kept->setConversationWindow(adapter());
        }
        chatLog_.remove();
        subscribeToUsers({kept.get()}, true);
        const auto chat = std::exchange(chat_, nullptr);
        chat->setConversationWindow(nullptr);
        chat->leaveChat();
        ownUsers_ = {kept};
        user_ = kept;
        logEntries_ = kept->logEntriesNumber();
        updateMinimizedImage();
    }
    reloadMembers();
    updateCommands();
    updateTitle();
    updateLog();
}

}  // namespace corvaline::ui
