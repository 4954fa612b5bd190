#include "ui/mass/MassMessage.h"

#include <QFontInfo>
#include <QPushButton>
#include <QTreeView>

#include "ui/conversation/TextViewForSending.h"
#include "ui/roster/RosterModel.h"
#include "ui/selection/CheckBoxSubClass.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::MassMessage;

class MassMessageTest : public ConversationTest {
  protected:
    MassMessage* open(const std::vector<TreeItem*>& rows, std::optional<int> tag = std::nullopt) {
        window_ = new MassMessage(rows);
        if (tag) {
            window_->selectEveryone(*tag);
        }
        window_->show();
        return window_;
    }

    ui::CheckBoxSubClass* box(const TreeItem& item) const {
        auto* model = static_cast<ui::RosterModel*>(window_->outlineView()->model());
        return qobject_cast<ui::CheckBoxSubClass*>(
            window_->outlineView()->indexWidget(model->indexOf(&item)));
    }

    std::set<TreeItem*> users(std::initializer_list<std::shared_ptr<User>> users) {
        std::set<TreeItem*> items;
        for (const auto& user : users) {
            items.insert(user.get());
        }
        return items;
    }

    // The newest entry of the user's history, as a message.
    static std::shared_ptr<Message> lastMessage(const User& user) {
        const auto entries = user.lastLogEnties(1);
        return entries.empty() ? nullptr : std::dynamic_pointer_cast<Message>(entries.front());
    }

    QPointer<MassMessage> window_;
};

TEST_F(MassMessageTest, OpeningWithNothingSelectedChoosesByTheCommandsTag) {
    const struct {
        int tag;
        bool hideOffline;
        std::set<TreeItem*> chosen;
        Qt::CheckState group;
    } cases[] = {
        {MassMessage::kEverybody, false, users({ann_, bob_, eve_}), Qt::Checked},
        {MassMessage::kOnline, false, users({ann_, bob_}), Qt::PartiallyChecked},
        // Eve is not shown: the online users are all the group shows.
        {MassMessage::kOnline, true, users({ann_, bob_}), Qt::Checked},
        {MassMessage::kNobody, false, {}, Qt::Unchecked},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "tag " << c.tag << " hide " << c.hideOffline);
        setDefault("hideOfflineUsers", c.hideOffline);
        open({}, c.tag);
        EXPECT_EQ(window_->selection(), c.chosen);
        ASSERT_NE(box(*friends_), nullptr);
        EXPECT_EQ(box(*friends_)->checkState(), c.group);
        EXPECT_EQ(box(*ann_)->checkState(), c.chosen.empty() ? Qt::Unchecked : Qt::Checked);
        // The local user has no row to tick.
        EXPECT_FALSE(window_->selection().contains(userList_->me().get()));
        auto* model = static_cast<ui::RosterModel*>(window_->outlineView()->model());
        EXPECT_FALSE(model->indexOf(userList_->me().get()).isValid());
        EXPECT_EQ(window_->sendButton()->isEnabled(), !c.chosen.empty());
        closeAllWindows();
    }
}

TEST_F(MassMessageTest, ASelectedGroupBecomesItsShownUsersAndTheLocalUserIsLeftOut) {
    open({friends_.get(), userList_->me().get()});
    EXPECT_EQ(window_->selection(), users({ann_, bob_, eve_}));
    EXPECT_EQ(box(*friends_)->checkState(), Qt::Checked);
    EXPECT_EQ(box(*eve_)->checkState(), Qt::Checked);
}

TEST_F(MassMessageTest, TickingTheLastMissingUserOrAMixedGroupChoosesTheWholeGroup) {
    open({ann_.get()});
    EXPECT_EQ(box(*friends_)->checkState(), Qt::PartiallyChecked);
    box(*bob_)->click();
    EXPECT_EQ(box(*friends_)->checkState(), Qt::PartiallyChecked);
    box(*eve_)->click();
    EXPECT_EQ(box(*friends_)->checkState(), Qt::Checked);

    box(*bob_)->click();
    EXPECT_EQ(box(*friends_)->checkState(), Qt::PartiallyChecked);
    box(*friends_)->click();
    EXPECT_EQ(window_->selection(), users({ann_, bob_, eve_}));
    EXPECT_EQ(box(*bob_)->checkState(), Qt::Checked);
    box(*friends_)->click();
    EXPECT_TRUE(window_->selection().empty());
}

