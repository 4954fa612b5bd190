#include "core/model/entities/Message.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "core/codec/UnicodeField.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/MessageForForwarding.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/support/ModelTest.h"
#include "core/model/support/StoreFile.h"

namespace corvaline {
namespace {

using namespace std::chrono_literals;

class MessageTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        me_ = userList_->me();
        bob_ = userList_->getUserById("A200000002", "10.0.0.2");
        bob_->setStatus("0");
        bob_->setName("Bob");
        saveIfChanged(*context_);
        loop_.runPending();
        for (const char* key : {"sounds.enabled", "sounds.onIncoming", "sounds.onBroadcast"}) {
            setDefault(key, true);
        }
        clearRecords();
    }
    void clearRecords() {
        windows_.calls.clear();
        messages_.sent.clear();
        presence_.broadcasts.clear();
        relay_.held.clear();
    }
    // A message packet as a peer writes it, decoded as the dispatch hands it over.
    Packet incoming(const std::string& type, const std::string& id, const std::string& to,
                    const std::string& text = "hello") {
        return Packet{type, id, "bobs-pc", bob_->userId(), "*", to, text, "*", "0", "2"};
    }
    std::vector<std::shared_ptr<LogEntry>> historyOf(User& user) { return user.lastLogEnties(0); }
    Packet receiptTo(const std::string& sender) const {
        return Packet{"TMR", "*", me_->pc(), me_->userId(), "*", sender, "*", "*"};
    }

    std::shared_ptr<Me> me_;
    std::shared_ptr<User> bob_;
};

TEST_F(MessageTest, APlainMessageIsRecordedOnceAndAnsweredEveryTime) {
    const auto packet = incoming("TSM", "4242", me_->userId(), "Привет 🦊 ¦");
    EXPECT_EQ(Message::gotMessage(packet, "10.0.0.2"), receiptTo(bob_->userId()));
    saveIfChanged(*context_);
    EXPECT_TRUE(windows_.calls.empty()) << "the window waits until the reply is queued";
    loop_.runPending();
    EXPECT_EQ(windows_.calls,
              (std::vector<std::string>{"open A200000002 incoming", "play Message"}));

    // The same id again (a relay's copy, or the sender resending) is answered but not kept.
    EXPECT_EQ(Message::gotMessage(packet, "10.0.0.2"), receiptTo(bob_->userId()));
    saveIfChanged(*context_);
    const auto history = historyOf(*bob_);
    ASSERT_EQ(history.size(), 1u);
    auto message = std::dynamic_pointer_cast<Message>(history.front());
    ASSERT_TRUE(message);
    EXPECT_EQ(message->message(), "Привет 🦊 ¦");
    EXPECT_EQ(message->messageId(), 4242);
    EXPECT_TRUE(message->incoming());
    EXPECT_FALSE(message->mass() || message->offline());
    EXPECT_EQ(message->originalSenderName(), "Bob");
    EXPECT_LT(std::chrono::abs(*message->time() - now()), 1ms);
}

TEST_F(MessageTest, PacketsThatAreNotKeptStillGetTheirReceipt) {
    const struct {
        const char* what;
        Packet packet;
    } cases[] = {
        {"for another user", incoming("TSM", "1", "A999999999")},
        {"relayed by a stranger", Packet{"TSFM", "2", "0", "A777777777", "Eve", me_->userId(), "hi",
                                         "A777777777", "0", "2"}},
        {"held for a stranger", Packet{"TSOM", "A777777777", "3", bob_->userId(), "0",
                                       me_->userId(), "hi", "Bob", "0", "2"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Message::gotMessage(c.packet, "10.0.0.9")->text(0), "TMR") << c.what;
    }
    saveIfChanged(*context_);
    loop_.runPending();
    EXPECT_TRUE(historyOf(*me_).empty());
    EXPECT_TRUE(historyOf(*bob_).empty());
    EXPECT_TRUE(context_->fetch<MessageForForwarding>().empty());
    EXPECT_TRUE(windows_.calls.empty());
}

TEST_F(MessageTest, ARelayedMessageKeepsItsTimeAndIsAnnouncedOnce) {
    bob_->setStatus("10");
    auto carol = userList_->getUserById("A300000003", "10.0.0.3");
    carol->setStatus("0");
    clearRecords();
    const Date written = now() - 10min;
    const auto wire = static_cast<std::int64_t>(Message::wireTime(written));
    const Packet relayed{"TSFM",
                         "777",
                         std::to_string(wire),
                         carol->userId(),
                         "Robert",
                         me_->userId(),
                         "sent before",
                         bob_->userId(),
                         "0",
                         "2"};
    EXPECT_EQ(Message::gotMessage(relayed, "10.0.0.3"), receiptTo(carol->userId()));
    EXPECT_EQ(Message::gotMessage(relayed, "10.0.0.4")->text(0), "TMR");
    saveIfChanged(*context_);

    EXPECT_EQ(bob_->name(), "Robert") << "an offline author's name comes with the relayed copy";
    const auto history = historyOf(*bob_);
    ASSERT_EQ(history.size(), 1u);
    auto message = std::static_pointer_cast<Message>(history.front());
    EXPECT_TRUE(message->offline());
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(*message->time()),
              std::chrono::floor<std::chrono::seconds>(written));
    EXPECT_EQ(message->originalSenderName(), "Robert");
    ASSERT_EQ(presence_.broadcasts.size(), 1u);
    EXPECT_EQ(presence_.broadcasts.front().text(0), "UOMFR");
    EXPECT_EQ(presence_.broadcasts.front().text(1), "777");
    EXPECT_EQ(presence_.broadcasts.front().text(8), std::to_string(*me_->sessionId()));
}

