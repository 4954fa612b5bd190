#include "core/codec/UserInfoRecord.h"

#include <gtest/gtest.h>

#include "core/codec/CodecFixture.h"

namespace corvaline {
namespace {

std::vector<std::string> slotsOf(const std::string& record) {
    std::vector<std::string> slots;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = record.find('|', start);
        slots.push_back(record.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) {
            return slots;
        }
        start = bar + 1;
    }
}

UserInfo fullUser() {
    UserInfo user;
    user.pc = "host";
    user.logonUser = "ann";
    user.version = "0.1.0";
    user.statusString = "back soon";
    user.firstName = "Ann";
    user.lastName = "Lee";
    user.jobTitle = "Chemist";
    user.additionalInformation = "Room 4";
    user.department = "R|D";
    user.status = "2";
    user.idleTime = "601000";
    user.isOnTS = "0";
    user.oSversion = "Debian GNU/Linux 12";
    user.tsClientIP = "10.0.0.1";
    user.tsServerIP = "10.0.0.2";
    user.tsClientPCname = "thin";
    user.tsConnectionState = "1";
    return user;
}

TEST(UserInfoRecordTest, WritesTwentyThreeSlotsWithDefaultsAndLiterals) {
    UserInfo user;
    user.pc = "host";
    user.status = "0";
    const std::string record = UserInfoPacketFromUser(user);
    EXPECT_EQ(record, "21|host|*|*|0|*|*|||||0||0|*|*|*|*|*|*|*|*|");
    const auto slots = slotsOf(record);
    ASSERT_EQ(slots.size(), 23u);
    EXPECT_EQ(slots[7], "");    // firstName: empty default
    EXPECT_EQ(slots[18], "*");  // tsClientIP
}

TEST(UserInfoRecordTest, RoundTripsEveryAttributeWithBarsAsLetterL) {
    const UserInfo user = fullUser();
    const std::string record = UserInfoPacketFromUser(user);
    EXPECT_EQ(slotsOf(record)[12], "RlD");
    const auto parsed = ParceUserInfo(record);
    ASSERT_TRUE(parsed);
    UserInfo expected = user;
    expected.department = "RlD";
    EXPECT_EQ(*parsed, expected);
}

TEST(UserInfoRecordTest, ParsesOnlyRecordsOfAtLeastTwentyThreeSlots) {
    std::string record = UserInfoPacketFromUser(fullUser());
    const std::string shortRecord = record.substr(0, record.rfind('|'));  // 22 slots
    EXPECT_FALSE(ParceUserInfo(shortRecord));
    EXPECT_FALSE(ParceUserInfo(""));
    EXPECT_FALSE(ParceUserInfo("|||"));

    const auto longer = ParceUserInfo(record + "extra|more");  // 25 slots
    ASSERT_TRUE(longer);
    EXPECT_EQ(*longer, *ParceUserInfo(record));
}

TEST(UserInfoRecordTest, IgnoresLiteralSlotsAndTakesTheLaterStatusText) {
    std::vector<std::string> slots(23, "v");
    slots[0] = "99";
    slots[3] = "x";
    slots[6] = "first";
    slots[14] = "second";
    slots[22] = "anything";
    std::string record;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        record += (i ? "|" : "") + slots[i];
    }
    const auto parsed = ParceUserInfo(record);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->statusString, "second");
    EXPECT_EQ(parsed->pc, "v");
    EXPECT_EQ(parsed->tsConnectionState, "v");
}

using UserInfoOnTheWireTest = testing::CodecTest;

TEST_F(UserInfoOnTheWireTest, BarsAndBrokenBarsInValuesKeepEverySlotInPlaceAtThePeer) {
    UserInfo user = fullUser();
    user.statusString = "back \u00A6 soon | maybe";
    user.department = "R\u00A6D";
    user.jobTitle = "\u00A6\u00A6|";
    for (const long long encoding : {11, 12, 13, 14, 15}) {
        savedEncoding = encoding;
        const Packet sent{"TSI", "*", "host", "A1", "*", "A2", UserInfoPacketFromUser(user), "*"};
        const auto wire = codec.PlainPacket(sent);
        ASSERT_TRUE(wire);
        const auto received = codec.ArrayFromBase64AESdata(*wire);
        ASSERT_TRUE(received);
        const std::string record(received->text(6));
        EXPECT_EQ(slotsOf(record).size(), 23u) << "encoding " << encoding << ": " << record;
        const auto parsed = ParceUserInfo(record);
        ASSERT_TRUE(parsed);
        UserInfo expected = user;
        expected.statusString = "back l soon l maybe";
        expected.department = "RlD";
        expected.jobTitle = "lll";
        EXPECT_EQ(*parsed, expected) << "encoding " << encoding;
    }
}

}  // namespace
}  // namespace corvaline
