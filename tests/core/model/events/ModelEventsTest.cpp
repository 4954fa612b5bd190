#include "core/model/events/ModelEvents.h"

#include <gtest/gtest.h>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/support/ModelTest.h"

namespace corvaline {
namespace {

// Every model event as one line of text, in the order they came.
class ModelEventsTest : public testing::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        saveIfChanged(*context_);
        loop_.runPending();
        auto& events = ModelEvents::shared();
        tokens_.push_back(events.observeUserInserted([this](User& user, Group& group) {
            heard("inserted " + user.userId() + " " + group.name());
        }));
        tokens_.push_back(events.observeUserRemoved([this](User& user, Group& group) {
            heard("removed " + user.userId() + " " + group.name());
        }));
        tokens_.push_back(events.observeUserMoved([this](User& user, Group& from, Group& to) {
            heard("moved " + user.userId() + " " + from.name() + " " + to.name());
        }));
        tokens_.push_back(events.observeUserChanged([this](User& user, std::string_view key) {
            heard("changed " + user.userId() + " " + std::string(key));
        }));
        tokens_.push_back(events.observeGroupInserted(
            [this](Group& group) { heard("group inserted " + group.name()); }));
        tokens_.push_back(events.observeGroupRenamed(
            [this](Group& group) { heard("group renamed " + group.name()); }));
        tokens_.push_back(events.observeGroupRemoved(
            [this](Group& group) { heard("group removed " + group.name()); }));
        tokens_.push_back(events.observeGroupExpandedChanged([this](Group& group, bool expanded) {
            heard("group expanded " + group.name() + (expanded ? " yes" : " no"));
        }));
        tokens_.push_back(events.observeUserHistoryAppended([this](User& user, LogEntry& entry) {
            const auto* message = dynamic_cast<const Message*>(&entry);
            heard("history " + user.userId() + " " + (message ? message->message() : "?") +
                  (context_->hasChanges() ? " unsaved" : ""));
        }));
        tokens_.push_back(events.observeChatHistoryAppended([this](Chat& chat, LogEntry& entry) {
            const auto* message = dynamic_cast<const Message*>(&entry);
            heard("chat history " + std::to_string(chat.roomId()) + " " +
                  (message ? message->message() : "?"));
        }));
        tokens_.push_back(events.observeChatMembersChanged([this](Chat& chat) {
            std::string members;
            for (const auto& user : chat.currentUsers().value_or(Chat::Members{})) {
                members += " " + user->userId();
            }
            heard("chat members " + std::to_string(chat.roomId()) + members);
        }));
    }
    void TearDown() override {
        tokens_.clear();
        ModelTest::TearDown();
    }

    void heard(std::string line) { events_.push_back(std::move(line)); }
    // The lines heard since the last call.
    std::vector<std::string> take() { return std::exchange(events_, {}); }
    // Only the lines that begin with `prefix`, since the last call.
    std::vector<std::string> take(std::string_view prefix) {
        std::vector<std::string> lines;
        for (auto& line : take()) {
            if (line.starts_with(prefix)) {
                lines.push_back(std::move(line));
            }
        }
        return lines;
    }

    // A presence packet from another copy, decoded, with the sender's address appended.
    static Packet presence(std::string type, std::string status, std::string id,
                           std::string name = "*") {
        return Packet{
            std::move(type), std::move(status), "host-b", std::move(id), "*",       "*", "*",
            std::move(name), "12345",           "0",      "2",           "10.0.0.2"};
    }

    std::vector<ObservationToken> tokens_;
    std::vector<std::string> events_;
};

TEST_F(ModelEventsTest, APresencePacketInsertsTheUserIntoItsGroupOnce) {
    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A100000001", "Ann"));
    const auto user = userList_->getUserById("A100000001", std::nullopt);
    ASSERT_NE(user, nullptr);
    const auto inserted = take("inserted");
    EXPECT_EQ(inserted, std::vector<std::string>{"inserted A100000001 General"});

    userList_->UpdateUserDataWithUDP(presence("UI", "0", "A100000001", "Ann"));
    EXPECT_EQ(take("inserted"), std::vector<std::string>{});
}

TEST_F(ModelEventsTest, AttributeChangesCarryTheirKeyAndUnchangedValuesStayQuiet) {
    const auto user = userList_->getUserById("A100000001", "10.0.0.2");
    take();

    user->setStatus("2");
    EXPECT_EQ(take(),
              (std::vector<std::string>{"changed A100000001 userOffline",
                                        "changed A100000001 status", "changed A100000001 icon"}));
    user->setStatus("2");
    EXPECT_EQ(take(), std::vector<std::string>{}) << "nothing changed";

    user->setName("Ann");
    user->setIp("10.0.0.9");
    user->setSeenLastTime(now() + std::chrono::seconds(5));
    user->setTypingReceived(now());
    EXPECT_EQ(take(), (std::vector<std::string>{"changed A100000001 name", "changed A100000001 ip",
                                                "changed A100000001 typingReceived"}));

    // The local user is in the list like any other.
    userList_->me()->setName("Me myself");
    EXPECT_EQ(take("changed"),
              std::vector<std::string>{"changed " + userList_->me()->userId() + " name"});
}

