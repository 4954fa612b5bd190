#include "platform/dispatch/Runtime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/Signal.h"

namespace corvaline::dispatch {
namespace {

using corvaline::testing::Signal;

// Tasks come in bursts from several threads while the workers sleep, wait in the reactor or
// are busy: none is lost, whatever the hints say. A continuation handed over by a thread that
// runs no handler still needs a worker woken for it.
TEST(Runtime, EveryTaskRunsWhereverItWasHandedOverFrom) {
    const struct {
        const char* name;
        Runtime::TaskHints hints;
    } cases[] = {
        {"plain", {}},
        {"continuation from outside a handler", {.continuesHandler = true}},
        {"may run long", {.mayRunLong = true}},
    };
    Runtime runtime(2);
    constexpr int kPosters = 4;
    constexpr int kBursts = 20;
    constexpr int kPerBurst = 25;
    constexpr int kTotal = kPosters * kBursts * kPerBurst;
    std::atomic<int> ran{0};
    Signal allRan;
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int burst = 0; burst < kBursts; ++burst) {
                for (int i = 0; i < kPerBurst; ++i) {
                    const auto& c = cases[(p + burst + i) % std::size(cases)];
                    runtime.post(
                        [&] {
                            if (++ran == kTotal) {
                                allRan.raise();
                            }
                        },
                        c.hints);
                }
                // Long enough for the workers to go back to sleep and to the reactor.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(allRan.waitFor());
    EXPECT_EQ(ran.load(), kTotal);
}

// A task that a task hands over runs beside it on another worker: a block waiting for another
// queue's work does not hold that work up.
TEST(Runtime, ATaskHandedOverByABusyWorkerRunsBesideIt) {
    Runtime runtime(2);
    Signal inner, outerDone;
    std::atomic<bool> innerRanMeanwhile{false};
    runtime.post(
        [&] {
            runtime.post([&] { inner.raise(); }, {});
            innerRanMeanwhile = inner.waitFor(1, std::chrono::seconds(5));
            outerDone.raise();
        },
        {});
    ASSERT_TRUE(outerDone.waitFor());
    EXPECT_TRUE(innerRanMeanwhile.load());
}

}  // namespace
}  // namespace corvaline::dispatch
