#include "core/model/entities/Chat.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/support/ModelTest.h"
#include "platform/notifications/NotificationCenter.h"

namespace corvaline {
namespace {

using namespace std::chrono_literals;

class ChatTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        me_ = userList_->me();
        bob_ = peer("A200000002", "Bob");
        carol_ = peer("A300000003", "Carol");
        dave_ = peer("A400000004", "Dave");
        saveIfChanged(*context_);
        loop_.runPending();
        setDefault("sounds.enabled", true);
        setDefault("sounds.onIncoming", true);
        clearRecords();
    }
    std::shared_ptr<User> peer(const std::string& userId, const std::string& name) {
        auto user = userList_->getUserById(userId, "10.0.0." + userId.substr(9));
        user->setStatus("0");
        user->setName(name);
        return user;
    }
    void clearRecords() {
        windows_.calls.clear();
        windows_.window->calls.clear();
        messages_.sent.clear();
    }
    // A chat packet as a peer writes it, decoded as the dispatch hands it over.
    static Packet from(const std::string& senderId, const std::string& command,
                       const std::string& roomId, const std::string& field6 = "*") {
        return Packet{command,      roomId, "peer-pc", senderId, "*",
                      "A100000001", field6, "*",       "0",      "2"};
    }
    // What this copy answers: the command, the room, my pc and id, and whom it answers.
    Packet reply(const std::string& command, const std::string& roomId,
                 const std::string& to) const {
        return Packet{command, roomId, me_->pc(), me_->userId(), "*", to, "*", "*"};
    }
    std::shared_ptr<Chat> storedChat(std::int64_t roomId) {
        return Chat::findByChatRoomId(std::to_string(roomId));
    }
    std::size_t storedMessages() {
        saveIfChanged(*context_);
        return context_->count({std::string(Message::kEntityName), {}, "time", true, 0});
    }
    static std::vector<std::string> idsOf(const std::optional<Chat::Members>& users) {
        std::vector<std::string> ids;
        for (const auto& user : users.value_or(Chat::Members{})) {
            ids.push_back(user->userId());
        }
        return ids;
    }
    // A stored room 4711 with Bob and Carol in it.
    std::shared_ptr<Chat> roomWithBobAndCarol() {
        EXPECT_TRUE(Chat::receivedJoinInfo(
            from(bob_->userId(), "CRJR", "4711", "A200000002," + me_->userId() + ",A300000003")));
        saveIfChanged(*context_);
        clearRecords();
        return storedChat(4711);
    }

    std::shared_ptr<Me> me_;
    std::shared_ptr<User> bob_, carol_, dave_;
};

TEST_F(ChatTest, ANewChatTellsEveryMemberWithMyIdFirst) {
    auto chat = Chat::createWithUsers({bob_, carol_, dave_, me_}, std::nullopt);
    ASSERT_TRUE(chat);
    EXPECT_LT(chat->roomId(), 999999);
    EXPECT_EQ(idsOf(chat->currentUsers()),
              (std::vector<std::string>{"A200000002", "A300000003", "A400000004"}));
    const std::string list = me_->userId() + ",A200000002,A300000003,A400000004";
    EXPECT_EQ(chat->userIDsString(), list);
    ASSERT_EQ(messages_.sent.size(), 3u);
    for (const auto& sent : messages_.sent) {
        EXPECT_EQ(sent.packet, (Packet{"CRJR", std::to_string(chat->roomId()), me_->pc(),
                                       me_->userId(), "*", sent.to, list, "*", "0", "2"}));
    }
    EXPECT_EQ(messages_.sent[2].to, "A400000004");
    EXPECT_TRUE(ActiveChats::shared().contains(*chat));
}

