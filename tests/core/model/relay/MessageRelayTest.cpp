#include "core/model/relay/MessageRelay.h"

#include <charconv>
#include <cmath>
#include <map>

#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/net/NetTest.h"

namespace corvaline::testing {
namespace {

using namespace std::chrono_literals;

// Requests as the message service would send them, with the pending object and the loop's
// time of each.
class DeliveryRecorder : public RecordingMessages {
  public:
    explicit DeliveryRecorder(const Executor& loop) : loop_(loop) {}
    void SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                       std::shared_ptr<ManagedObject> object) override {
        RecordingMessages::SendTCPpacket(packet, to, object);
        pending.push_back(std::move(object));
        at.push_back(loop_.now());
    }
    void clear() {
        sent.clear();
        pending.clear();
        at.clear();
    }
    std::vector<std::shared_ptr<ManagedObject>> pending;
    std::vector<Clock::time_point> at;

  private:
    const Executor& loop_;
};

std::int64_t leadingInteger(std::string_view text) {
    std::int64_t value = -1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

class MessageRelayTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        me_ = userList_->me();
        relay_ = std::make_unique<MessageRelay>(loop_);
        auto& services = CoreServices::shared();
        services.relay = relay_.get();
        services.messages = &recorder_;
        started_ = loop_.now();
    }
    void TearDown() override {
        relay_.reset();
        NetTest::TearDown();
    }

    // Runs the loop (virtual time) until `count` requests have gone out, at most `seconds`.
    void runUntilSent(std::size_t count, double seconds) {
        loop_.runUntil([&] { return recorder_.sent.size() >= count; }, Duration(seconds));
    }
    // Lets the passes that users coming online asked for run out, and forgets their sends.
    void settle() {
        runFor(10);
        recorder_.clear();
    }
    std::shared_ptr<MessageForForwarding> hold(std::int64_t id, const std::string& text, Date time,
                                               User& sender, const std::vector<User*>& recipients) {
        auto record = context_->insert<MessageForForwarding>();
        record->setMessageId(id);
        record->setTime(time);
        record->setSender(&sender);
        record->setMessage(PacketCodec::shared().EncryptString(text, true).value());
        for (User* user : recipients) {
            record->addRecipientsObject(*user);
        }
        return record;
    }
    std::vector<std::shared_ptr<MessageForForwarding>> records() {
        return context_->fetch<MessageForForwarding>();
    }
    double secondsSinceStart(std::size_t send) const {
        return Duration(recorder_.at[send] - started_).count();
    }

    std::shared_ptr<Me> me_;
    DeliveryRecorder recorder_{loop_};
    std::unique_ptr<MessageRelay> relay_;
    Clock::time_point started_;
};

TEST_F(MessageRelayTest, AMessageForOneOfflineUserIsKeptHereAndGivenToEveryOnlineUser) {
    const auto bob = addUser("A2", "10");
    const auto carol = addUser("A3", "0");
    const auto dave = addUser("A4", "0");
    settle();

    bob->SendMessage("for Bob ¦ 🦊");
    const auto held = records();
    ASSERT_EQ(held.size(), 1u);
    const auto messages = bob->lastLogEnties(0);
    ASSERT_EQ(messages.size(), 1u);
    const auto& message = static_cast<const Message&>(*messages.front());
    EXPECT_EQ(held[0]->messageId(), message.messageId());
    EXPECT_EQ(held[0]->recipients(), std::vector<User*>{bob.get()});
    EXPECT_EQ(held[0]->sender(), me_.get());
    EXPECT_LT(std::chrono::abs(*held[0]->time() - *message.time()), 1ms) << "as stored";
    EXPECT_EQ(PacketCodec::shared().DecryptString(held[0]->message(), true), "for Bob ¦ 🦊");

    ASSERT_EQ(recorder_.sent.size(), 2u) << "one copy per relay and nothing to Bob";
    std::vector<std::string> relays;
    for (std::size_t i = 0; i < recorder_.sent.size(); ++i) {
        const Packet& p = recorder_.sent[i].packet;
        relays.push_back(recorder_.sent[i].to);
        EXPECT_EQ(p.text(0), "TSOM");
        EXPECT_EQ(p.text(1), bob->userId());
        EXPECT_EQ(p.text(2), std::to_string(message.messageId()));
        EXPECT_EQ(p.text(3), me_->userId());
        EXPECT_EQ(leadingInteger(p.text(4)),
                  static_cast<std::int64_t>(std::trunc(Message::wireTime(*message.time()))));
        EXPECT_EQ(p.text(5), recorder_.sent[i].to);
        EXPECT_EQ(p.text(6), "for Bob ¦ 🦊");
        EXPECT_EQ(p.text(7), me_->name());
        EXPECT_EQ(recorder_.pending[i], nullptr);
    }
    EXPECT_EQ(relays, (std::vector<std::string>{carol->userId(), dave->userId()}));
}

