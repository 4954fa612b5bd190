#include "app/runloop/QtExecutor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

namespace corvaline::app {
namespace {

using namespace std::chrono_literals;

// Runs Qt's loop until the predicate holds or `limit` has passed; answers the predicate.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

TEST(QtExecutorTest, BlocksPostedFromManyThreadsRunOnTheGuiThreadInEachThreadsOrder) {
    QtExecutor main;
    constexpr int kThreads = 4;
    constexpr int kBlocks = 200;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> offThread = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kBlocks; ++i) {
                main.post([&, t, i] {
                    if (!main.isCurrent()) {
                        ++offThread;
                    }
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(spinUntil([&] {
        return std::all_of(seen.begin(), seen.end(),
                           [](const auto& blocks) { return blocks.size() == kBlocks; });
    }));
    for (const auto& blocks : seen) {
        EXPECT_TRUE(std::is_sorted(blocks.begin(), blocks.end()));
    }
    EXPECT_EQ(offThread, 0);
    EXPECT_TRUE(main.isCurrent());
}

TEST(QtExecutorTest, PostNeverRunsInline) {
    QtExecutor main;
    bool ran = false;
    main.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(spinUntil([&] { return ran; }));
}

TEST(QtExecutorTest, AFloodOfBlocksLetsTheLoopServeItsTimersOnTheWay) {
    QtExecutor main;
    constexpr int kBlocks = 300;  // each at least 0.5 ms: many slices in all
    int ran = 0;
    int followUps = 0;
    for (int i = 0; i < kBlocks; ++i) {
        main.post([&] {
            QElapsedTimer busy;
            busy.start();
            while (busy.nsecsElapsed() < 500'000) {
            }
            ++ran;
            main.post([&] { ++followUps; });  // blocks that post ask for no slice of their own
        });
    }
    // The most blocks that ran between two turns of the loop.
    int atTurn = 0;
    int mostPerTurn = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        mostPerTurn = std::max(mostPerTurn, ran - atTurn);
        atTurn = ran;
    });
    turns.start(0);
    ASSERT_TRUE(spinUntil([&] { return followUps == kBlocks; }, 30s));
    EXPECT_LT(mostPerTurn, kBlocks / 2);
}

TEST(QtExecutorTest, ABlockRunningALoopOfItsOwnLetsTheBlocksPostedMeanwhileRun) {
    QtExecutor main;
    bool innerRan = false;
    bool ranInside = false;
    main.post([&] {
        main.post([&] { innerRan = true; });
        ranInside = spinUntil([&] { return innerRan; }, 5s);  // as a modal dialog's loop
    });
    ASSERT_TRUE(spinUntil([&] { return innerRan; }));
    EXPECT_TRUE(ranInside);
}

TEST(QtExecutorTest, OneShotTimerFiresOnceAndItsHandleMayBeDropped) {
    QtExecutor main;
    int fired = 0;
    const auto started = main.now();
    Clock::time_point firedAt;
    main.postAfter(0.05s, [&] {
        ++fired;
        firedAt = main.now();
    });  // the handle goes at once: the timer stays
    ASSERT_TRUE(spinUntil([&] { return fired == 1; }));
    EXPECT_GE(firedAt - started, 45ms);
    spinUntil([] { return false; }, 150ms);
    EXPECT_EQ(fired, 1);
}

TEST(QtExecutorTest, CancelledTimerNeverFiresAndRescheduleMovesIt) {
    QtExecutor main;
    int cancelled = 0;
    auto never = main.postAfter(0.03s, [&] { ++cancelled; });
    EXPECT_TRUE(never.isScheduled());
    never.cancel();
    EXPECT_FALSE(never.isScheduled());

    int moved = 0;
    auto later = main.postAfter(5s, [&] { ++moved; });
    later.reschedule(0.02s);
    ASSERT_TRUE(spinUntil([&] { return moved == 1; }, 2s));
    EXPECT_FALSE(later.isScheduled());
    // A fired one-shot timer is armed again by reschedule.
    later.reschedule(0.01s);
    EXPECT_TRUE(later.isScheduled());
    ASSERT_TRUE(spinUntil([&] { return moved == 2; }, 2s));
    EXPECT_EQ(cancelled, 0);
}

TEST(QtExecutorTest, RepeatingTimerRunsUntilItCancelsItself) {
    QtExecutor main;
    int ticks = 0;
    TimerHandle timer;
    timer = main.repeating(0.01s, [&] {
        if (++ticks == 3) {
            timer.cancel();
        }
    });
    ASSERT_TRUE(spinUntil([&] { return ticks == 3; }));
    spinUntil([] { return false; }, 100ms);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.isScheduled());
}

TEST(QtExecutorTest, RepeatingTimerMovedOnceKeepsItsInterval) {
    QtExecutor main;
    std::vector<Clock::time_point> ticks;
    auto timer = main.repeating(10s, [&] { ticks.push_back(main.now()); });
    timer.reschedule(0.01s);  // first firing soon, then every 10 s again
    ASSERT_TRUE(spinUntil([&] { return ticks.size() == 1; }));
    spinUntil([] { return false; }, 200ms);
    EXPECT_EQ(ticks.size(), 1u);
    EXPECT_TRUE(timer.isScheduled());
    timer.cancel();
}

TEST(QtExecutorTest, NonFiniteOrHugeDelaysNeverFire) {
    QtExecutor main;
    int fired = 0;
    auto endless =
        main.postAfter(Duration(std::numeric_limits<double>::infinity()), [&] { ++fired; });
    auto century = main.postAfter(Duration(3.0e9), [&] { ++fired; });
    spinUntil([] { return false; }, 50ms);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(endless.isScheduled());
    EXPECT_TRUE(century.isScheduled());
}

TEST(QtExecutorTest, TimersAndBlocksOfAnExecutorThatIsGoneDoNothing) {
    int fired = 0;
    TimerHandle kept;
    {
        QtExecutor main;
        kept = main.postAfter(0.01s, [&] { ++fired; });
        main.post([&] { ++fired; });
    }
    spinUntil([] { return false; }, 50ms);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(kept.isScheduled());
    kept.reschedule(0.01s);  // harmless
    kept.cancel();
}

}  // namespace
}  // namespace corvaline::app

namespace corvaline::app {
namespace {

TEST(QtExecutorTest, AClosedExecutorDropsWhatWaitsAndTakesNothingNew) {
    QtExecutor main;
    int ran = 0;
    main.post([&] { ++ran; });
    auto timer = main.postAfter(std::chrono::milliseconds(1), [&] { ++ran; });
    main.close();
    EXPECT_FALSE(timer.isScheduled());
    main.post([&] { ++ran; });
    EXPECT_FALSE(main.postAfter(Duration(0), [&] { ++ran; }));
    EXPECT_TRUE(main.isCurrent());
    spinUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(ran, 0);
}

}  // namespace
}  // namespace corvaline::app
