#include <gtest/gtest.h>

#include <thread>

#include "core/model/entities/Group.h"
#include "core/model/support/ModelTest.h"

namespace corvaline {
namespace {

using MainThreadDeathTest = testing::ModelTest;

// The store belongs to the main thread: a debug build stops a call from any other.
TEST_F(MainThreadDeathTest, TheStoreStopsADebugBuildCalledFromAnotherThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEBUG_DEATH(std::thread([this] { context_->insert<Group>(); }).join(),
                       "off the executor's thread");
    EXPECT_DEBUG_DEATH(std::thread([this] { (void)context_->hasChanges(); }).join(),
                       "off the executor's thread");
}

}  // namespace
}  // namespace corvaline