TEST_F(MessageRelayTest, EachOfflineRecipientOfAMassMessageHasOneIdHereAndAtTheRelays) {
    const auto bob = addUser("A2", "10");
    const auto carol = addUser("A3", "10");
    const auto dave = addUser("A4", "0");
    settle();

    dave->SendMessage("to all", std::vector<User*>{bob.get(), carol.get(), dave.get()});
    const auto message = std::static_pointer_cast<Message>(dave->lastLogEnties(1).front());
    // The id of each record, by its recipient.
    const auto heldIds = [&] {
        std::map<std::string, std::vector<std::int64_t>> ids;
        for (const auto& record : records()) {
            EXPECT_TRUE(record->mass());
            EXPECT_EQ(record->recipients().size(), 1u);
            ids[record->recipients().front()->userId()].push_back(record->messageId());
        }
        return ids;
    };
    // The id of each copy given to the relay, by its recipient.
    const auto relayedIds = [&] {
        std::map<std::string, std::vector<std::int64_t>> ids;
        for (const auto& sent : recorder_.sent) {
            if (sent.packet.text(0) == "TMM") {
                EXPECT_EQ(sent.to, dave->userId());
                continue;
            }
            EXPECT_EQ(sent.packet.text(0), "TSOMM");
            EXPECT_EQ(sent.to, dave->userId());
            EXPECT_EQ(sent.packet.text(5), dave->userId());
            ids[std::string(sent.packet.text(1))].push_back(leadingInteger(sent.packet.text(2)));
        }
        return ids;
    };
    const auto held = heldIds();
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(relayedIds(), held) << "the sender's copy and the relay's copy are one message";
    const std::int64_t forBob = held.at(bob->userId()).front();
    const std::int64_t forCarol = held.at(carol->userId()).front();
    EXPECT_NE(forBob, forCarol);
    EXPECT_NE(forBob, message->messageId());
    EXPECT_NE(forCarol, message->messageId());

    // The same message failing again hands out the same ids: still one message for each.
    recorder_.clear();
    relay_->SendOfflineMessageIfNeeded(*message);
    const std::map<std::string, std::vector<std::int64_t>> twice{
        {bob->userId(), {forBob, forBob}}, {carol->userId(), {forCarol, forCarol}}};
    EXPECT_EQ(heldIds(), twice);
    EXPECT_EQ(relayedIds(), (std::map<std::string, std::vector<std::int64_t>>{
                                {bob->userId(), {forBob}}, {carol->userId(), {forCarol}}}));
}

TEST_F(MessageRelayTest, TheTimerPassSendsOldestFirstThreeHundredFiftyMillisecondsApart) {
    const auto bob = addUser("A2", "0");
    const auto carol = addUser("A3", "10");
    settle();
    const Date now = this->now();
    const auto middle = hold(2, "second", now - 2h, *carol, {bob.get()});
    const auto newest = hold(3, "third", now - 1h, *carol, {bob.get()});
    const auto oldest = hold(1, "first", now - 3h, *carol, {bob.get()});
    hold(4, "for Carol", now - 4h, *bob, {carol.get()});  // offline: not due

    runUntilSent(3, 80);
    runFor(5);
    ASSERT_EQ(recorder_.sent.size(), 3u);
    const std::shared_ptr<MessageForForwarding> order[] = {oldest, middle, newest};
    for (std::size_t i = 0; i < 3; ++i) {
        const Packet& p = recorder_.sent[i].packet;
        EXPECT_NEAR(secondsSinceStart(i), 70.0 + 0.35 * static_cast<double>(i), 1e-6);
        EXPECT_EQ(recorder_.sent[i].to, bob->userId());
        EXPECT_EQ(recorder_.pending[i], order[i]) << "the receipt clears the record";
        EXPECT_EQ(p.text(0), "TSFM");
        EXPECT_EQ(p.text(1), std::to_string(order[i]->messageId()));
        EXPECT_EQ(p.text(2), std::to_string(static_cast<std::int64_t>(
                                 std::trunc(Message::wireTime(*order[i]->time())))));
        EXPECT_EQ(p.text(3), me_->userId());
        EXPECT_EQ(p.text(4), carol->name());
        EXPECT_EQ(p.text(5), bob->userId());
        EXPECT_EQ(p.text(7), carol->userId());
    }
    EXPECT_EQ(recorder_.sent[0].packet.text(6), "first");
    EXPECT_EQ(records().size(), 4u) << "only receipts and arrival notices clear records";

    runUntilSent(6, 75);
    EXPECT_NEAR(secondsSinceStart(3), 140.0, 1e-6) << "the timer repeats";
}

TEST_F(MessageRelayTest, ARecordThatCannotBeSentIsDeletedAndLeavesATraceLine) {
    const auto bob = addUser("A2", "0");
    const auto nameless = addUser("A3", "10");
    nameless->setName("");
    const auto carol = addUser("A4", "10");
    settle();
    startTrace();
    const Date now = this->now();
    hold(5, "lost", now - 2h, *nameless, {bob.get()});
    hold(6, "", now - 1h, *carol, {bob.get()});
    const auto kept = hold(7, "kept", now, *carol, {bob.get()});

    MessageForForwarding::sendOnTimer();
    runFor(5);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].packet.text(6), "kept");
    EXPECT_NEAR(secondsSinceStart(0) - 10, 0.7, 1e-6) << "the lost ones keep their places";
    EXPECT_EQ(records(), std::vector{kept});
    EXPECT_EQ(traced("message for forwarding 5 cannot be encoded and is deleted"), 1);
    EXPECT_EQ(traced("message for forwarding 6 cannot be encoded and is deleted"), 1);
}

