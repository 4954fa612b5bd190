#include "platform/trace/DebugTracer.h"

#include <gtest/gtest.h>

#include <string>

namespace corvaline {
namespace {

TEST(DebugTracerTest, OffUnlessAskedFor) {
    EXPECT_FALSE(DebugTracer::requestedBy(nullptr));
    EXPECT_FALSE(DebugTracer::requestedBy(""));
    EXPECT_FALSE(DebugTracer::requestedBy("0"));
    EXPECT_TRUE(DebugTracer::requestedBy("1"));

    const bool before = DebugTracer::isEnabled();
    DebugTracer::setEnabled(false);
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 1000; ++i)
        DebugTracer::addLogItem("TCP (re)start", 0);
    DebugTracer::finishTrace("", 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    DebugTracer::setEnabled(true);
    ::testing::internal::CaptureStderr();
    DebugTracer::initTrace("begin", 0);
    DebugTracer::addLogItem("Network change received", 0);
    const std::string trace = ::testing::internal::GetCapturedStderr();
    DebugTracer::setEnabled(before);
    EXPECT_NE(trace.find("begin"), std::string::npos);
    EXPECT_NE(trace.find("Network change received\n"), std::string::npos);
}

}  // namespace
}  // namespace corvaline
