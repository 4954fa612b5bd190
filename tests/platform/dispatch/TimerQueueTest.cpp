#include "platform/dispatch/TimerQueue.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>

#include "platform/dispatch/Runtime.h"
#include "support/Signal.h"

namespace corvaline::dispatch {
namespace {

using corvaline::testing::Signal;
using std::chrono::milliseconds;

// Deadlines fire in their order whatever the order they came in, one that comes in before the
// pending wait's fires at its own time, and one taken back never fires.
TEST(TimerQueue, FiresDeadlinesInOrderAndNotThoseTakenBack) {
    Runtime runtime(2);
    TimerQueue& timers = runtime.timers();
    std::mutex mutex;
    std::string order;
    Signal fired;
    const auto start = TimerQueue::Clock::now();
    const struct {
        char name;
        int afterMs;
        bool takenBack;
    } cases[] = {{'a', 1500, false}, {'b', 30, false}, {'c', 90, true}, {'d', 120, false}};
    TimerQueue::Clock::time_point firedAt[4]{};
    std::vector<TimerQueue::Id> ids;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ids.push_back(timers.add(start + milliseconds(cases[i].afterMs), [&, i] {
            std::lock_guard lock(mutex);
            order += cases[i].name;
            firedAt[i] = TimerQueue::Clock::now();
            fired.raise();
        }));
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].takenBack) {
            timers.remove(ids[i]);
        }
    }
    ASSERT_TRUE(fired.waitFor(3));
    std::this_thread::sleep_for(milliseconds(50));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, "bda");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (!cases[i].takenBack) {
            EXPECT_GE(firedAt[i] - start, milliseconds(cases[i].afterMs)) << cases[i].name;
        }
    }
    EXPECT_LT(firedAt[1] - start, milliseconds(1000)) << "b waited for a's deadline";
}

// A deadline added from another thread while a worker already waits in the reactor for a
// later one fires at its own time: the adding thread moves the reactor's timer itself.
TEST(TimerQueue, AnEarlierDeadlineFromAnotherThreadFiresWhileAWorkerWaits) {
    Signal late, early;
    Runtime runtime(2);
    TimerQueue& timers = runtime.timers();
    timers.add(TimerQueue::Clock::now() + std::chrono::seconds(30), [&] { late.raise(); });
    std::this_thread::sleep_for(milliseconds(30));  // the workers settle: one waits
    std::thread([&] {
        timers.add(TimerQueue::Clock::now() + milliseconds(20), [&] { early.raise(); });
    }).join();
    EXPECT_TRUE(early.waitFor(1, std::chrono::seconds(10)));
    EXPECT_EQ(late.count(), 0);
}

}  // namespace
}  // namespace corvaline::dispatch