TEST_F(ChatTest, AJoinNoticeMakesOrUpdatesTheRoomFromKnownUsersOnly) {
    // Only strangers: nothing is made and nothing is answered.
    EXPECT_EQ(Chat::receivedJoinInfo(from("A777777777", "CRJR", "4711", "A888888888")),
              std::nullopt);
    EXPECT_EQ(Chat::receivedJoinInfo(from("A200000002", "CRJR", "junk", "A300000003")),
              std::nullopt)
        << "a room id that is not a number names no room";
    EXPECT_EQ(Chat::receivedJoinInfo(from(me_->userId(), "CRJR", "4711", me_->userId())),
              std::nullopt)
        << "this copy is never a member of its own rooms";
    saveIfChanged(*context_);
    EXPECT_TRUE(context_->fetch<Chat>().empty());

    // Bob invites; the stranger in his list is skipped, Bob himself counts once.
    const std::string list = "A200000002," + me_->userId() + ",A300000003,A888888888";
    EXPECT_EQ(Chat::receivedJoinInfo(from(bob_->userId(), "CRJR", "4711", list)),
              reply("CRRR", "4711", bob_->userId()));
    auto chat = storedChat(4711);
    ASSERT_TRUE(chat);
    EXPECT_EQ(idsOf(chat->currentUsers()), (std::vector<std::string>{"A200000002", "A300000003"}));
    EXPECT_TRUE(messages_.sent.empty()) << "two members known: nobody is asked for the list";

    // Without a window the list replaces the members; with one the window learns who is new.
    Chat::receivedJoinInfo(from(carol_->userId(), "CRJR", "4711", "A300000003,A400000004"));
    EXPECT_EQ(idsOf(chat->currentUsers()), (std::vector<std::string>{"A300000003", "A400000004"}));
    chat->setConversationWindow(windows_.window);
    Chat::receivedJoinInfo(from(carol_->userId(), "CRJR", "4711", "A200000002,A400000004"));
    EXPECT_EQ(windows_.window->calls, std::vector<std::string>{"joined A200000002"});

    // A room joined with one member known asks that member for the others.
    EXPECT_TRUE(Chat::receivedJoinInfo(from(dave_->userId(), "CRJR", "815", "A400000004")));
    ASSERT_EQ(messages_.sent.size(), 1u);
    EXPECT_EQ(messages_.sent[0].packet.text(0), "CRGRI");
    EXPECT_EQ(messages_.sent[0].packet.text(1), "815");
    EXPECT_EQ(messages_.sent[0].to, dave_->userId());
}

TEST_F(ChatTest, AMessageIsRecordedOnlyForAKnownRoomFromAKnownSender) {
    // No such room: answered, whoever sent it, and nothing is kept.
    EXPECT_EQ(Chat::receivedMessage(from(bob_->userId(), "CRSM", "4711", "hi")),
              reply("CRSMR", "4711", bob_->userId()));
    EXPECT_EQ(Chat::receivedMessage(from("A777777777", "CRSM", "4711", "hi")),
              reply("CRSMR", "4711", "A777777777"));
    EXPECT_EQ(storedMessages(), 0u);

    auto chat = roomWithBobAndCarol();
    EXPECT_EQ(Chat::receivedMessage(from("A777777777", "CRSM", "4711", "hi")), std::nullopt);
    EXPECT_EQ(storedMessages(), 0u);

    EXPECT_EQ(Chat::receivedMessage(from(dave_->userId(), "CRSM", "4711", "Привет ¦")),
              reply("CRSMR", "4711", dave_->userId()));
    EXPECT_EQ(storedMessages(), 1u);
    EXPECT_TRUE(windows_.calls.empty()) << "the window waits until the reply is queued";
    loop_.runPending();
    EXPECT_EQ(windows_.calls,
              (std::vector<std::string>{"open chat 4711 incoming", "play Message"}));
    EXPECT_EQ(chat->conversationWindow(), windows_.window);
    const auto history = chat->lastLogEnties(0);
    ASSERT_EQ(history.size(), 1u);
    const auto message = std::dynamic_pointer_cast<Message>(history.front());
    ASSERT_TRUE(message);
    EXPECT_EQ(message->message(), "Привет ¦");
    EXPECT_TRUE(message->incoming());
    EXPECT_EQ(message->originalSenderName(), "Dave");
    EXPECT_EQ(message->user(), std::vector<User*>{dave_.get()});
    EXPECT_TRUE(chat->hasCurrentUser(*dave_)) << "a writer is a member";

    // The window is open now: the next message only tells the history changed.
    int updates = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "logUpdated", chat.get(), [&](const Notification&) { ++updates; });
    clearRecords();
    Chat::receivedMessage(from(bob_->userId(), "CRSM", "4711", "again"));
    loop_.runPending();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(windows_.calls, std::vector<std::string>{"play Message"});
}

