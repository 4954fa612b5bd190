#pragma once

#include <QApplication>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <string>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/entities/User.h"
#include "core/model/store/AppStore.h"
#include "core/model/support/ModelTest.h"
#include "support/qt/SelfOwnedWindows.h"

namespace corvaline::testing {

// The real model on a small store (the local user, Ann online, Bob online, Eve offline, all
// in "Friends"), the registered defaults, and offscreen Qt for the windows. The main queue is
// a loop on virtual time: run() lets its timers fire.
class ConversationTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        registerApplicationDefaults(UserDefaults::standard(), {});
        userList_->updateMe();
        friends_ = context_->insert<Group>();
        friends_->setName("Friends");
        ann_ = makeUser("A100000001", "Ann", "0");
        bob_ = makeUser("A100000002", "Bob", "0");
        eve_ = makeUser("A100000003", "Eve", "10");
        context_->save();
    }

    void TearDown() override {
        closeAllWindows();
        ModelTest::TearDown();
    }

    std::shared_ptr<User> makeUser(const std::string& id, const std::string& name,
                                   const std::string& status) {
        auto user = context_->insert<User>();
        user->setUserId(id);
        user->setName(name);
        user->setStatus(status);
        user->setIp("10.9.0.1");
        user->setGroup(friends_.get());
        return user;
    }

    // An entry of the user's history, received `secondsAgo` before now.
    std::shared_ptr<Message> addMessage(User& user, const std::string& text, bool incoming = true,
                                        double secondsAgo = 0) {
        auto message = context_->insert<Message>();
        message->setMessage(text);
        message->setIncoming(incoming);
        message->addUserObject(user);
        const Date when = now() - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                      Duration(secondsAgo));
        message->setTime(when);
        message->setTimeReceived(when);
        context_->save();
        return message;
    }

    // A new online user in "Friends" without history, held by the store alone, so that
    // deleting it frees it.
    User* makeUnheldUser(const std::string& id, const std::string& name) {
        User* user = makeUser(id, name, "0").get();
        context_->save();
        return user;
    }

    // Deletes the user as Delete User does one without history, and saves; the user is freed
    // unless a window still holds it. Answers whether it was freed.
    bool deleteAndSave(User* user) {
        const std::weak_ptr<ManagedObject> held = user->weak_from_this();
        context_->deleteObject(*user);
        context_->save();
        return held.expired();
    }

    void run(double seconds) {
        loop_.runUntil([] { return false; }, Duration(seconds));
    }

    static void processEvents() {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void closeAllWindows() { deleteSelfOwnedWindows(); }

    // The lines of a document, one per paragraph.
    static QStringList lines(const QTextDocument& document) {
        return document.toPlainText().split(QChar('\n'));
    }

    std::shared_ptr<Group> friends_;
    std::shared_ptr<User> ann_;
    std::shared_ptr<User> bob_;
    std::shared_ptr<User> eve_;
};

}  // namespace corvaline::testing
