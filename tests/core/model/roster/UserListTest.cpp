#include "core/model/roster/UserList.h"

#include <gtest/gtest.h>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/support/ModelTest.h"
#include "platform/notifications/NotificationCenter.h"

namespace corvaline {
namespace {

class UserListTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        messages_.sent.clear();
    }
    const Me& me() const { return *userList_->me(); }
    std::string mySession() const { return std::to_string(*me().sessionId()); }

    // A decoded presence packet as the presence service hands it over: nine fields, the
    // codec's trailer, the sender's address.
    static Packet presence(std::string type, std::string status, std::string id,
                           std::string addressee = "*", std::string name = "*",
                           std::string session = "12345", std::string ip = "10.0.0.2") {
        return Packet{std::move(type),
                      std::move(status),
                      "host-b",
                      std::move(id),
                      "*",
                      std::move(addressee),
                      "*",
                      std::move(name),
                      std::move(session),
                      "0",
                      "2",
                      std::move(ip)};
    }
    std::vector<std::string> requestsSent() const {
        std::vector<std::string> types;
        for (const auto& sent : messages_.sent) {
            types.push_back(std::string(sent.packet.text(0)) + " " + sent.to);
        }
        return types;
    }
};

TEST_F(UserListTest, MyOwnIdentityEchoesOrStopsTheServices) {
    EXPECT_EQ(
        userList_->UpdateUserDataWithUDP(presence("RL", "0", me().userId(), "*", "*", mySession())),
        userList_->me());
    EXPECT_EQ(userList_->UpdateUserDataWithUDP(presence("RL", "0", me().userId(), "*", "*", "*")),
              userList_->me());
    EXPECT_EQ(messages_.turnedOff, 0);

    EXPECT_EQ(userList_->UpdateUserDataWithUDP(presence("RL", "0", me().userId(), "*", "*", "7")),
              nullptr);
    EXPECT_EQ(messages_.turnedOff, 1);
    EXPECT_EQ(windows_.calls.back(), "stopped");
    userList_->signInButtonClicked();
    EXPECT_EQ(messages_.restarted, 1);
    EXPECT_EQ(windows_.calls.back(), "running");
}

TEST_F(UserListTest, PacketsForOthersAndMySessionsUserOutAreIgnored) {
    EXPECT_EQ(userList_->UpdateUserDataWithUDP(presence("SS", "0", "A200000001", "A999")), nullptr);
    EXPECT_EQ(userList_->getUserById("A200000001", std::nullopt), nullptr);  // nothing made

    auto known = userList_->getUserById("A200000002", "10.0.0.3");
    known->setName("Bob");
    EXPECT_EQ(userList_->UpdateUserDataWithUDP(
                  presence("UC", "0", "A200000002", "A999", "Robert", "5", "10.0.0.9")),
              nullptr);
    EXPECT_EQ(known->name(), "Bob");
    EXPECT_EQ(known->ip(), "10.0.0.3");

    known->setStatus("0");
    EXPECT_EQ(
        userList_->UpdateUserDataWithUDP(presence("UO", "0", "A200000002", "*", "*", mySession())),
        nullptr);
    EXPECT_FALSE(known->userOffline());
}

TEST_F(UserListTest, ANewUserFromAnRLIsMadeAskedAndSetOnline) {
    int offlineNotices = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "userChangedHisOfflineStatus", nullptr, [&](const Notification&) { ++offlineNotices; });
    auto user = userList_->UpdateUserDataWithUDP(presence("RL", "0", "A200000001", "*", "Ann"));
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->name(), "Ann");
    EXPECT_EQ(user->ip(), "10.0.0.2");
    EXPECT_EQ(user->pc(), "host-b");
    EXPECT_EQ(user->status(), "0");
    EXPECT_FALSE(user->userOffline());
    EXPECT_EQ(offlineNotices, 2);  // made offline, then online
    EXPECT_EQ(requestsSent(), std::vector<std::string>{"TRI A200000001"});
    EXPECT_EQ(user->group()->name(), "General");
    EXPECT_TRUE(userList_->someUsersExceptMeEverSeen());
}

TEST_F(UserListTest, StatusChangesOtherThanOnlineWaitForTheUserInformation) {
    auto user = userList_->UpdateUserDataWithUDP(presence("RL", "0", "A200000001"));
    messages_.endRequests();
    messages_.sent.clear();
    userList_->UpdateUserDataWithUDP(presence("SS", "1", "A200000001"));
    EXPECT_EQ(user->status(), "0");
    EXPECT_EQ(requestsSent(), std::vector<std::string>{"TRI A200000001"});

    user->setStatus("2");
    messages_.endRequests();
    messages_.sent.clear();
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A200000001"));
    EXPECT_EQ(user->status(), "2");  // a "UI" asks rather than trusting the status
    EXPECT_EQ(requestsSent(), std::vector<std::string>{"TRI A200000001"});
}

TEST_F(UserListTest, ANewUserFromAUIIsAskedOnce) {
    // Made offline and asked; the "UI" would ask again while the first is in flight.
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A200000001"));
    EXPECT_EQ(requestsSent(), std::vector<std::string>{"TRI A200000001"});
}