// A relayed time must become a date without overflow: one no date can hold (a peer's
// garbage, beyond some 292 years from 1970) counts as the time of arrival.
TEST_F(MessageTest, ARelayedTimeNoDateCanHoldIsTheTimeOfArrival) {
    auto carol = userList_->getUserById("A300000003", "10.0.0.3");
    carol->setStatus("0");
    std::int64_t id = 500;
    for (const std::string time :
         {"99999999999", "-99999999999", "9223372036854775807", "-9223372036854775808"}) {
        const std::int64_t relayedId = ++id;
        const std::int64_t heldId = ++id;
        const Packet relayed{"TSFM", std::to_string(relayedId),
                             time,   carol->userId(),
                             "Bob",  me_->userId(),
                             "late", bob_->userId()};
        const Packet held{"TSOM",
                          carol->userId(),
                          std::to_string(heldId),
                          bob_->userId(),
                          time,
                          me_->userId(),
                          "keep",
                          "Bob"};
        EXPECT_EQ(Message::gotMessage(relayed, "10.0.0.3")->text(0), "TMR") << time;
        EXPECT_EQ(Message::gotMessage(held, "10.0.0.2")->text(0), "TMR") << time;
        std::vector<std::shared_ptr<Message>> messages;
        for (const auto& entry : historyOf(*bob_)) {
            auto message = std::dynamic_pointer_cast<Message>(entry);
            if (message && message->messageId() == relayedId) {
                messages.push_back(message);
            }
        }
        const auto records = context_->fetch<MessageForForwarding>(
            [&](const MessageForForwarding& record) { return record.messageId() == heldId; });
        ASSERT_EQ(messages.size(), 1u) << time;
        ASSERT_EQ(records.size(), 1u) << time;
        EXPECT_EQ(messages.front()->time(), now()) << time;
        EXPECT_EQ(records.front()->time(), now()) << time;
    }
}

// A receipt makes the sender drop its copy and an arrival notice every holder: the message is
// on disk before either, and what the store cannot hold is neither answered nor announced.
TEST_F(MessageTest, ReceiptsAndArrivalNoticesFollowOnlyWhatIsOnDisk) {
    const std::string store =
        (AppStore::shared().applicationFilesDirectory() / AppStore::kStoreFile).string();
    struct CheckingPresence : testing::RecordingPresence {
        void SendPacketToEveryone(const std::vector<std::uint8_t>& packet) override {
            storedThen = testing::storedMessages(file, "888");
            RecordingPresence::SendPacketToEveryone(packet);
        }
        std::string file;
        int storedThen = -1;
    } presence;
    presence.file = store;
    CoreServices::shared().presence = &presence;
    auto carol = userList_->getUserById("A300000003", "10.0.0.3");
    carol->setStatus("0");
    saveIfChanged(*context_);
    clearRecords();
    const Packet relayed{"TSFM", "888",         "0",    carol->userId(),
                         "Bob",  me_->userId(), "safe", bob_->userId()};
    const Packet held{"TSOM", carol->userId(), "889",  bob_->userId(),
                      "0",    me_->userId(),   "hold", "Bob"};
    {
        testing::StoreWriteLock broken(store);
        ASSERT_TRUE(broken.held());
        EXPECT_EQ(Message::gotMessage(relayed, "10.0.0.3"), std::nullopt);
        EXPECT_EQ(Message::gotMessage(incoming("TSM", "890", me_->userId()), "10.0.0.2"),
                  std::nullopt);
        EXPECT_EQ(Message::gotMessage(held, "10.0.0.2"), std::nullopt);
        loop_.runPending();
    }
    EXPECT_TRUE(presence.broadcasts.empty()) << "the holders keep their copies";
    EXPECT_TRUE(windows_.calls.empty());
    EXPECT_EQ(windows_.errors.size(), 1u);
    EXPECT_TRUE(historyOf(*bob_).empty());
    EXPECT_TRUE(context_->fetch<MessageForForwarding>().empty());

    // The store takes it again: the next delivery of the same copy is kept, then announced.
    EXPECT_EQ(Message::gotMessage(relayed, "10.0.0.3"), receiptTo(carol->userId()));
    ASSERT_EQ(presence.broadcasts.size(), 1u);
    EXPECT_EQ(presence.broadcasts.front().text(0), "UOMFR");
    EXPECT_EQ(presence.storedThen, 1);
    EXPECT_EQ(historyOf(*bob_).size(), 1u);
    CoreServices::shared().presence = &presence_;
}

