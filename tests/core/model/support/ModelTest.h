#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/support/RecordingServices.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "support/TempFolder.h"

namespace corvaline::testing {

// The model as the program runs it, headless: the shared store in a fresh HOME, a roster
// controller, recording windows and services, a main loop on virtual time that also drives
// the model's wall clock. Defaults set through setDefault are removed afterwards.
class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("HOME", home_.path().c_str(), 1);
        AppStore::shared().close();
        auto& services = CoreServices::shared();
        services.mainQueue = &loop_;
        services.windows = &windows_;
        services.presence = &presence_;
        services.messages = &messages_;
        services.relay = &relay_;
        services.activity = &activity_;
        services.clock = [this] { return wallStart_ + (clock_->now() - clockStart_); };
        context_ = AppManagedObjectContext();
        ASSERT_NE(context_, nullptr);
        userList_ = std::make_unique<UserList>(context_);
        services.userList = userList_.get();
    }

    void TearDown() override {
        for (const auto& key : defaultsSet_) {
            UserDefaults::standard().removeObject(key);
        }
        userList_.reset();
        AppStore::shared().close();
        CoreServices::shared() = CoreServices{};
    }

    void setDefault(const std::string& key, nlohmann::json value) {
        UserDefaults::standard().setObject(key, std::move(value));
        defaultsSet_.push_back(key);
    }

    // Reopens the store as a new start of the program would.
    void restart() {
        userList_.reset();
        CoreServices::shared().userList = nullptr;
        AppStore::shared().close();
        context_ = AppManagedObjectContext();
        ASSERT_NE(context_, nullptr);
        userList_ = std::make_unique<UserList>(context_);
        CoreServices::shared().userList = userList_.get();
    }

    Date now() const { return CoreServices::shared().now(); }
    void advance(double seconds) { clock_->advance(Duration(seconds)); }

    TempFolder home_;
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    Clock::time_point clockStart_ = clock_->now();
    Date wallStart_ = std::chrono::system_clock::now();
    MainLoop loop_{clock_};
    RecordingWindows windows_;
    RecordingPresence presence_;
    RecordingMessages messages_;
    RecordingRelay relay_;
    FakeActivity activity_;
    ObjectContext* context_ = nullptr;
    std::unique_ptr<UserList> userList_;

  private:
    std::vector<std::string> defaultsSet_;
};

}  // namespace corvaline::testing