TEST_F(MessageRelayTest, ComingOnlineDeliversWhatIsHeldForThatNameWithinASecondPerOnlineUser) {
    const auto bob = addUser("A2", "10");
    const auto namesake = addUser("A3", "0");
    namesake->setName(bob->name());
    const auto carol = addUser("A4", "0");
    const auto dave = addUser("A5", "10");
    settle();
    const Date now = this->now();
    hold(1, "for Bob", now - 3h, *dave, {bob.get()});
    hold(2, "for the namesake and Carol", now - 2h, *dave, {namesake.get(), carol.get()});
    hold(3, "for Carol alone", now - 1h, *dave, {carol.get()});

    const auto before = loop_.now();
    bob->setStatus("0");  // three users online now
    runUntilSent(3, 10);
    runFor(5);
    ASSERT_EQ(recorder_.sent.size(), 3u);
    const Duration delay = recorder_.at[0] - before;
    EXPECT_GE(delay.count(), 0.0);
    EXPECT_LT(delay.count(), 3.0);
    std::vector<std::pair<std::string, std::string>> delivered;
    for (const auto& sent : recorder_.sent) {
        delivered.emplace_back(sent.to, sent.packet.text(6));
    }
    EXPECT_EQ(delivered, (std::vector<std::pair<std::string, std::string>>{
                             {bob->userId(), "for Bob"},
                             {namesake->userId(), "for the namesake and Carol"},
                             {carol->userId(), "for the namesake and Carol"}}));
}

// Nothing held for a user coming online: no pass of its own; what is held for them later goes
// with the timer's next pass.
TEST_F(MessageRelayTest, ComingOnlineWithNothingHeldLeavesLaterRecordsToTheTimer) {
    const auto bob = addUser("A2", "10");
    const auto dave = addUser("A5", "10");
    addUser("A4", "0");
    settle();
    bob->setStatus("0");
    hold(1, "later", now(), *dave, {bob.get()});
    runFor(3);
    EXPECT_TRUE(recorder_.sent.empty());
    runUntilSent(1, MessageForForwarding::kTimerInterval);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].packet.text(6), "later");
}

// A user flipping status: only coming online starts a pass, and a record a receipt cleared
// while a pass was under way is not sent again.
TEST_F(MessageRelayTest, StatusFlipsDeliverEachHeldMessageOnce) {
    const auto bob = addUser("A2", "10");
    const auto carol = addUser("A4", "0");
    const auto dave = addUser("A5", "10");
    settle();
    const Date now = this->now();
    hold(1, "first", now - 2h, *dave, {bob.get()});
    const auto second = hold(2, "second", now - 1h, *dave, {bob.get()});

    for (const char* status : {"0", "2", "3", "0", "2"}) {
        bob->setStatus(status);  // online throughout, after the first
    }
    runUntilSent(1, 10);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    second->removeRecipientsObject(*bob);  // its receipt came back meanwhile
    runFor(10);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].packet.text(6), "first");

    bob->setStatus("10");
    bob->setStatus("0");
    runFor(10);
    EXPECT_EQ(recorder_.sent.size(), 2u);  // offline and back: "first" again (no receipt yet)
}

TEST_F(MessageRelayTest, AHeldCopyKeepsTheWholeSecondsOfAFractionalWireTime) {
    const auto bob = addUser("A2", "10");
    const auto carol = addUser("A3", "0");
    settle();
    auto message = context_->insert<Message>();
    message->setMessage("when?");
    message->setMessageId(31337);
    message->setTime(*Message::dateFromWireTime(1765370000) + 750ms);
    message->addUserObject(*bob);
    relay_->SendOfflineMessageIfNeeded(*message);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].to, carol->userId());
    const std::string_view sentTime = recorder_.sent[0].packet.text(4);
    EXPECT_EQ(leadingInteger(sentTime), 1765370000);
    EXPECT_NEAR(std::stod(std::string(sentTime)) - 1765370000, 0.75, 1e-3);

    // Another copy, as a relay here receives it: the fraction is cut off, not rounded.
    const auto dave = addUser("A5", "0");
    const Packet copy{"TSOM",
                      bob->userId(),
                      "31338",
                      dave->userId(),
                      "1765370000.75",
                      me_->userId(),
                      "when?",
                      dave->name(),
                      "0",
                      "2"};
    EXPECT_EQ(Message::gotMessage(copy, "10.0.0.5")->text(0), "TMR");
    const auto held = context_->fetch<MessageForForwarding>(
        [](const MessageForForwarding& record) { return record.messageId() == 31338; });
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0]->time(), Message::dateFromWireTime(1765370000));
}

}  // namespace
}  // namespace corvaline::testing