TEST_F(ChatTest, LeavingTellsEveryMemberAndAMessageGoesOnlyToOnlineOnes) {
    auto chat = roomWithBobAndCarol();
    carol_->setStatus("10");
    int updates = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "logUpdated", chat.get(), [&](const Notification&) { ++updates; });
    chat->sendMessage("hello ¦ 🦊");
    ASSERT_EQ(messages_.sent.size(), 1u);
    EXPECT_EQ(messages_.sent[0].to, bob_->userId());
    EXPECT_EQ(messages_.sent[0].packet, (Packet{"CRSM", "4711", me_->pc(), me_->userId(), "*",
                                                bob_->userId(), "hello ¦ 🦊", "*", "0", "2"}));
    EXPECT_FALSE(context_->hasChanges());
    EXPECT_EQ(updates, 1);
    const auto history = chat->lastLogEnties(0);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_FALSE(history.front()->incoming());
    EXPECT_EQ(history.front()->originalSenderName(), me_->name());
    EXPECT_EQ(history.front()->user().size(), 2u) << "offline members keep it in their log too";

    clearRecords();
    chat->leaveChat();
    ASSERT_EQ(messages_.sent.size(), 2u);
    for (const auto& sent : messages_.sent) {
        EXPECT_EQ(sent.packet.text(0), "CRLR");
        EXPECT_EQ(sent.packet.text(5), sent.to);
    }
    EXPECT_EQ(messages_.sent[1].to, carol_->userId());
    EXPECT_FALSE(ActiveChats::shared().contains(*chat));
}

TEST_F(ChatTest, AMemberLeavesTheRoomOrItsWindow) {
    auto chat = roomWithBobAndCarol();
    EXPECT_EQ(Chat::receivedLeaveInfo(from("A777777777", "CRLR", "4711")), std::nullopt);
    EXPECT_EQ(Chat::receivedLeaveInfo(from(bob_->userId(), "CRLR", "999")),
              reply("CRLRR", "999", bob_->userId()));
    EXPECT_EQ(Chat::receivedLeaveInfo(from(bob_->userId(), "CRLR", "4711")),
              reply("CRLRR", "4711", bob_->userId()));
    EXPECT_EQ(idsOf(chat->currentUsers()), std::vector<std::string>{"A300000003"});
    EXPECT_TRUE(ActiveChats::shared().contains(*chat));
    Chat::receivedLeaveInfo(from(carol_->userId(), "CRLR", "4711"));
    EXPECT_FALSE(ActiveChats::shared().contains(*chat)) << "the last member is gone";

    chat->setCurrentUsers(Chat::Members{bob_});
    chat->setConversationWindow(windows_.window);
    Chat::receivedLeaveInfo(from(bob_->userId(), "CRLR", "4711"));
    EXPECT_EQ(windows_.window->calls, std::vector<std::string>{"left A200000002"});
}

TEST_F(ChatTest, AfterARestartTheFirstMessageBringsBackTheMembers) {
    roomWithBobAndCarol();
    restart();
    userList_->updateMe();
    me_ = userList_->me();
    auto chat = storedChat(4711);
    ASSERT_TRUE(chat);
    EXPECT_FALSE(chat->currentUsers()) << "members are not stored";
    bob_ = userList_->getUserById("A200000002", std::nullopt);
    bob_->setStatus("0");
    EXPECT_EQ(Chat::receivedRoomInfoRequest(from(bob_->userId(), "CRGRI", "815")), std::nullopt);

    for (const bool withWindow : {false, true}) {
        SCOPED_TRACE(withWindow ? "with a window" : "without windows");
        CoreServices::shared().windows = withWindow ? &windows_ : nullptr;
        chat->setCurrentUsers(std::nullopt);
        chat->setConversationWindow(nullptr);
        clearRecords();
        EXPECT_TRUE(Chat::receivedMessage(from(bob_->userId(), "CRSM", "4711", "back")));
        ASSERT_EQ(messages_.sent.size(), 1u);
        EXPECT_EQ(messages_.sent[0].packet, (Packet{"CRGRI", "4711", me_->pc(), me_->userId(), "*",
                                                    bob_->userId(), "*", "*", "0", "2"}));
        loop_.runPending();
        windows_.window->calls.clear();
        // Bob's copy answers with its list; the dispatch drops what this copy replies.
        Chat::receivedJoinInfo(
            from(bob_->userId(), "CRGRR", "4711", "A200000002," + me_->userId() + ",A300000003"));
        if (withWindow) {
            EXPECT_EQ(windows_.window->calls, std::vector<std::string>{"joined A300000003"});
        } else {
            EXPECT_EQ(idsOf(chat->currentUsers()),
                      (std::vector<std::string>{"A200000002", "A300000003"}));
        }
    }
    // Asked in turn, this copy answers with what it knows.
    chat->setCurrentUsers(Chat::Members{bob_});
    Packet answer = reply("CRGRR", "4711", "A300000003");
    answer[6] = me_->userId() + ",A200000002";
    EXPECT_EQ(Chat::receivedRoomInfoRequest(from("A300000003", "CRGRI", "4711")), answer);
}

