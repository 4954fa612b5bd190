#include "platform/dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/Runtime.h"
#include "support/Signal.h"

namespace corvaline::dispatch {
namespace {

using corvaline::testing::Signal;

TEST(SerialQueue, KeepsOrderAcrossAsyncAndSyncFromOneThread) {
    auto queue = SerialQueue::create("order");
    std::vector<int> seen;  // touched only on the queue
    for (int i = 0; i < 1000; ++i) {
        if (i % 7 == 0) {
            queue->sync([&, i] { seen.push_back(i); });
        } else {
            queue->async([&, i] { seen.push_back(i); });
        }
    }
    queue->sync([] {});
    ASSERT_EQ(seen.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(seen[i], i);
    }
}

// What the block queues runs on the caller, in order and as the queue's own, before the call
// returns: no worker is needed. What is queued beyond a turn's worth runs after it.
TEST(SerialQueue, SyncAndRunQueuedRunsWhatTheBlockQueuedOnTheCaller) {
    auto queue = SerialQueue::create("caller");
    const auto caller = std::this_thread::get_id();
    std::vector<int> seen;  // touched only on the queue
    std::atomic<bool> inCall = true;
    std::atomic<int> duringCall = 0;
    constexpr int kQueued = 40;  // more than a turn
    queue->syncAndRunQueued([&] {
        for (int i = 0; i < kQueued; ++i) {
            queue->async([&, i] {
                EXPECT_TRUE(queue->isCurrent());
                if (inCall && std::this_thread::get_id() == caller) {
                    ++duringCall;
                }
                seen.push_back(i);
            });
        }
    });
    inCall = false;
    queue->sync([] {});
    EXPECT_GT(duringCall, 1);
    EXPECT_LT(duringCall, kQueued);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kQueued));
    for (int i = 0; i < kQueued; ++i) {
        EXPECT_EQ(seen[i], i);
    }
}

TEST(SerialQueue, NeverRunsTwoBlocksOfOneQueueAtOnce) {
    auto queue = SerialQueue::create("exclusive");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> ran{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 6; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                auto block = [&] {
                    if (inside.fetch_add(1) != 0) {
                        ++overlaps;
                    }
                    std::this_thread::yield();
                    inside.fetch_sub(1);
                    ++ran;
                };
                if ((i + t) % 5 == 0) {
                    queue->sync(block);
                } else {
                    queue->async(block);
                }
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    queue->sync([] {});
    EXPECT_EQ(ran.load(), 3000);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(SerialQueue, SyncRunsInlineOnItsOwnQueueAndDownAChainOfSyncs) {
    auto first = SerialQueue::create("first");
    auto second = SerialQueue::create("second");
    bool reachedInner = false;
    first->sync([&] {
        EXPECT_TRUE(first->isCurrent());
        first->sync([&] {
            second->sync([&] {
                EXPECT_TRUE(second->isCurrent());
                first->sync([&] { reachedInner = true; });
            });
        });
    });
    EXPECT_TRUE(reachedInner);
    EXPECT_FALSE(first->isCurrent());
}

TEST(SerialQueue, SyncFromTheQueueItselfInsideAsyncDoesNotDeadlock) {
    auto queue = SerialQueue::create("self");
    Signal done;
    queue->async([&] { queue->sync([&] { done.raise(); }); });
    EXPECT_TRUE(done.waitFor());
}

// An object owned only by a block may close itself on its queue when the block lets it go.
TEST(SerialQueue, ABlocksCapturesAreReleasedWhileItsQueueIsCurrent) {
    auto queue = SerialQueue::create("captures");
    struct Owned {
        Owned(SerialQueue& queue, Signal& released, bool& wasCurrent)
            : queue(queue), released(released), wasCurrent(wasCurrent) {}
        SerialQueue& queue;
        Signal& released;
        bool& wasCurrent;
        ~Owned() {
            wasCurrent = queue.isCurrent();
            released.raise();
        }
    };
    Signal released;
    bool wasCurrent = false;
    auto owned = std::make_shared<Owned>(*queue, released, wasCurrent);
    queue->async([owned = std::move(owned)] {});
    ASSERT_TRUE(released.waitFor());
    EXPECT_TRUE(wasCurrent);
}

// Every worker of the small pool blocks in `sync` while the queue it waits for still needs a turn
// on that pool: only the waiting threads themselves can run it.
TEST(SerialQueue, SyncFromEveryWorkerNeverWaitsForAWorker) {
    struct Case {
        const char* name;
        bool targetSyncsOnward;  // the target holds a worker too and its block syncs onward
    };
    for (const Case& c : {Case{"target's turn queued behind the held workers", false},
                          Case{"target's block syncs onto a queue whose turn is queued", true}}) {
        SCOPED_TRACE(c.name);
        const unsigned workers = Runtime::shared()->threadCount();
        auto target = SerialQueue::create("target");
        auto onward = SerialQueue::create("onward");
        std::vector<std::shared_ptr<SerialQueue>> callers;
        Signal held;
        Signal gate;
        Signal finished;
        std::atomic<unsigned> ran{0};
        for (unsigned i = 0; i < workers; ++i) {
            const bool isTarget = c.targetSyncsOnward && i == 0;
            auto& queue = isTarget ? target : callers.emplace_back(SerialQueue::create("caller"));
            queue->async([&, isTarget] {
                held.raise();
                gate.waitFor();
                (isTarget ? onward : target)->sync([&] { ++ran; });
                finished.raise();
            });
        }
        ASSERT_TRUE(held.waitFor(static_cast<int>(workers)));
        (c.targetSyncsOnward ? onward : target)->async([&] { ++ran; });  // waits for a worker
        gate.raise();
        ASSERT_TRUE(finished.waitFor(static_cast<int>(workers)));
        EXPECT_EQ(ran.load(), workers + 1);
    }
}

TEST(SerialQueue, SpecificKeysAreSeenOnlyWhileRunningMarkedQueues) {
    static const int key = 0;
    auto socketQueue = SerialQueue::create("socket");
    auto targetQueue = SerialQueue::create("target");
    auto otherQueue = SerialQueue::create("other");
    int owner = 42;
    socketQueue->setSpecific(&key, &owner);

    EXPECT_EQ(SerialQueue::getSpecific(&key), nullptr);
    socketQueue->sync([&] { EXPECT_EQ(SerialQueue::getSpecific(&key), &owner); });
    otherQueue->sync([&] { EXPECT_EQ(SerialQueue::getSpecific(&key), nullptr); });

    targetQueue->setSpecific(&key, &owner);  // marking a target queue
    targetQueue->sync([&] { EXPECT_EQ(SerialQueue::getSpecific(&key), &owner); });
    targetQueue->setSpecific(&key, nullptr);  // and unmarking it
    targetQueue->sync([&] { EXPECT_EQ(SerialQueue::getSpecific(&key), nullptr); });
}

}  // namespace
}  // namespace corvaline::dispatch
