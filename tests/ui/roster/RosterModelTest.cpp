#include "ui/roster/RosterModel.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include "ui/roster/RosterTest.h"

namespace corvaline::testing {
namespace {

using RosterModelTest = RosterTest;

TEST_F(RosterModelTest, GroupsByNameUsersOnlineFirstThenByNameRemovedHidden) {
    EXPECT_EQ(tree(), "Friends[ann,dave,Bob] work[Eve] Zoo[]");
}

TEST_F(RosterModelTest, HidingOfflineUsersFiltersThemAndGivesGrouplessOnesAGroup) {
    auto loner = context_->insert<User>();
    loner->setUserId("A9");
    loner->setName("Lone");
    loner->setStatus("10");
    loner->setGroup(nullptr);
    UserDefaults::standard().setBool("hideOfflineUsers", true);
    EXPECT_EQ(tree(), "Friends[ann,dave] General[] work[] Zoo[]");
    ASSERT_NE(loner->group(), nullptr);
    EXPECT_EQ(loner->group()->name(), "General");
    user("A2")->setStatus("0");  // Bob comes online: shown on the queue's next turn
    loop_->runPending();
    EXPECT_EQ(tree(), "Friends[ann,Bob,dave] General[] work[] Zoo[]");
    UserDefaults::standard().setBool("hideOfflineUsers", false);
    EXPECT_EQ(tree(), "Friends[ann,Bob,dave] General[Lone] work[Eve] Zoo[]");
}

TEST_F(RosterModelTest, ChangesArriveRowByRowNeverAsAReset) {
    QSignalSpy resets(model_.get(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model_.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model_.get(), &QAbstractItemModel::rowsRemoved);
    addUser("A6", "Fay", "0", work_);
    loop_->runPending();
    EXPECT_EQ(inserted.count(), 1);
    user("A3")->setStatus("0");  // removed Cid is back
    loop_->runPending();
    EXPECT_EQ(inserted.count(), 2);
    user("A1")->setRemoved(true);
    EXPECT_EQ(removed.count(), 1);  // at once: the record may go before the next turn
    user("A2")->setGroup(zoo_);
    addGroup("Alpha");
    runFor(0.05);
    EXPECT_EQ(tree(), "Alpha[] Friends[Cid,dave] work[Fay,Eve] Zoo[Bob]");
    EXPECT_EQ(resets.count(), 0);
}

TEST_F(RosterModelTest, ChangesOfOneTurnShowTogetherOnTheNextEveryGroupInOrder) {
    QSignalSpy layouts(model_.get(), &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(model_.get(), &QAbstractItemModel::rowsInserted);
    user("A1")->setName("zed");
    user("A4")->setName("Abe");
    user("A5")->setName("Aaron");  // in work, after Friends
    addUser("A7", "Ada", "10", work_);
    addUser("A8", "Al", "10", work_);  // Ada and Al fall between the same rows
    EXPECT_EQ(tree(), "Friends[zed,Abe,Bob] work[Aaron] Zoo[]");  // not yet
    loop_->runPending();
    EXPECT_EQ(tree(), "Friends[Abe,zed,Bob] work[Aaron,Ada,Al] Zoo[]");
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(layouts.count(), 0);  // rows moved, never laid out anew

    user("A4")->setStatus("10");  // Abe goes offline: after Bob
    user("A2")->setName("Zack");
    loop_->runPending();
    EXPECT_EQ(tree(), "Friends[zed,Abe,Zack] work[Aaron,Ada,Al] Zoo[]");
}

TEST_F(RosterModelTest, UsersGoingOnlineInManyGroupsAtOnceAreAllInPlace) {
    QSignalSpy resets(model_.get(), &QAbstractItemModel::modelReset);
    addUser("A6", "Ada", "10", work_);
    user("A5")->setStatus("0");  // Eve in work, then Bob in Friends, in one turn
    user("A2")->setStatus("0");
    loop_->runPending();
    EXPECT_EQ(tree(), "Friends[ann,Bob,dave] work[Eve,Ada] Zoo[]");
    EXPECT_EQ(resets.count(), 0);
}

TEST_F(RosterModelTest, DropRules) {
    auto* ann = user("A1");
    auto* bob = user("A2");
    const QModelIndex annRow = model_->indexOf(ann);
    const QModelIndex bobRow = model_->indexOf(bob);
    const QModelIndex friendsRow = model_->indexOf(friends_);
    const QModelIndex workRow = model_->indexOf(work_);
    std::unique_ptr<QMimeData> users(model_->mimeData({annRow}));
    const struct {
        const char* what;
        int row;
        QModelIndex parent;
        Qt::DropAction expected;
    } userDrops[] = {
        {"onto empty space", -1, {}, Qt::IgnoreAction},
        {"between groups", 1, {}, Qt::IgnoreAction},
        {"onto a group", -1, workRow, Qt::MoveAction},
        {"between rows of a group", 0, workRow, Qt::IgnoreAction},
        {"onto a user", -1, bobRow, Qt::MoveAction},
    };
    for (const auto& drop : userDrops) {
        EXPECT_EQ(model_->validateDrop(users.get(), drop.row, drop.parent), drop.expected)
            << drop.what;
    }
    std::unique_ptr<QMimeData> withGroup(model_->mimeData({annRow, workRow}));
    EXPECT_EQ(model_->validateDrop(withGroup.get(), -1, friendsRow), Qt::IgnoreAction);
    std::unique_ptr<QMimeData> groupOnly(model_->mimeData({workRow}));
    EXPECT_EQ(model_->validateDrop(groupOnly.get(), -1, friendsRow), Qt::IgnoreAction);

    // Dropped onto Eve, Ann goes to Eve's group.
    users.reset(model_->mimeData({annRow}));
    EXPECT_TRUE(
        model_->dropMimeData(users.get(), Qt::MoveAction, -1, 0, model_->indexOf(user("A5"))));
    EXPECT_EQ(ann->group(), work_);
    EXPECT_EQ(tree(), "Friends[dave,Bob] work[ann,Eve] Zoo[]");
    EXPECT_FALSE(context_->hasChanges());
    model_->dragEnded();

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/b")});
    std::vector<std::string> sent;
    model_->setSendFiles([&](const std::vector<std::string>& paths, User& to) {
        sent = paths;
        return to.userId() == "A1";
    });
    EXPECT_EQ(model_->validateDrop(&files, -1, model_->indexOf(bob)), Qt::IgnoreAction);
    EXPECT_EQ(model_->validateDrop(&files, -1, friendsRow), Qt::IgnoreAction);
    EXPECT_EQ(model_->validateDrop(&files, -1, model_->indexOf(ann)), Qt::CopyAction);
    EXPECT_FALSE(model_->dropMimeData(&files, Qt::CopyAction, -1, 0, model_->indexOf(bob)));
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(model_->dropMimeData(&files, Qt::CopyAction, -1, 0, model_->indexOf(ann)));
    EXPECT_EQ(sent, (std::vector<std::string>{"/tmp/a.txt", "/tmp/b"}));
}

TEST_F(RosterModelTest, GroupsAreRenamedInPlaceThroughTheGroupNameRule) {
    const QModelIndex zoo = model_->indexOf(zoo_);
    EXPECT_TRUE(model_->flags(zoo) & Qt::ItemIsEditable);
    EXPECT_FALSE(model_->flags(model_->indexOf(user("A1"))) & Qt::ItemIsEditable);
    EXPECT_TRUE(model_->setData(zoo, QString(), Qt::EditRole));
    EXPECT_EQ(zoo_->name(), "Zoo");  // emptied: the old name stays
    EXPECT_TRUE(model_->setData(zoo, QString("A:team*"), Qt::EditRole));
    EXPECT_EQ(zoo_->name(), "A:team*");
    EXPECT_EQ(tree(), "A:team*[] Friends[ann,dave,Bob] work[Eve]");
    EXPECT_FALSE(context_->hasChanges());
}

TEST_F(RosterModelTest, PeerNamesAreShownAsTheyAre) {
    user("A1")->setName("<b>ann</b>");
    runFor(0.05);
    const QModelIndex row = model_->indexOf(user("A1"));
    EXPECT_EQ(row.data().toString(), "<b>ann</b>");
    EXPECT_EQ(row.data(Qt::AccessibleTextRole).toString(), "<b>ann</b>");
}

}  // namespace
}  // namespace corvaline::testing