TEST_F(ModelEventsTest, OneKeyCanBeObservedAlone) {
    const auto user = userList_->getUserById("A100000001", "10.0.0.2");
    std::vector<std::string> names;
    auto token =
        ModelEvents::shared().observeUserChanged("name", [&](User& changed, std::string_view key) {
            names.push_back(changed.name() + " " + std::string(key));
        });
    user->setStatus("0");
    user->setName("Ann");
    EXPECT_EQ(names, std::vector<std::string>{"Ann name"});
}

TEST_F(ModelEventsTest, GroupsAndMovesBetweenThem) {
    const auto user = userList_->getUserById("A100000001", "10.0.0.2");
    Group* general = user->group();
    take();

    const auto group = userList_->AddNewGroup();
    group->setName("Lab");
    group->setExpanded(true);
    EXPECT_EQ(take(), (std::vector<std::string>{"group inserted New Group", "group renamed Lab",
                                                "group expanded Lab yes"}));

    user->setGroup(group.get());
    general->addOnlineUsersObject(*user);  // the inverse side moves it back
    EXPECT_EQ(take(), (std::vector<std::string>{"moved A100000001 General Lab",
                                                "moved A100000001 Lab General"}));

    user->setGroup(group.get());
    take();
    context_->deleteObject(*group);
    EXPECT_EQ(take(), (std::vector<std::string>{"removed A100000001 Lab", "group removed Lab"}));

    user->setGroup(general);
    EXPECT_EQ(take(), std::vector<std::string>{"inserted A100000001 General"});
}

TEST_F(ModelEventsTest, RemovedAndDeletedUsersLeaveTheListAndARemovedOneComesBack) {
    const auto ann = userList_->getUserById("A100000001", "10.0.0.2");
    const auto bob = userList_->getUserById("A100000002", "10.0.0.3");
    take();

    ann->setRemoved(true);
    EXPECT_EQ(take(), std::vector<std::string>{"removed A100000001 General"});
    ann->setStatus("0");  // seen again: back in its group
    EXPECT_EQ(take("inserted"), std::vector<std::string>{"inserted A100000001 General"});

    context_->deleteObject(*bob);
    EXPECT_EQ(take(), std::vector<std::string>{"removed A100000002 General"});
}

TEST_F(ModelEventsTest, MessagesAreAnnouncedOnceStoredForEachHistory) {
    const auto ann = userList_->getUserById("A100000001", "10.0.0.2");
    const auto bob = userList_->getUserById("A100000002", "10.0.0.3");
    ann->setStatus("0");
    bob->setStatus("0");
    take();

    ann->SendMessage("to Ann");
    EXPECT_EQ(take("history"), std::vector<std::string>{"history A100000001 to Ann"});
    ann->SendMessage("to both", std::vector<User*>{ann.get(), bob.get()});
    EXPECT_EQ(take("history"), (std::vector<std::string>{"history A100000001 to both",
                                                         "history A100000002 to both"}));

    const auto& me = userList_->me();
    Message::gotMessage(Packet{"TSM", "4242", "host-b", ann->userId(), "*", me->userId(),
                               "from Ann", "*", "0", "2"},
                        "10.0.0.2");
    saveIfChanged(*context_);  // as the message service does before it answers
    EXPECT_EQ(take("history"), std::vector<std::string>{}) << "announced on the next turn";
    loop_.runPending();
    EXPECT_EQ(take("history"), std::vector<std::string>{"history A100000001 from Ann"});
}

TEST_F(ModelEventsTest, ChatMembersAndChatHistory) {
    const auto ann = userList_->getUserById("A100000001", "10.0.0.2");
    const auto bob = userList_->getUserById("A100000002", "10.0.0.3");
    ann->setStatus("0");
    bob->setStatus("0");
    const auto chat = Chat::createWithUsers({ann}, std::nullopt);
    ASSERT_NE(chat, nullptr);
    const std::string room = std::to_string(chat->roomId());
    take();

    chat->addCurrentUsersObject(*bob);
    chat->addCurrentUsersObject(*bob);
    chat->removeCurrentUsersObject(*ann);
    EXPECT_EQ(take(), (std::vector<std::string>{"chat members " + room + " A100000001 A100000002",
                                                "chat members " + room + " A100000002"}));

    chat->sendMessage("to the room");
    EXPECT_EQ(take("chat history"),
              std::vector<std::string>{"chat history " + room + " to the room"});
}

TEST_F(ModelEventsTest, AnObserverWhoseTokenIsGoneIsNotCalled) {
    const auto user = userList_->getUserById("A100000001", "10.0.0.2");
    int calls = 0;
    auto token =
        ModelEvents::shared().observeUserChanged([&](User&, std::string_view) { ++calls; });
    user->setName("Ann");
    EXPECT_EQ(calls, 1);
    token.remove();
    user->setName("Anna");
    {
        auto scoped =
            ModelEvents::shared().observeUserChanged([&](User&, std::string_view) { ++calls; });
    }
    user->setName("Annie");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace corvaline
