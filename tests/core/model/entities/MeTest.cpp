#include "core/model/entities/Me.h"

#include <gtest/gtest.h>

#include "core/model/entities/Group.h"
#include "core/model/support/ModelTest.h"
#include "platform/notifications/NotificationCenter.h"

namespace corvaline {
namespace {

class MeTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        setDefault("awayMessage", "away from the desk");
        setDefault("busyMessage", "in a meeting");
        setDefault("autoAwayMinutes", 10);
        setDefault("autoAwayEnabled", false);
        setDefault("sreensaverAwayEnabled", false);
        userList_->updateMe();
        loop_.runPending();
        presence_.broadcasts.clear();
        presence_.refreshes = 0;
        windows_.calls.clear();
    }
    Me& me() { return *userList_->me(); }
    void idleFor(double seconds) {
        activity_.idleSeconds = seconds;
        advance(1.0);
        loop_.runUntil([] { return false; }, Duration(1.0));
    }
};

TEST_F(MeTest, FirstStartMakesTheLocalUserAndLaterStartsFindIt) {
    EXPECT_EQ(me().userId(), Me::defaultUserId());
    EXPECT_EQ(me().group()->name(), "General");
    EXPECT_EQ(me().status(), "0");
    EXPECT_EQ(me().ip(), "127.0.0.1");
    EXPECT_EQ(me().color(), "gray");
    EXPECT_EQ(me().version(), CORVALINE_VERSION);
    ASSERT_TRUE(me().sessionId());
    const auto session = *me().sessionId();
    me().setStatus("1");
    SaveAppContextIfChanged();
    restart();
    userList_->updateMe();
    EXPECT_EQ(*me().sessionId(), session);
    EXPECT_EQ(me().status(), "1");  // kept over a restart
    EXPECT_EQ(context_->fetch<Me>().size(), 1u);
}

TEST_F(MeTest, StatusAnnouncementsAndTheirTexts) {
    me().setStatus("10");
    EXPECT_EQ(me().status(), "0");
    EXPECT_TRUE(presence_.broadcasts.empty());
    EXPECT_TRUE(windows_.calls.empty());

    me().setStatus("2");
    EXPECT_EQ(me().statusString(), "away from the desk");
    ASSERT_EQ(presence_.broadcasts.size(), 1u);
    const auto& ss = presence_.broadcasts[0];
    const std::vector<std::string> expected{
        "SS", "2", me().pc(), me().userId(), "*", "*", "*", "*", std::to_string(*me().sessionId())};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ss.text(i), expected[i]) << i;
    }
    EXPECT_EQ(windows_.calls, (std::vector<std::string>{"dock Away", "tray AppIcon"}));
    me().setStatus("1");
    EXPECT_EQ(me().statusString(), "in a meeting");
}

TEST_F(MeTest, NameChangesAreAnnouncedOnlyWhenTheyChangeSomething) {
    me().setName("Ann");
    presence_.broadcasts.clear();
    int notices = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "userChangedHisName", &me(), [&](const Notification&) { ++notices; });
    me().setName("Ann");
    EXPECT_TRUE(presence_.broadcasts.empty());
    EXPECT_EQ(notices, 0);

    me().setName("Anna");
    ASSERT_EQ(presence_.broadcasts.size(), 1u);
    EXPECT_EQ(presence_.broadcasts[0].text(0), "UC");
    EXPECT_EQ(presence_.broadcasts[0].text(6), "Ann");
    EXPECT_EQ(presence_.broadcasts[0].text(7), "Anna");
    EXPECT_EQ(notices, 1);

    me().setName("");  // a packet with an empty field is not built
    EXPECT_EQ(presence_.broadcasts.size(), 1u);
    EXPECT_EQ(me().name(), "");
}

TEST_F(MeTest, AwayAfterTheIdleMinutesAndBackToTheEarlierStatus) {
    me().setStatus("1");
    setDefault("autoAwayEnabled", true);
    EXPECT_TRUE(me().autoAwayEnabled());
    idleFor(600);
    EXPECT_EQ(me().status(), "1");
    EXPECT_EQ(me().idleTime(), std::nullopt);

    idleFor(601);
    EXPECT_EQ(me().status(), "2");
    EXPECT_TRUE(me().inIdleAway());
    EXPECT_EQ(me().idleTime(), "601000");
    EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "statusMatrix"), 1);

    idleFor(3);
    EXPECT_EQ(me().status(), "1");
    EXPECT_EQ(me().statusString(), "in a meeting");
    EXPECT_FALSE(me().inIdleAway());
    EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "statusMatrix"), 2);

    setDefault("autoAwayEnabled", false);
    idleFor(1000);
    EXPECT_EQ(me().status(), "1");
}

TEST_F(MeTest, TheScreensaverRuleAppliesOnlyWhenSwitchedOn) {
    me().screensaverDid(true);
    EXPECT_EQ(me().status(), "0");
    me().screensaverDid(false);

    setDefault("sreensaverAwayEnabled", true);
    me().screensaverDid(true);
    EXPECT_EQ(me().status(), "2");
    me().screensaverDid(false);
    EXPECT_EQ(me().status(), "0");
}

TEST_F(MeTest, ANewUserIdIsAnnouncedAsLeavingAndArriving) {
    const std::string old = me().userId();
    me().setUserId("A111111111");
    ASSERT_EQ(presence_.broadcasts.size(), 1u);
    EXPECT_EQ(presence_.broadcasts[0].text(0), "UO");
    EXPECT_EQ(presence_.broadcasts[0].text(3), old);
    EXPECT_EQ(presence_.refreshes, 1);
    EXPECT_FALSE(context_->hasChanges());
}

}  // namespace
}  // namespace corvaline
