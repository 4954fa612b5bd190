#include "platform/runloop/MainLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace corvaline {
namespace {

using namespace std::chrono_literals;

TEST(MainLoop, RunsPostsInOrderAndTimersByFireDate) {
    MainLoop loop;
    std::vector<std::string> seen;
    loop.postAfter(Duration(0.02), [&] { seen.push_back("late"); });
    loop.postAfter(Duration(0.01), [&] { seen.push_back("early"); });
    loop.post([&] { seen.push_back("a"); });
    loop.post([&] { seen.push_back("b"); });
    EXPECT_TRUE(loop.runUntil([&] { return seen.size() == 4; }, Duration(10)));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "early", "late"}));
}

TEST(MainLoop, PostsFromOtherThreadsWakeTheLoop) {
    MainLoop loop;
    std::atomic<bool> seen{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(10ms);
        loop.post([&] {
            seen = true;
            EXPECT_TRUE(loop.isCurrent());
        });
    });
    EXPECT_TRUE(loop.runUntil([&] { return seen.load(); }, Duration(10)));
    poster.join();
}

TEST(MainLoop, StopEndsRun) {
    MainLoop loop;
    loop.postAfter(Duration(0.01), [&] { loop.stop(); });
    loop.run();
    SUCCEED();
}

TEST(MainLoop, RunUntilGivesUpAtTheDeadline) {
    auto clock = std::make_shared<VirtualClock>();
    MainLoop loop(clock);
    auto start = loop.now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, Duration(30)));
    EXPECT_GE(loop.now() - start, std::chrono::seconds(30));
}

TEST(MainLoop, CancelledAndMovedTimersOnVirtualTime) {
    auto clock = std::make_shared<VirtualClock>();
    MainLoop loop(clock);
    auto start = loop.now();
    std::vector<std::pair<std::string, double>> fired;
    auto at = [&](std::string name) {
        return [&, name] {
            fired.emplace_back(name, std::chrono::duration<double>(loop.now() - start).count());
        };
    };
    auto cancelled = loop.postAfter(Duration(2), at("cancelled"));
    auto debounce = loop.postAfter(Duration(5), at("debounce"));
    loop.postAfter(Duration(3), [&] { debounce.reschedule(Duration(5)); });  // now due at 8 s
    loop.postAfter(Duration(1), [&] { cancelled.cancel(); });
    EXPECT_FALSE(loop.runUntil([] { return false; }, Duration(20)));
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].first, "debounce");
    EXPECT_NEAR(fired[0].second, 8.0, 1e-6);
    EXPECT_FALSE(debounce.isScheduled());
    EXPECT_FALSE(cancelled.isScheduled());
}

TEST(MainLoop, RepeatingTimerRunsAPresenceCycleOnVirtualTime) {
    auto clock = std::make_shared<VirtualClock>();
    MainLoop loop(clock);
    int refreshes = 0;
    auto refresh = loop.repeating(Duration(360), [&] { ++refreshes; });
    EXPECT_FALSE(loop.runUntil([] { return false; }, Duration(3600)));
    EXPECT_EQ(refreshes, 10);
    refresh.cancel();
    EXPECT_FALSE(loop.runUntil([] { return false; }, Duration(3600)));
    EXPECT_EQ(refreshes, 10);
}

TEST(MainLoop, ATimerThatOutlivesItsLoopIsHarmless) {
    TimerHandle handle;
    {
        MainLoop loop;
        handle = loop.postAfter(Duration(1), [] {});
    }
    handle.cancel();
    handle.reschedule(Duration(1));
    EXPECT_FALSE(handle.isScheduled());
}

}  // namespace
}  // namespace corvaline
