#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/model/entities/User.h"
#include "core/model/support/ModelTest.h"
#include "platform/trace/DebugTracer.h"

namespace corvaline::testing {

// The model fixture with the local user made, the loop as the services' main queue, and the
// trace lines the services write collected so tests can count them.
class NetTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
    }

    void TearDown() override {
        if (capturing_) {
            ::testing::internal::GetCapturedStderr();
            DebugTracer::setEnabled(false);
        }
        ModelTest::TearDown();
    }

    // The loop outlives every service a test makes.
    std::shared_ptr<Executor> main() {
        return std::shared_ptr<Executor>(std::shared_ptr<void>(), &loop_);
    }

    void runFor(double seconds) {
        loop_.runUntil([] { return false; }, Duration(seconds));
    }

    // Runs the loop until the predicate holds, for at most 30 s of real time: socket work
    // happens on other threads, while the loop's own time jumps ahead whenever it is idle.
    bool runUntilDone(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < limit) {
            loop_.runUntil(done, Duration(0.1));
        }
        return done();
    }

    void startTrace() {
        DebugTracer::setEnabled(true);
        ::testing::internal::CaptureStderr();
        capturing_ = true;
    }

    // How often the line was traced since startTrace.
    int traced(const std::string& line) {
        trace_ += ::testing::internal::GetCapturedStderr();
        ::testing::internal::CaptureStderr();
        const std::string wanted = "] " + line + "\n";
        int count = 0;
        for (auto at = trace_.find(wanted); at != std::string::npos;
             at = trace_.find(wanted, at + 1)) {
            ++count;
        }
        return count;
    }

    std::shared_ptr<User> addUser(const std::string& userId, const std::string& status) {
        auto user = context_->insert<User>();
        user->setUserId(userId);
        user->setName("Name " + userId);
        user->setStatus(status);
        return user;
    }

  private:
    bool capturing_ = false;
    std::string trace_;
};

}  // namespace corvaline::testing
