#include "ui/selection/CheckBoxSubClass.h"

#include "ui/selection/SelectionHost.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::CheckBoxSubClass;

// A window that shows every user of a group.
class Host : public ui::SelectionHost {
  public:
    std::set<TreeItem*>& selection() override { return chosen; }
    std::vector<User*> shownUsers(Group& group) const override { return group.users(); }
    std::set<TreeItem*> chosen;
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
    EXPECT_TRUE(host_.chosen.contains(ann_.get()));
    EXPECT_EQ(group_->checkState(), Qt::PartiallyChecked);

    group_->click();  // mixed: all of them
    EXPECT_EQ(group_->checkState(), Qt::Checked);
    EXPECT_EQ(host_.chosen, (std::set<TreeItem*>{ann_.get(), bob_.get(), eve_.get()}));
    EXPECT_EQ(eve_box_->checkState(), Qt::Checked);

    bob_box_->click();
    EXPECT_EQ(group_->checkState(), Qt::PartiallyChecked);
    bob_box_->click();  // the last one missing
    EXPECT_EQ(group_->checkState(), Qt::Checked);

    group_->click();
    EXPECT_TRUE(host_.chosen.empty());
    EXPECT_EQ(ann_box_->checkState(), Qt::Unchecked);
}

TEST_F(CheckBoxSubClassTest, AChosenGroupBecomesItsShownUsers) {
    host_.chosen = {friends_.get()};
    makeBoxes();
    EXPECT_EQ(group_->checkState(), Qt::Checked);
    EXPECT_EQ(host_.chosen, (std::set<TreeItem*>{ann_.get(), bob_.get(), eve_.get()}));
    EXPECT_EQ(bob_box_->checkState(), Qt::Checked);
}

}  // namespace
}  // namespace corvaline::testing
