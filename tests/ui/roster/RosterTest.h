#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "support/TempFolder.h"
#include "ui/roster/RosterModel.h"
#include "ui/roster/RosterView.h"

namespace corvaline::testing {

// The main list over a small store in a fresh HOME: "Friends" (ann and dave online, Bob
// offline, Cid removed), "work" (Eve offline) and the empty "Zoo". The main queue is a loop on
// virtual time; nothing is started, so no port opens.
class RosterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("HOME", home_.path().c_str(), 1);
        AppStore::shared().close();
        context_ = AppManagedObjectContext();
        ASSERT_NE(context_, nullptr);
        CoreServices::shared().mainQueue = loop_.get();
        friends_ = addGroup("Friends");
        work_ = addGroup("work");
        zoo_ = addGroup("Zoo");
        addUser("A1", "ann", "0", friends_);
        addUser("A2", "Bob", "10", friends_);
        addUser("A3", "Cid", "10", friends_)->setRemoved(true);
        addUser("A4", "dave", "0", friends_);
        addUser("A5", "Eve", "10", work_);
        context_->save();
        model_ = std::make_unique<ui::RosterModel>(*context_, *loop_);
    }

    void TearDown() override {
        view_.reset();
        model_.reset();
        UserDefaults::standard().removeObject("hideOfflineUsers");
        AppStore::shared().close();
        CoreServices::shared() = CoreServices{};
    }

    Group* addGroup(const std::string& name) { return Group::insertNamed(*context_, name).get(); }
    User* addUser(const std::string& id, const std::string& name, const std::string& status,
                  Group* group) {
        auto user = context_->insert<User>();
        user->setUserId(id);
        user->setName(name);
        user->setStatus(status);
        user->setGroup(group);
        return user.get();
    }
    User* user(const std::string& id) {
        auto found = context_->fetch<User>([&](const User& u) { return u.userId() == id; });
        return found.empty() ? nullptr : found.front().get();
    }

    // The names the tree shows, groups followed by their users in brackets.
    std::string tree() const {
        std::string text;
        for (int row = 0; row < model_->rowCount(); ++row) {
            const QModelIndex group = model_->index(row, 0);
            text += (row ? " " : "") + group.data().toString().toStdString() + "[";
            for (int child = 0; child < model_->rowCount(group); ++child) {
                text += (child ? "," : "") +
                        model_->index(child, 0, group).data().toString().toStdString();
            }
            text += "]";
        }
        return text;
    }

    void runFor(double seconds) {
        loop_->runUntil([] { return false; }, Duration(seconds));
    }

    ui::RosterView& view() {
        if (!view_) {
            view_ = std::make_unique<ui::RosterView>(*model_);
            view_->resize(300, 400);
            view_->show();
        }
        return *view_;
    }

    TempFolder home_;
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    std::shared_ptr<MainLoop> loop_ = std::make_shared<MainLoop>(clock_);
    ObjectContext* context_ = nullptr;
    Group* friends_ = nullptr;
    Group* work_ = nullptr;
    Group* zoo_ = nullptr;
    std::unique_ptr<ui::RosterModel> model_;
    std::unique_ptr<ui::RosterView> view_;
};

}  // namespace corvaline::testing
