#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "app/delegate/CVLAppDelegate.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/net/CoreApplication.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "support/TempFolder.h"
#include "support/qt/SelfOwnedWindows.h"
#include "ui/main/MainWindow.h"

namespace corvaline::testing {

// The application as it starts, on offscreen Qt with the real core, in a fresh HOME whose
// store holds a small roster: groups "Friends" (Ann online, Bob offline, Cid removed) and
// "Work" (Dan with one history entry). The main queue is a loop on virtual time, so the
// countdowns of minutes run in milliseconds. Defaults set through setDefault are removed
// afterwards.
class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("HOME", home_.path().c_str(), 1);
        AppStore::shared().close();
        app::CVLAppDelegate::initialize();
        fillStore();
        delegate_ = std::make_unique<app::CVLAppDelegate>(loop_);
        delegate_->applicationDidFinishLaunching();
    }

    void TearDown() override {
        deleteSelfOwnedWindows();  // conversation and other windows may outlive the delegate
        delegate_.reset();
        runFor(1);  // the sockets finish closing on the main queue
        for (const auto& key : defaultsSet_) {
            UserDefaults::standard().removeObject(key);
        }
        CoreServices::shared() = CoreServices{};
    }

    void setDefault(const std::string& key, nlohmann::json value) {
        UserDefaults::standard().setObject(key, std::move(value));
        defaultsSet_.push_back(key);
    }

    void runFor(double seconds) {
        loop_->runUntil([] { return false; }, Duration(seconds));
    }

    Me& me() { return *delegate_->core()->userList()->me(); }
    ui::MainWindow& window() { return *delegate_->window(); }
    ObjectContext& context() { return *AppManagedObjectContext(); }
    std::shared_ptr<User> user(const std::string& userId) {
        return delegate_->core()->userList()->getUserById(userId, std::nullopt);
    }
    std::shared_ptr<Group> group(const std::string& name) {
        auto found = context().fetch<Group>([&](const Group& g) { return g.name() == name; });
        return found.empty() ? nullptr : found.front();
    }

    TempFolder home_;
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    std::shared_ptr<MainLoop> loop_ = std::make_shared<MainLoop>(clock_);
    std::unique_ptr<app::CVLAppDelegate> delegate_;

  private:
    void fillStore() {
        auto& store = *AppManagedObjectContext();
        auto friends = Group::insertNamed(store, "Friends");
        auto work = Group::insertNamed(store, "Work");
        const struct {
            const char* id;
            const char* name;
            const char* status;
            Group* group;
            bool removed;
        } users[] = {
            {"A100000001", "Ann", "0", friends.get(), false},
            {"A100000002", "Bob", "10", friends.get(), false},
            {"A100000003", "Cid", "10", friends.get(), true},
            {"A100000004", "Dan", "10", work.get(), false},
        };
        for (const auto& made : users) {
            auto user = store.insert<User>();
            user->setUserId(made.id);
            user->setName(made.name);
            user->setStatus(made.status);
            user->setIp("10.9.0.1");
            user->setGroup(made.group);
            user->setRemoved(made.removed);
        }
        auto message = store.insert<Message>();
        message->setMessage("hello Dan");
        message->addUserObject(
            *store.fetch<User>([](const User& u) { return u.userId() == "A100000004"; }).front());
        store.save();
    }

    std::vector<std::string> defaultsSet_;
};

}  // namespace corvaline::testing
