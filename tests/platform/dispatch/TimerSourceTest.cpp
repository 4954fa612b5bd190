#include "platform/dispatch/TimerSource.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "support/Signal.h"

namespace corvaline::dispatch {
namespace {

using corvaline::testing::Signal;
using Seconds = TimerSource::Seconds;

struct TimerFixture : ::testing::Test {
    std::shared_ptr<SerialQueue> queue = SerialQueue::create("timer");
    std::shared_ptr<TimerSource> timer = TimerSource::create(queue);
    Signal fired;
    void SetUp() override {
        timer->setEventHandler([this] { fired.raise(); });
    }
    void TearDown() override { timer->cancel(); }
    void settle() {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        queue->sync([] {});
    }
};

TEST_F(TimerFixture, OneShotFiresOnce) {
    timer->setTimer(Seconds(0.01));
    timer->resume();
    ASSERT_TRUE(fired.waitFor(1));
    settle();
    EXPECT_EQ(fired.count(), 1);
}

TEST_F(TimerFixture, RearmingReplacesTheEarlierTime) {
    timer->setTimer(Seconds(0.01));
    timer->setTimer(Seconds(3600));
    timer->resume();
    settle();
    EXPECT_EQ(fired.count(), 0);
    timer->setTimer(Seconds(0.01));
    EXPECT_TRUE(fired.waitFor(1));
}

TEST_F(TimerFixture, RepeatsUntilCancelled) {
    Signal cancelled;
    timer->setCancelHandler([&] { cancelled.raise(); });
    timer->setTimer(Seconds(0.005), Seconds(0.005));
    timer->resume();
    ASSERT_TRUE(fired.waitFor(3));
    timer->cancel();
    ASSERT_TRUE(cancelled.waitFor(1));
    int count = fired.count();
    settle();
    EXPECT_EQ(fired.count(), count);
}

TEST_F(TimerFixture, HugeOrNonFiniteTimesNeverFire) {
    for (double never : {std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(), 1e300}) {
        timer->setTimer(Seconds(never));
    }
    timer->resume();
    settle();
    EXPECT_EQ(fired.count(), 0);
}

TEST_F(TimerFixture, AFiringWhileSuspendedArrivesAfterResume) {
    timer->setTimer(Seconds(0.005));  // a new timer starts suspended
    settle();
    EXPECT_EQ(fired.count(), 0);
    timer->resume();
    EXPECT_TRUE(fired.waitFor(1));
}

TEST_F(TimerFixture, CancelBeforeFiringMeansNoFiring) {
    timer->setTimer(Seconds(0.02));
    timer->resume();
    timer->cancel();
    settle();
    EXPECT_EQ(fired.count(), 0);
}

}  // namespace
}  // namespace corvaline::dispatch
