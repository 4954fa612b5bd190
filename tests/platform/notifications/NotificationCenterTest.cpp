#include "platform/notifications/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/MainLoop.h"

namespace corvaline {
namespace {

struct Received {
    std::string who;
    std::string name;
    const void* object;
    bool operator==(const Received&) const = default;
};

TEST(NotificationCenterTest, DeliversByNameAndObjectFilter) {
    NotificationCenter center;
    const int alice = 0, bob = 0;
    std::vector<Received> received;
    auto record = [&](std::string who) {
        return [&received, who](const Notification& n) {
            received.push_back({who, std::string(n.name), n.object});
        };
    };
    auto any = center.addObserver("logUpdated", nullptr, record("any"));
    auto onlyAlice = center.addObserver("logUpdated", &alice, record("alice"));
    auto other = center.addObserver("userChangedHisName", nullptr, record("name"));

    center.post("logUpdated", &alice);
    center.post("logUpdated", &bob);
    center.post("userChangedHisName", &bob);
    center.post("nobodyListens");

    EXPECT_EQ(received, (std::vector<Received>{{"any", "logUpdated", &alice},
                                               {"alice", "logUpdated", &alice},
                                               {"any", "logUpdated", &bob},
                                               {"name", "userChangedHisName", &bob}}));
}

TEST(NotificationCenterTest, TokenEndsObservationAndMayOutliveTheCentre) {
    auto center = std::make_unique<NotificationCenter>();
    int calls = 0;
    auto removed = center->addObserver("n", nullptr, [&](const Notification&) { ++calls; });
    auto dropped = center->addObserver("n", nullptr, [&](const Notification&) { ++calls; });
    auto outliving = center->addObserver("n", nullptr, [&](const Notification&) { ++calls; });
    removed.remove();
    dropped = ObservationToken();
    center->post("n");
    EXPECT_EQ(calls, 1);

    center.reset();
    outliving.remove();  // the centre is gone; must do nothing
}

TEST(NotificationCenterTest, ObserversMayRemoveThemselvesAndOthersDuringDelivery) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObservationToken first, second, late;
    first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("first");
        first.remove();
        second.remove();
        late =
            center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("late"); });
    });
    second =
        center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });

    center.post("n");
    EXPECT_EQ(calls, std::vector<std::string>{"first"});
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "late"}));
}

TEST(NotificationCenterTest, PostFromAnyThreadDeliversOnTheMainQueue) {
    MainLoop mainQueue;
    auto center = std::make_unique<NotificationCenter>();
    const int sender = 0;
    std::vector<const void*> objects;
    auto token = center->addObserver("n", &sender,
                                     [&](const Notification& n) { objects.push_back(n.object); });

    std::thread([&] { center->postFromAnyThread(mainQueue, "n", &sender); }).join();
    EXPECT_TRUE(objects.empty());
    mainQueue.runPending();
    EXPECT_EQ(objects, std::vector<const void*>{&sender});

    // A notification still queued when its centre goes away is dropped.
    center->postFromAnyThread(mainQueue, "n", &sender);
    center.reset();
    mainQueue.runPending();
    EXPECT_EQ(objects.size(), 1u);
}

}  // namespace
}  // namespace corvaline