TEST_F(MessageTest, ACopyForAnOfflineUserIsHeldEncrypted) {
    auto carol = userList_->getUserById("A300000003", "10.0.0.3");
    carol->setName("Carol");
    const Date written = now() - 1h;
    const Packet hold{"TSOMM",
                      carol->userId(),
                      "99",
                      bob_->userId(),
                      std::to_string(Message::wireTime(written)),
                      me_->userId(),
                      "keep this",
                      "Bob"};
    EXPECT_EQ(Message::gotMessage(hold, "10.0.0.2")->text(0), "TMR");
    saveIfChanged(*context_);
    const auto records = context_->fetch<MessageForForwarding>();
    ASSERT_EQ(records.size(), 1u);
    const auto& record = *records.front();
    EXPECT_EQ(record.messageId(), 99);
    EXPECT_TRUE(record.mass());
    EXPECT_EQ(record.sender(), bob_.get());
    EXPECT_EQ(record.recipients(), std::vector<User*>{carol.get()});
    EXPECT_EQ(PacketCodec::shared().DecryptString(record.message(), true), "keep this");
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(*record.time()),
              std::chrono::floor<std::chrono::seconds>(written));
    EXPECT_TRUE(historyOf(*carol).empty());
}

TEST_F(MessageTest, SendingGoesToOnlineUsersAndLeavesOfflineOnesToTheRelay) {
    auto carol = userList_->getUserById("A300000003", "10.0.0.3");  // offline
    clearRecords();
    bob_->SendMessage("to Bob");
    ASSERT_EQ(messages_.sent.size(), 1u);
    const Packet& packet = messages_.sent[0].packet;
    EXPECT_EQ(messages_.sent[0].to, bob_->userId());
    EXPECT_EQ(packet.text(0), "TSM");
    EXPECT_EQ(packet.text(3), me_->userId());
    EXPECT_EQ(packet.text(5), bob_->userId());
    EXPECT_EQ(packet.text(6), "to Bob");
    ASSERT_EQ(relay_.held.size(), 1u);
    EXPECT_EQ(std::to_string(relay_.held[0]), packet.text(1));
    EXPECT_FALSE(context_->hasChanges()) << "saved before a receipt can be handled";

    clearRecords();
    bob_->SendMessage("to all", std::vector<User*>{bob_.get(), carol.get(), me_.get()});
    ASSERT_EQ(messages_.sent.size(), 2u) << "Carol is offline";
    for (const auto& sent : messages_.sent) {
        EXPECT_EQ(sent.packet.text(0), "TMM");
        EXPECT_EQ(sent.packet.text(5), sent.to);
    }
    EXPECT_EQ(windows_.calls,
              (std::vector<std::string>{"open " + me_->userId() + " incoming", "play Broadcast"}));
    // The copy that reaches this computer's own service is a duplicate.
    const Packet own{"TMM",     std::string(messages_.sent[0].packet.text(1)),
                     me_->pc(), me_->userId(),
                     "*",       me_->userId(),
                     "to all",  "*",
                     "0",       "2"};
    EXPECT_EQ(Message::gotMessage(own, "127.0.0.1")->text(0), "TMR");
    saveIfChanged(*context_);
    EXPECT_EQ(historyOf(*me_).size(), 1u);
    EXPECT_EQ(historyOf(*carol).size(), 1u);
}

