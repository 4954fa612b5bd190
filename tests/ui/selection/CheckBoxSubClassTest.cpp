#include "ui/selection/CheckBoxSubClass.h"

#include "ui/selection/SelectionHost.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::CheckBoxSubClass;

// A window that shows every user of a group.
class Host : public ui::SelectionHost {
  public:
    std::vector<User*> shownUsers(Group& group) const override { return group.users(); }
};

class CheckBoxSubClassTest : public ConversationTest {
  protected:
    Host host_;
    std::unique_ptr<CheckBoxSubClass> group_;
    std::unique_ptr<CheckBoxSubClass> ann_box_;
    std::unique_ptr<CheckBoxSubClass> bob_box_;
    std::unique_ptr<CheckBoxSubClass> eve_box_;

    void makeBoxes() {
        group_ = std::make_unique<CheckBoxSubClass>(*friends_, host_);
        ann_box_ = std::make_unique<CheckBoxSubClass>(*ann_, host_);
        bob_box_ = std::make_unique<CheckBoxSubClass>(*bob_, host_);
        eve_box_ = std::make_unique<CheckBoxSubClass>(*eve_, host_);
    }
};

TEST_F(CheckBoxSubClassTest, GroupBoxFollowsItsUsersAndClicksChooseThemAll) {
    makeBoxes();
    EXPECT_EQ(group_->checkState(), Qt::Unchecked);
    ann_box_->click();
    EXPECT_TRUE(host_.selection().contains(ann_.get()));
    EXPECT_EQ(group_->checkState(), Qt::PartiallyChecked);

    group_->click();  // mixed: all of them
    EXPECT_EQ(group_->checkState(), Qt::Checked);
    EXPECT_EQ(host_.selection(), (std::set<TreeItem*>{ann_.get(), bob_.get(), eve_.get()}));
    EXPECT_EQ(eve_box_->checkState(), Qt::Checked);

    bob_box_->click();
    EXPECT_EQ(group_->checkState(), Qt::PartiallyChecked);
    bob_box_->click();  // the last one missing
    EXPECT_EQ(group_->checkState(), Qt::Checked);

    group_->click();
    EXPECT_TRUE(host_.selection().empty());
    EXPECT_EQ(ann_box_->checkState(), Qt::Unchecked);
}

TEST_F(CheckBoxSubClassTest, AChosenGroupBecomesItsShownUsers) {
    host_.selection() = {friends_.get()};
    makeBoxes();
    EXPECT_EQ(group_->checkState(), Qt::Checked);
    EXPECT_EQ(host_.selection(), (std::set<TreeItem*>{ann_.get(), bob_.get(), eve_.get()}));
    EXPECT_EQ(bob_box_->checkState(), Qt::Checked);
}

// The list deletes a box whose row went only later, from the event loop: until then the box
// follows the selection without reading its freed user (ASan).
TEST_F(CheckBoxSubClassTest, ABoxWhoseUserWasDeletedDoesNothing) {
    User* gus = makeUnheldUser("A100000009", "Gus");
    makeBoxes();
    CheckBoxSubClass gusBox(*gus, host_);
    gusBox.click();
    ASSERT_EQ(host_.selection(), (std::set<TreeItem*>{gus}));
    ASSERT_TRUE(deleteAndSave(gus));
    EXPECT_TRUE(host_.selection().empty());
    EXPECT_EQ(gusBox.item(), nullptr);

    ann_box_->click();
    gusBox.click();
    EXPECT_EQ(host_.selection(), (std::set<TreeItem*>{ann_.get()}));
    EXPECT_EQ(group_->checkState(), Qt::PartiallyChecked);
}

}  // namespace
}  // namespace corvaline::testing
