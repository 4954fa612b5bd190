#include <sys/resource.h>

#include <gtest/gtest.h>

#include "platform/system/DescriptorLimit.h"

namespace corvaline {
namespace {

TEST(DescriptorLimit, SoftLimitIsRaisedToTheHardLimit) {
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= 64) {
        GTEST_SKIP() << "hard limit too low to lower the soft one";
    }
    rlimit lowered = limit;
    lowered.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    raiseDescriptorLimit();
    rlimit raised{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &raised), 0);
    EXPECT_EQ(raised.rlim_cur, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace
}  // namespace corvaline
