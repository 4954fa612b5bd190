#include "core/model/entities/User.h"

#include <gtest/gtest.h>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/support/ModelTest.h"
#include "platform/notifications/NotificationCenter.h"

namespace corvaline {
namespace {

class UserTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        loop_.runPending();
        windows_.calls.clear();
        messages_.sent.clear();
        presence_.broadcasts.clear();
    }
    std::shared_ptr<User> someone(const std::string& id = "A200000001") {
        auto user = userList_->getUserById(id, "10.0.0.2");
        messages_.endRequests();
        messages_.sent.clear();
        relay_.usersIn.clear();
        return user;
    }
    int offlineNotices(User& user, const std::function<void()>& action) {
        int count = 0;
        auto token = NotificationCenter::defaultCenter().addObserver(
            "userChangedHisOfflineStatus", &user, [&](const Notification&) { ++count; });
        action();
        return count;
    }
};

TEST_F(UserTest, StatusCodesAndTheirSideEffects) {
    const struct {
        const char* code;
        bool keepsStatusString;
        bool keepsIdleTime;
        bool offline;
        const char* icon;
        bool asksRelay;  // only coming online from offline delivers held messages
    } cases[] = {
        {"0", false, true, false, "Normal", false},
        {"1", true, false, false, "Dnd", false},
        {"2", true, true, false, "Away", false},
        {"10", true, false, true, "Offline", false},
    };
    for (const auto& c : cases) {
        auto user = someone();
        user->setStatus("0");
        user->setStatusString("out for lunch");
        user->setValue("idleTime", std::string("5000"));
        relay_.usersIn.clear();
        user->setStatus(c.code);
        EXPECT_EQ(!user->statusString().empty(), c.keepsStatusString) << c.code;
        EXPECT_EQ(user->idleTime().has_value(), c.keepsIdleTime) << c.code;
        EXPECT_EQ(user->userOffline(), c.offline) << c.code;
        EXPECT_EQ(user->icon(), c.icon) << c.code;
        EXPECT_EQ(relay_.usersIn.size(), c.asksRelay ? 1u : 0u) << c.code;
        EXPECT_EQ(user->status(), c.code);
    }
}

TEST_F(UserTest, OnlineTwicePostsAndAsksTheRelayOnceButStampsTwice) {
    auto user = someone();
    int notices = offlineNotices(*user, [&] {
        user->setStatus("0");
        const auto first = *user->seenLastTime();
        advance(3);
        user->setStatus("0");
        EXPECT_GT(*user->seenLastTime(), first);
    });
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(relay_.usersIn.size(), 1u);
}

TEST_F(UserTest, ARemovedUserComingOnlineReturnsToGeneral) {
    auto user = someone();
    user->setGroup(nullptr);
    user->setRemoved(true);
    user->setStatus("0");
    EXPECT_FALSE(user->removed());
    ASSERT_NE(user->group(), nullptr);
    EXPECT_EQ(user->group()->name(), "General");
}

TEST_F(UserTest, TypingNoticesAreAtMostTwoSecondsApart) {
    auto user = someone();
    user->sendIsTyping();
    advance(1);
    user->sendIsTyping();
    EXPECT_EQ(presence_.typingTo.size(), 1u);
    advance(2.5);
    user->sendIsTyping();
    EXPECT_EQ(presence_.typingTo, (std::vector<std::string>{"A200000001", "A200000001"}));
}

TEST_F(UserTest, GeneralIsMadeOnceAndTheListIsToldLater) {
    auto groups = context_->fetch<Group>();
    for (auto& group : groups) {
        context_->deleteObject(*group);
    }
    windows_.calls.clear();
    auto general = Group::general(*context_);
    EXPECT_EQ(Group::general(*context_), general);
    EXPECT_EQ(context_->fetch<Group>().size(), 1u);
    EXPECT_TRUE(windows_.calls.empty());
    loop_.runPending();
    EXPECT_EQ(windows_.calls, std::vector<std::string>{"expand General"});
}

TEST_F(UserTest, AskingForUserInformationSendsTRI) {
    auto user = someone();
    user->RequestUserInfo();
    ASSERT_EQ(messages_.sent.size(), 1u);
    const auto& me = *userList_->me();
    const auto& packet = messages_.sent[0].packet;
    EXPECT_EQ(messages_.sent[0].to, "A200000001");
    const std::vector<std::string> expected{"TRI", "*",          me.pc(), me.userId(),
                                            "*",   "A200000001", "*",     "*"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(packet.text(i), expected[i]) << i;
    }

    // One request in flight per user: the next waits for its end, whatever the outcome.
    user->RequestUserInfo();
    user->RequestUserInfo();
    EXPECT_EQ(messages_.sent.size(), 1u);
    user->setStatus("0");  // answered: nothing more is sent at its end
    messages_.endRequests();
    EXPECT_EQ(messages_.sent.size(), 1u);
    user->RequestUserInfo();
    EXPECT_EQ(messages_.sent.size(), 2u);
    user->setStatus("10");
    user->RequestUserInfo();
    messages_.endRequests();  // failed: the one asked for meanwhile goes now, once
    EXPECT_EQ(messages_.sent.size(), 3u);
    messages_.endRequests();
    EXPECT_EQ(messages_.sent.size(), 3u);
}

TEST_F(UserTest, ConversationIsOpenedOnceThenFrontedOnlyWhenAsked) {
    auto user = someone();
    user->StartConversation(true);
    EXPECT_EQ(windows_.calls.back(), "open A200000001 incoming");
    // An incoming message leaves the keyboard where it is, whatever the settings: its
    // pop-up brings the window forward as they say.
    for (const int minimize : {0, 1}) {
        setDefault("minimizeMessages", minimize);
        user->StartConversation(true);
        EXPECT_EQ(windows_.window->fronted, 0) << minimize;
    }
    user->StartConversation(false);
    EXPECT_EQ(windows_.window->fronted, 1);
}

TEST_F(UserTest, UsersLoadedAtStartBeginOfflineInAGroup) {
    auto user = someone();
    user->setStatus("0");
    user->setGroup(nullptr);
    SaveAppContextIfChanged();
    advance(1);
    restart();
    auto loaded = userList_->getUserById("A200000001", std::nullopt);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->userOffline());
    EXPECT_EQ(loaded->icon(), "Offline");
    ASSERT_NE(loaded->group(), nullptr);
    EXPECT_EQ(loaded->group()->name(), "General");
}

TEST_F(UserTest, UserInformationGoesOutAndComesBack) {
    auto user = someone();
    user->setStatus("0");
    auto info = user->userInfo();
    info.department = "R|D";
    info.firstName = "*";
    info.lastName = "";
    info.status = "2";
    user->applyUserInfo(info);
    EXPECT_EQ(user->userInfo().department, "R|D");
    EXPECT_EQ(user->userInfo().firstName, std::nullopt);
    EXPECT_EQ(user->status(), "2");
    EXPECT_EQ(user->icon(), "Away");
}

TEST_F(UserTest, MessageIdsHaveAtMostFourteenDigits) {
    for (int i = 0; i < 100; ++i) {
        const auto id = User::genInt64random();
        EXPECT_GE(id, 0);
        EXPECT_LT(id, 100000000000000LL);
    }
}

}  // namespace
}  // namespace corvaline
