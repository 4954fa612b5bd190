#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/runloop/MainLoop.h"
#include "platform/system/ClockChangeMonitor.h"
#include "platform/system/NetworkChangeMonitor.h"
#include "platform/system/PowerMonitor.h"

namespace corvaline {
namespace {

// Runs inside the test's own network namespace (see tests/support/in-netns).
TEST(NetworkChangeMonitor, ReportsAnInterfaceThatAppears) {
    MainLoop loop;
    int notices = 0;
    auto monitor = NetworkChangeMonitor::start(loop, [&] {
        EXPECT_TRUE(loop.isCurrent());
        ++notices;
    });
    ASSERT_TRUE(monitor);
    ASSERT_EQ(std::system("ip link add cvltest0 type veth peer name cvltest0p && "
                          "ip addr add 10.250.0.1/24 dev cvltest0 "
                          "&& ip link set cvltest0 up"),
              0);
    EXPECT_TRUE(loop.runUntil([&] { return notices > 0; }, Duration(10)));
    std::system("ip link del cvltest0");
}

TEST(NetworkChangeMonitor, DeliversNothingAfterItIsGone) {
    MainLoop loop;
    int notices = 0;
    auto monitor = NetworkChangeMonitor::start(loop, [&] { ++notices; });
    ASSERT_TRUE(monitor);
    ASSERT_EQ(std::system(
                  "ip link add cvltest1 type veth peer name cvltest1p && ip link set cvltest1 up"),
              0);
    monitor.reset();
    loop.runUntil([] { return false; }, Duration(0.2));
    EXPECT_EQ(notices, 0);
    std::system("ip link del cvltest1");
}

TEST(SystemMonitors, StartOrStayQuiet) {
    MainLoop loop;
    EXPECT_TRUE(ClockChangeMonitor::start(loop, [] {}));
    // Test machines rarely run logind; either way starting must not throw or block.
    auto power = PowerMonitor::start(loop, [](bool) {});
    if (power) {
        power->allowSleep();
    }
}

}  // namespace
}  // namespace corvaline
