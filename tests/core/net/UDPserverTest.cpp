#include "core/net/UDPserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "core/codec/PacketCodec.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/net/NetTest.h"

namespace corvaline::testing {
namespace {

using namespace std::chrono_literals;

class UDPserverTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        udp_ = UDPserver::create(main());
    }
    void TearDown() override {
        udp_.reset();
        NetTest::TearDown();
    }

    // A datagram as it arrives from 10.0.0.7.
    void receive(const Packet& packet) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = htons(19771);
        inet_pton(AF_INET, "10.0.0.7", &from.sin_addr);
        Data address(sizeof from);
        std::memcpy(address.data(), &from, sizeof from);
        udp_->udpSocketDidReceiveData(
            udp_->recvSocket(), PacketCodec::shared().PlainPacket(packet).value(), address, {});
    }

    std::shared_ptr<UDPserver> udp_;
};

TEST_F(UDPserverTest, FailuresWithinTwoSecondsRecreateTheSocketsOnceTwoSecondsAfterTheFirst) {
    startTrace();
    Error error;
    error.domain = AsyncUdpSocketErrorDomain;
    error.code = AsyncUdpSocketOtherError;
    udp_->udpSocketDidNotSendDataWithTag(udp_->sendSocket(), 1, error);
    runFor(1.0);
    udp_->udpSocketDidClose(udp_->recvSocket(), error);
    runFor(0.9);
    EXPECT_EQ(traced("UDP (re)start"), 0);
    runFor(0.2);
    EXPECT_EQ(traced("UDP (re)start"), 1);
    runFor(30);
    EXPECT_EQ(traced("UDP (re)start"), 1);
    EXPECT_EQ(traced("resetSocketsWithDelay"), 1);
    // The mark is cleared: a later failure schedules a reset again.
    udp_->udpSocketDidNotSendDataWithTag(udp_->sendSocket(), 1, error);
    runFor(2.1);
    EXPECT_EQ(traced("UDP (re)start"), 2);
}

TEST_F(UDPserverTest, BeginWorkTwiceKeepsOneRefreshTimerAndEndWorkDropsIt) {
    addUser("A1", "0");  // online: asked for its information after every refresh
    udp_->beginWork();
    udp_->beginWork();
    runFor(7);
    // One follow-up per "UI"; the second finds the first's request not yet answered.
    EXPECT_EQ(messages_.sent.size(), 1u);
    messages_.endRequests();
    runFor(360);
    EXPECT_EQ(messages_.sent.size(), 2u);  // one "RL" at 360 s, one follow-up
    EXPECT_EQ(messages_.sent.back().packet.text(0), "TRI");
    EXPECT_EQ(messages_.sent.back().to, "A1");

    udp_->endWork();
    EXPECT_FALSE(udp_->hasRefreshTimer());
    EXPECT_TRUE(udp_->recvSocket()->isClosed());
    const auto closed = udp_->recvSocket();
    udp_->beginWork();
    EXPECT_TRUE(udp_->hasRefreshTimer());
    EXPECT_NE(udp_->recvSocket(), closed);
    EXPECT_FALSE(udp_->recvSocket()->isClosed());
}

TEST_F(UDPserverTest, FollowUpRemovesUsersOfflineForMoreThanThirtyDays) {
    constexpr auto day = std::chrono::hours(24);
    const auto gone = addUser("A31", "10");
    gone->setSeenLastTime(now() - 31 * day);
    const auto recent = addUser("A29", "10");
    recent->setSeenLastTime(now() - 29 * day);
    const auto online = addUser("A40", "0");
    online->setSeenLastTime(now() - 40 * day);
    udp_->ContinueRefreshUserList();
    EXPECT_TRUE(gone->removed());
    EXPECT_FALSE(recent->removed());
    EXPECT_FALSE(online->removed());
}

TEST_F(UDPserverTest, PresenceFromANewUserCreatesItButShortPacketsAreDropped) {
    const std::string session = "5";
    receive(Packet{"RL", "0", "host", "A7", "*", "*", "*", "Seven"});  // 8 fields
    EXPECT_EQ(userList_->getUserById("A7", std::nullopt), nullptr);
    receive(Packet{"RL", "0", "host", "A7", "*", "*", "*", "Seven", session});
    const auto user = userList_->getUserById("A7", std::nullopt);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->ip(), "10.0.0.7");
    EXPECT_EQ(user->name(), "Seven");
    loop_.runPending();
    EXPECT_FALSE(context_->hasChanges());  // saved once the packets at hand are done

    receive(Packet{"TP", "*", "host", "A7", "*", "*", "*", "*", "*"});
    EXPECT_TRUE(user->typingReceived().has_value());
}

TEST_F(UDPserverTest, ArrivedRelayedMessageClearsTheSenderFromItsRecords) {
    const auto relayer = addUser("A8", "0");
    const auto other = addUser("A9", "0");
    auto only = context_->insert<MessageForForwarding>();
    only->setMessageId(42);
    only->addRecipientsObject(*relayer);
    auto shared = context_->insert<MessageForForwarding>();
    shared->setMessageId(42);
    shared->addRecipientsObject(*relayer);
    shared->addRecipientsObject(*other);
    auto unrelated = context_->insert<MessageForForwarding>();
    unrelated->setMessageId(43);
    unrelated->addRecipientsObject(*relayer);
    SaveAppContextIfChanged();

    receive(Packet{"UOMFR", "42", "host", "A8", "*", "*", "*", "*", "7"});
    EXPECT_TRUE(only->isDeleted() || !only->context());
    ASSERT_EQ(shared->recipients().size(), 1u);
    EXPECT_EQ(shared->recipients().front(), other.get());
    EXPECT_EQ(unrelated->recipients().size(), 1u);
    loop_.runPending();
    EXPECT_FALSE(context_->hasChanges());
}

}  // namespace
}  // namespace corvaline::testing