TEST_F(MassMessageTest, SendingGoesAsOneMassMessageToTheGroupsUsersAndClosesTheWindow) {
    open({friends_.get()});
    window_->messageTextView()->setPlainText(QStringLiteral("to all friends"));
    window_->sendButton()->click();
    processEvents();
    EXPECT_TRUE(window_.isNull());
    const auto sent = lastMessage(*bob_);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent->message(), "to all friends");
    EXPECT_TRUE(sent->mass());
    std::set<std::string> to;
    for (auto* user : sent->user()) {
        to.insert(user->name());
    }
    EXPECT_EQ(to, (std::set<std::string>{"Ann", "Bob", "Eve"}));
    ASSERT_NE(lastMessage(*ann_), nullptr);
    EXPECT_EQ(lastMessage(*ann_)->objectId(), sent->objectId());
}

TEST_F(MassMessageTest, TheTypedTextIsAsManyPixelsAsFontSizeSays) {
    open({});
    EXPECT_EQ(QFontInfo(window_->messageTextView()->font()).pixelSize(), 18);  // the default
    setDefault("fontSize", 25);
    EXPECT_EQ(QFontInfo(window_->messageTextView()->font()).pixelSize(), 25);
}

TEST_F(MassMessageTest, NobodyChosenKeepsSendDisabledAndTheTypedText) {
    open({}, MassMessage::kNobody);
    auto* input = window_->messageTextView();
    input->setPlainText(QStringLiteral("draft"));
    EXPECT_FALSE(window_->sendButton()->isEnabled());
    input->sendMessage();  // Return in the input
    processEvents();
    ASSERT_FALSE(window_.isNull());
    EXPECT_EQ(input->toPlainText(), "draft");
    EXPECT_EQ(lastMessage(*ann_), nullptr);

    box(*ann_)->click();
    EXPECT_TRUE(window_->sendButton()->isEnabled());
    box(*ann_)->click();
    EXPECT_FALSE(window_->sendButton()->isEnabled());
}

// Under ASan this also shows that no path reads the freed user: its box (gone from the list
// only once the event loop deletes it) and every walk over the selection.
TEST_F(MassMessageTest, AUserDeletedWhileChosenLeavesTheSelectionAndTheOthersGetTheText) {
    User* gus = makeUnheldUser("A100000009", "Gus");
    open({}, MassMessage::kOnline);
    ASSERT_TRUE(window_->selection().contains(gus));
    ASSERT_TRUE(deleteAndSave(gus));
    EXPECT_EQ(window_->selection(), users({ann_, bob_}));  // compares addresses only

    window_->selectEveryone(MassMessage::kOnline);
    EXPECT_EQ(window_->selection(), users({ann_, bob_}));
    box(*bob_)->click();
    box(*friends_)->click();  // mixed: all the shown users
    EXPECT_EQ(window_->selection(), users({ann_, bob_, eve_}));
    box(*eve_)->click();
    window_->messageTextView()->setPlainText(QStringLiteral("after Gus"));
    window_->sendButton()->click();
    processEvents();
    const auto sent = lastMessage(*ann_);
    ASSERT_NE(sent, nullptr);
    std::set<std::string> to;
    for (auto* user : sent->user()) {
        to.insert(user->name());
    }
    EXPECT_EQ(to, (std::set<std::string>{"Ann", "Bob"}));
}

TEST_F(MassMessageTest, BoxesShowAmpersandsAsTypedAndFollowRenames) {
    ann_->setName("R&D");
    Group* team = Group::insertNamed(*context_, "Sales & Support").get();
    open({}, MassMessage::kNobody);
    const struct {
        TreeItem* item;
        const char* shown;
    } before[] = {{ann_.get(), "R&D"}, {team, "Sales & Support"}};
    for (const auto& [item, shown] : before) {
        SCOPED_TRACE(shown);
        // Doubled, a "&" is drawn as itself and marks no Alt shortcut.
        EXPECT_EQ(box(*item)->text(), QString(shown).replace("&", "&&"));
        EXPECT_TRUE(box(*item)->shortcut().isEmpty());
    }
    ann_->setName("Q&A");
    team->setName("Team");
    loop_.runPending();  // the list applies a turn's changes in the next
    EXPECT_EQ(box(*ann_)->text(), "Q&&A");
    EXPECT_EQ(box(*team)->text(), "Team");
    EXPECT_TRUE(box(*ann_)->shortcut().isEmpty());
}

}  // namespace
}  // namespace corvaline::testing
