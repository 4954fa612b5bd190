#include "ui/roster/RosterView.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "ui/roster/RosterTest.h"

namespace corvaline::testing {
namespace {

class RosterViewTest : public RosterTest {
  protected:
    void SetUp() override {
        RosterTest::SetUp();
        view().setMenus(&global_, &group_, &user_, &groupsList_);
        view().expandAll();
    }
    // One change of the selection, as a click makes it.
    void select(const std::vector<TreeItem*>& items) {
        QItemSelection selection;
        for (auto* item : items) {
            selection.select(model_->indexOf(item), model_->indexOf(item));
        }
        view().selectionModel()->select(
            selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QPoint center(const TreeItem* item) {
        return view().visualRect(model_->indexOf(item)).center();
    }

    QMenu global_, group_, user_, groupsList_;
};

TEST_F(RosterViewTest, SelectionFlagsFollowTheSelection) {
    using F = ui::SelectionFlags;
    auto* ann = user("A1");
    auto* bob = user("A2");
    select({ann});
    EXPECT_EQ(view().flags(), (F{false, true, false, true, false, true}));
    select({friends_});  // keeps the conversation flag of the user before
    EXPECT_EQ(view().flags(), (F{true, false, false, true, true, false}));
    select({bob});
    EXPECT_EQ(view().flags(), (F{false, true, false, true, false, false}));
    select({zoo_});
    EXPECT_EQ(view().flags(), (F{true, false, true, true, false, false}));
    select({work_});  // only an offline user: nobody to talk to
    EXPECT_EQ(view().flags(), (F{true, false, false, true, false, false}));
    select({ann, bob});
    EXPECT_EQ(view().flags(), F{});
    select({});
    EXPECT_EQ(view().flags(), F{});
}

TEST_F(RosterViewTest, ContextMenusDependOnTheRowUnderTheMouse) {
    select({user("A1")});
    EXPECT_EQ(view().menuForPosition(QPoint(5, view().viewport()->height() - 2)), &global_);
    EXPECT_TRUE(view().selectedItems().empty());
    EXPECT_EQ(view().menuForPosition(center(work_)), &group_);
    EXPECT_EQ(view().selectedItem(), work_);
    EXPECT_EQ(view().menuForPosition(center(user("A4"))), &user_);
    EXPECT_EQ(view().selectedItem(), user("A4"));
    QStringList titles;
    for (auto* action : groupsList_.actions()) {
        titles.push_back(action->text());
    }
    EXPECT_EQ(titles, (QStringList{"Zoo", "work"}));  // the user's own group left out
}

TEST_F(RosterViewTest, MoveToGroupFindsTheChosenGroupEvenWhenNamesRepeat) {
    Group* second = addGroup("work");
    auto* dave = user("A4");
    view().menuForPosition(center(dave));
    QAction* chosen = nullptr;
    for (auto* action : groupsList_.actions()) {
        if (action->text() == "work") {
            chosen = action;  // the last "work" in the menu
        }
    }
    ASSERT_NE(chosen, nullptr);
    chosen->trigger();
    ASSERT_NE(dave->group(), friends_);
    EXPECT_TRUE(dave->group() == work_ || dave->group() == second);
    EXPECT_EQ(model_->shownUsers(*dave->group()).front(), dave);
}

TEST_F(RosterViewTest, MoveToGroupShowsAmpersandsAsTypedAndFollowsRenames) {
    zoo_->setName("R&D");
    view().menuForPosition(center(user("A4")));
    const auto shown = [this] {
        QStringList names;  // as drawn: a doubled "&" is drawn once and marks no shortcut
        for (auto* action : groupsList_.actions()) {
            names.push_back(action->iconText());
            EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty())
                << action->text().toStdString();
        }
        return names;
    };
    EXPECT_EQ(shown(), (QStringList{"R&D", "work"}));
    work_->setName("Q&A");  // while the menu is open
    EXPECT_EQ(shown(), (QStringList{"R&D", "Q&A"}));
}

TEST_F(RosterViewTest, SelectionFlagsFollowStatusChanges) {
    auto* ann = user("A1");
    auto* dave = user("A4");
    select({ann});
    EXPECT_TRUE(view().flags().isOnlineUserSelected);
    ann->setStatus("10");
    loop_->runPending();  // the list applies a turn's changes in the next
    EXPECT_FALSE(view().flags().isOnlineUserSelected);
    ann->setStatus("0");
    loop_->runPending();
    EXPECT_TRUE(view().flags().isOnlineUserSelected);

    select({friends_});
    EXPECT_TRUE(view().flags().canStartGroupConversationWithSelection);
    ann->setStatus("10");
    dave->setStatus("10");  // nobody of the group online
    loop_->runPending();
    EXPECT_FALSE(view().flags().canStartGroupConversationWithSelection);
    select({work_});
    user("A5")->setStatus("0");  // Eve's row stays where it is
    loop_->runPending();
    EXPECT_TRUE(view().flags().canStartGroupConversationWithSelection);
    UserDefaults::standard().setBool("hideOfflineUsers", true);
    select({friends_});
    dave->setStatus("0");  // comes back into the list
    loop_->runPending();
    EXPECT_TRUE(view().flags().canStartGroupConversationWithSelection);
}

TEST_F(RosterViewTest, ModifierClickTogglesRows) {
    const QPoint ann = center(user("A1"));
    const QPoint bob = center(user("A2"));
    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, ann);
    QTest::mouseClick(view().viewport(), Qt::LeftButton, Qt::ControlModifier, bob);
    EXPECT_EQ(view().selectedItems().size(), 2u);
    QTest::mouseClick(view().viewport(), Qt::LeftButton, Qt::ShiftModifier, ann);
    EXPECT_EQ(view().selectedItems(), std::vector<TreeItem*>{user("A2")});
    QTest::mouseClick(view().viewport(), Qt::LeftButton, Qt::ControlModifier,
                      QPoint(5, view().viewport()->height() - 2));
    EXPECT_EQ(view().selectedItems().size(), 1u);  // outside any row: nothing changes
}

TEST_F(RosterViewTest, DoubleClickingStartsAConversationOnlyForASingleSelection) {
    std::vector<User*> activated;
    QObject::connect(&view(), &ui::RosterView::userActivated,
                     [&](User* user) { activated.push_back(user); });
    const QPoint ann = center(user("A1"));
    const QPoint bob = center(user("A2"));
    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, ann);
    QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, ann);
    EXPECT_EQ(activated, std::vector<User*>{user("A1")});
    activated.clear();

    QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, ann);
    QTest::mouseClick(view().viewport(), Qt::LeftButton, Qt::ControlModifier, bob);
    ASSERT_EQ(view().selectedItems().size(), 2u);
    // The second press of a modifier-click on a selected row toggles it again.
    QTest::mouseDClick(view().viewport(), Qt::LeftButton, Qt::ControlModifier, ann);
    EXPECT_EQ(view().selectedItems(), std::vector<TreeItem*>{user("A2")});
    QTest::mouseDClick(view().viewport(), Qt::LeftButton, Qt::ShiftModifier, ann);
    EXPECT_EQ(view().selectedItems().size(), 2u);
    EXPECT_TRUE(activated.empty());
}

TEST_F(RosterViewTest, ReturnOnTheSelectedUserStartsAConversationAsADoubleClickDoes) {
    std::vector<User*> activated;
    QObject::connect(&view(), &ui::RosterView::userActivated,
                     [&](User* user) { activated.push_back(user); });
    const struct {
        std::vector<const char*> selected;  // clicked in order, later ones with Control
        Qt::Key key;
        std::vector<User*> opens;
    } cases[] = {
        {{"A1"}, Qt::Key_Return, {user("A1")}},
        {{"A2"}, Qt::Key_Enter, {user("A2")}},
        {{"A1", "A2"}, Qt::Key_Return, {}},  // several people: a choice, not a conversation
    };
    for (const auto& c : cases) {
        activated.clear();
        view().clearSelection();
        for (std::size_t i = 0; i < c.selected.size(); ++i) {
            QTest::mouseClick(view().viewport(), Qt::LeftButton,
                              i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                              center(user(c.selected[i])));
        }
        QTest::keyClick(&view(), c.key);
        EXPECT_EQ(activated, c.opens) << c.selected.size() << " " << c.key;
    }
    activated.clear();
    view().setCurrentIndex(model_->indexOf(friends_));
    QTest::keyClick(&view(), Qt::Key_Return);
    EXPECT_TRUE(activated.empty()) << "a group row opens nothing";
}

TEST_F(RosterViewTest, ExpansionIsKeptInTheGroupAndRenamingEditsInPlace) {
    view().collapse(model_->indexOf(work_));
    EXPECT_FALSE(work_->expanded());
    EXPECT_TRUE(friends_->expanded());
    view().startGroupRenaming(*zoo_);
    auto* editor = view().findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "Zoo");
    editor->selectAll();
    QTest::keyClicks(editor, "Birds");
    EXPECT_EQ(editor->text(), "Birds");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits on its next turn
    EXPECT_EQ(zoo_->name(), "Birds");
    EXPECT_EQ(model_->index(0, 0).data().toString(), "Birds");
}

}  // namespace
}  // namespace corvaline::testing