TEST_F(UserListTest, UserOutMarksOfflineOnce) {
    auto user = userList_->UpdateUserDataWithUDP(presence("RL", "0", "A200000001"));
    int notices = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "userChangedHisOfflineStatus", user.get(), [&](const Notification&) { ++notices; });
    userList_->UpdateUserDataWithUDP(presence("UO", "0", "A200000001"));
    userList_->UpdateUserDataWithUDP(presence("UO", "0", "A200000001"));
    EXPECT_TRUE(user->userOffline());
    EXPECT_EQ(notices, 1);
}

TEST_F(UserListTest, EveryUIPlaysTheOnlineSoundWhenAllowed) {
    setDefault("sounds.enabled", true);
    setDefault("sounds.onUserOnline", true);
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A200000001"));
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A200000001"));
    userList_->UpdateUserDataWithUDP(presence("RL", "0", "A200000001"));
    EXPECT_TRUE(windows_.calls.empty() || windows_.calls.back() != "play Online");  // not yet
    loop_.runPending();
    EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "play Online"), 2);
    setDefault("sounds.onUserOnline", false);
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A200000001"));
    loop_.runPending();
    EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "play Online"), 2);
}

TEST_F(UserListTest, GetUserByIdOutcomes) {
    EXPECT_EQ(userList_->getUserById("", "10.0.0.2"), nullptr);
    EXPECT_EQ(userList_->getUserById(me().userId(), std::nullopt), userList_->me());
    EXPECT_EQ(userList_->getUserById("A200000001", std::nullopt), nullptr);
    auto made = userList_->getUserById("A200000001", "10.0.0.2");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->userOffline());
    EXPECT_EQ(userList_->getUserById("A200000001", std::nullopt), made);
    made->setUserId("A200000009");  // found by its new id only
    EXPECT_EQ(userList_->getUserById("A200000001", std::nullopt), nullptr);
    EXPECT_EQ(userList_->getUserById("A200000009", std::nullopt), made);
}

TEST_F(UserListTest, AnOldLocalRecordBecomesAPlainUserWithItsHistory) {
    auto old = context_->insert<Me>();
    old->setUserId("A300000003");
    old->setName("Old me");
    old->setSessionId(77);
    for (int i = 0; i < 3; ++i) {
        auto message = context_->insert<Message>();
        message->setMessage("line " + std::to_string(i));
        message->addUserObject(*old);
        advance(1);
    }
    SaveAppContextIfChanged();
    restart();
    userList_->updateMe();

    auto user = userList_->getUserById("A300000003", "10.0.0.4");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->entity().name(), "User");
    EXPECT_EQ(user->name(), "Old me");
    EXPECT_EQ(user->sessionId(), 77);
    EXPECT_EQ(user->group()->name(), "General");
    EXPECT_EQ(user->logEntriesNumber(), 3u);
    EXPECT_EQ(context_->fetch<Me>().size(), 1u);
    SaveAppContextIfChanged();
    restart();
    auto again = userList_->getUserById("A300000003", std::nullopt);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->entity().name(), "User");
    const auto history = again->lastLogEnties(0);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(static_cast<Message&>(*history[0]).message(), "line 2");
}

TEST_F(UserListTest, RosterQueriesByTheirTwoFlags) {
    auto online = userList_->getUserById("A200000001", "10.0.0.2");
    online->setStatus("0");
    auto offline = userList_->getUserById("A200000002", "10.0.0.3");
    auto removed = userList_->getUserById("A200000003", "10.0.0.4");
    removed->setRemoved(true);
    auto ids = [&](bool withoutOffline, bool andMe) {
        std::vector<std::string> result;
        for (const auto& user : userList_->allUsersWithoutOffline(withoutOffline, andMe)) {
            result.push_back(user->userId());
        }
        std::sort(result.begin(), result.end());
        return result;
    };
    const std::string mine = me().userId();
    std::vector<std::string> all{mine, "A200000001", "A200000002", "A200000003"};
    std::sort(all.begin(), all.end());
    std::vector<std::string> onlineWithMe{mine, "A200000001"};
    std::sort(onlineWithMe.begin(), onlineWithMe.end());
    EXPECT_EQ(ids(true, true), std::vector<std::string>{"A200000001"});
    EXPECT_EQ(ids(true, false), onlineWithMe);
    EXPECT_EQ(ids(false, true), (std::vector<std::string>{"A200000001", "A200000002"}));
    EXPECT_EQ(ids(false, false), all);
    EXPECT_EQ(userList_->onlineUsersCount(), 1u);
    offline->setStatus("2");
    EXPECT_EQ(userList_->onlineUsersCount(), 2u);
}

TEST_F(UserListTest, GoingOfflineAnnouncesAndMarksEveryoneElseOffline) {
    auto online = userList_->UpdateUserDataWithUDP(presence("RL", "0", "A200000001"));
    presence_.broadcasts.clear();
    userList_->goOffline();
    ASSERT_EQ(presence_.broadcasts.size(), 1u);
    EXPECT_EQ(presence_.broadcasts[0].text(0), "UO");
    EXPECT_EQ(presence_.broadcasts[0].text(8), mySession());
    EXPECT_TRUE(online->userOffline());
    EXPECT_FALSE(me().userOffline());
}

TEST_F(UserListTest, NewGroupsAreNamedNewGroup) {
    EXPECT_EQ(userList_->AddNewGroup()->name(), "New Group");
}

}  // namespace
}  // namespace corvaline