TEST_F(ChatTest, AfterARestartAMessageWaitsForTheMembersOrGetsARedLine) {
    roomWithBobAndCarol()->sendMessage("before");
    saveIfChanged(*context_);
    restart();
    userList_->updateMe();
    me_ = userList_->me();
    auto chat = storedChat(4711);
    ASSERT_TRUE(chat);
    bob_ = userList_->getUserById("A200000002", std::nullopt);
    carol_ = userList_->getUserById("A300000003", std::nullopt);
    // The red lines of the room's history, oldest first.
    const auto redLines = [&] {
        std::vector<std::string> lines;
        for (const auto& entry : chat->lastLogEnties(0)) {
            if (auto line = std::dynamic_pointer_cast<SystemMessage>(entry);
                line && line->error()) {
                lines.insert(lines.begin(), line->text());
            }
        }
        return lines;
    };
    const std::string undelivered =
        "This message could not be delivered because nobody in this conversation could be "
        "reached.";

    // Somebody from the history is asked; the texts written meanwhile go out with the answer.
    bob_->setStatus("0");
    carol_->setStatus("0");
    clearRecords();
    chat->sendMessage("one");
    chat->sendMessage("two");
    ASSERT_EQ(messages_.sent.size(), 1u);
    EXPECT_EQ(messages_.sent[0].packet.text(0), "CRGRI");
    EXPECT_EQ(messages_.sent[0].to, bob_->userId());
    Chat::receivedJoinInfo(
        from(bob_->userId(), "CRGRR", "4711", "A200000002," + me_->userId() + ",A300000003"));
    std::vector<std::string> sent;
    for (const auto& request : messages_.sent) {
        sent.push_back(std::string(request.packet.text(0)) + " " + request.to + " " +
                       std::string(request.packet.text(6)));
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"CRGRI A200000002 *", "CRSM A200000002 one",
                                              "CRSM A300000003 one", "CRSM A200000002 two",
                                              "CRSM A300000003 two"}));
    loop_.runUntil([] { return false; }, Duration(60));
    EXPECT_TRUE(redLines().empty());

    // Nobody answers in time.
    chat->setCurrentUsers(std::nullopt);
    clearRecords();
    chat->sendMessage("unheard");
    ASSERT_EQ(messages_.sent.size(), 1u);
    int updates = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        "logUpdated", chat.get(), [&](const Notification&) { ++updates; });
    loop_.runUntil([] { return false; }, Duration(14));
    EXPECT_TRUE(redLines().empty());
    loop_.runUntil([] { return false; }, Duration(2));
    EXPECT_EQ(redLines(), std::vector<std::string>{undelivered});
    EXPECT_EQ(updates, 1);
    EXPECT_FALSE(context_->hasChanges());

    // Nobody from the history is online, or no member is: a red line at once.
    bob_->setStatus("10");
    carol_->setStatus("10");
    clearRecords();
    chat->sendMessage("alone");
    chat->setCurrentUsers(Chat::Members{bob_, carol_});
    chat->sendMessage("still alone");
    EXPECT_TRUE(messages_.sent.empty());
    EXPECT_EQ(redLines(), (std::vector<std::string>{undelivered, undelivered, undelivered}));
}

TEST_F(ChatTest, TheFirstMessageDateIsTheEarliestMessage) {
    auto chat = roomWithBobAndCarol();
    EXPECT_EQ(chat->firstMessageDate(), std::nullopt);
    const Date first = now();
    chat->sendMessage("one");
    advance(5);
    Chat::receivedMessage(from(bob_->userId(), "CRSM", "4711", "two"));
    saveIfChanged(*context_);
    ASSERT_TRUE(chat->firstMessageDate());
    EXPECT_LT(std::chrono::abs(*chat->firstMessageDate() - first), 1ms);
}

}  // namespace
}  // namespace corvaline