// The connection is opened while the store writes, and the message is on disk before the loop
// runs again, where its receipt would be handled.
TEST_F(MessageTest, TheSaveOverlapsTheConnectAndEndsBeforeAReceiptCanBeHandled) {
    struct CheckingMessages : testing::RecordingMessages {
        void SendTCPpacket(const std::vector<std::uint8_t>& packet, User& to,
                           std::shared_ptr<ManagedObject> pending) override {
            RecordingMessages::SendTCPpacket(packet, to, pending);
            const std::string id(sent.back().packet.text(1));
            storedAtSend = testing::storedMessages(file, id);
            loop->post([this, id] { storedAtReceipt = testing::storedMessages(file, id); });
        }
        std::string file;
        MainLoop* loop = nullptr;
        int storedAtSend = -1;
        int storedAtReceipt = -1;
    } messages;
    messages.file =
        (AppStore::shared().applicationFilesDirectory() / AppStore::kStoreFile).string();
    messages.loop = &loop_;
    CoreServices::shared().messages = &messages;
    bob_->SendMessage("overlapped");
    loop_.runPending();
    CoreServices::shared().messages = &messages_;
    ASSERT_EQ(messages.sent.size(), 1u);
    EXPECT_EQ(messages.storedAtSend, 0);
    EXPECT_EQ(messages.storedAtReceipt, 1);
}

TEST_F(MessageTest, TheWindowComesForwardAsTheSettingsSayWithoutTakingTheKeyboard) {
    auto window = windows_.window;
    bob_->setConversationWindow(window);
    // "keepFocus" is "Bring a window with a new message to the front": off, the window stays
    // where it is; on, it is raised. Either way it never takes the keyboard from the window
    // where the person types.
    const struct {
        int minimize;
        bool keepFocus;
        bool visible, miniaturized, key;
        std::vector<std::string> calls;
    } cases[] = {
        {1, false, false, false, false, {}},
        {1, true, true, false, false, {}},
        {0, false, false, false, false, {"show"}},
        {0, false, true, false, false, {}},
        {0, false, true, false, true, {}},
        {2, false, true, true, false, {"deminiaturize"}},
        {0, true, false, false, false, {"show", "raise 2147483631"}},
        {0, true, true, false, false, {"raise 2147483631"}},
        {0, true, true, false, true, {}},
        {2, true, true, true, false, {"deminiaturize", "raise 2147483631"}},
    };
    for (const auto& c : cases) {
        setDefault("minimizeMessages", c.minimize);
        setDefault("keepFocus", c.keepFocus);
        window->visible = c.visible;
        window->miniaturized = c.miniaturized;
        window->key = c.key;
        window->calls.clear();
        windows_.calls.clear();
        auto entry = context_->insert<Message>();
        entry->addUserObject(*bob_);
        entry->popupWindow(nullptr);
        EXPECT_EQ(window->calls, c.calls) << c.minimize << c.keepFocus << c.visible << c.key;
        EXPECT_EQ(window->fronted, 0) << "made key";
    }
}

TEST_F(MessageTest, NoSoundForTheConversationInFront) {
    auto window = windows_.window;
    bob_->setConversationWindow(window);
    window->main = window->key = true;
    for (int anyTime : {0, 1}) {
        setDefault("sounds.anyTime", anyTime);
        windows_.calls.clear();
        auto entry = context_->insert<Message>();
        entry->addUserObject(*bob_);
        entry->playSoundAndPopupWindow();
        EXPECT_EQ(windows_.calls.size(), anyTime == 0 ? 0u : 1u) << anyTime;
    }
}

TEST_F(MessageTest, WireTimesFollowTheTimeZone) {
    const char* before = getenv("TZ");
    const std::string saved = before ? before : "";
    const Date moment = Date(std::chrono::seconds(1700000000));
    for (const auto& [zone, offset] : {std::pair{"UTC0", 0L}, std::pair{"<+03>-3", 10800L}}) {
        setenv("TZ", zone, 1);
        tzset();
        Message::recomputeLocalTimeOffset();
        EXPECT_EQ(Message::localTimeOffset(), offset) << zone;
        EXPECT_EQ(Message::wireTime(moment), 1700000000.0 + offset) << zone;
        EXPECT_EQ(Message::dateFromWireTime(1700000000 + offset), moment) << zone;
    }
    before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
    Message::recomputeLocalTimeOffset();
}

TEST_F(MessageTest, SystemLinesBelongToTheUserOrTheChat) {
    auto line = SystemMessage::addText(*context_, "could not send", nullptr, bob_.get(), true);
    EXPECT_EQ(line->originalSenderName(), "Bob");
    EXPECT_TRUE(line->error());
    EXPECT_EQ(line->user(), std::vector<User*>{bob_.get()});
}

}  // namespace
}  // namespace corvaline
