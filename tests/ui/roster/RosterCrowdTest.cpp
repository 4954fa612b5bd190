#include <QSignalSpy>
#include <QTreeView>
#include <algorithm>
#include <map>
#include <random>

#include "core/codec/UserInfoRecord.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/support/ModelTest.h"
#include "ui/roster/RosterModel.h"
#include "ui/roster/RosterView.h"

namespace corvaline::testing {
namespace {

// A crowd of a few hundred users arriving, coming online, renaming, moving and leaving through
// the real roster controller, in bursts of one main-queue turn each: after every burst the
// main list holds exactly the rows a plain sort of the store gives, and the rows a burst moved
// kept their selection.
class RosterCrowdTest : public ModelTest {
  protected:
    static constexpr int kCrowd = 400;

    void SetUp() override {
        ModelTest::SetUp();
        userList_->updateMe();
        for (const char* name : {"sales", "Dev", "zeta"}) {
            groups_.push_back(Group::insertNamed(*context_, name).get());
        }
        model_ = std::make_unique<ui::RosterModel>(*context_, loop_);
        view_ = std::make_unique<ui::RosterView>(*model_);
        view_->resize(300, 400);
        view_->show();
        view_->expandAll();
    }

    void TearDown() override {
        view_.reset();
        model_.reset();
        ModelTest::TearDown();
    }

    // A presence packet from the crowd, as the presence service hands it over.
    static Packet presence(const std::string& type, const std::string& status,
                           const std::string& id, const std::string& name) {
        return Packet{type, status, "crowd", id, "*", "*", "*", name, "77", "0", "2", "10.9.0.9"};
    }
    static std::string idOf(int index) { return "B5" + std::to_string(10000000 + index); }
    std::shared_ptr<User> crowdUser(int index) {
        return userList_->getUserById(idOf(index), std::nullopt);
    }

    // Groups by name ignoring case, each with its listed users: online first, then by name
    // ignoring case, then by id. Straight from the store.
    static std::string reference(ObjectContext& context) {
        auto groups = context.fetch<Group>();
        const auto folded = [](const std::string& text) {
            return QString::fromStdString(text).toCaseFolded();
        };
        std::stable_sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
            return folded(a->name()) < folded(b->name());
        });
        std::string text;
        for (const auto& group : groups) {
            std::vector<User*> users;
            for (auto* user : group->users()) {
                if (!user->removed() && !user->isDeleted()) {
                    users.push_back(user);
                }
            }
            std::sort(users.begin(), users.end(), [&](const User* a, const User* b) {
                return std::tuple(a->userOffline(), folded(a->name()), a->userId()) <
                       std::tuple(b->userOffline(), folded(b->name()), b->userId());
            });
            text += group->name() + "[";
            for (const auto* user : users) {
                text += user->userId() + (user->userOffline() ? "-" : "+") + ",";
            }
            text += "] ";
        }
        return text;
    }

    // The same from the model's rows, checked against the view's row counts.
    std::string shown() const {
        std::string text;
        for (int row = 0; row < model_->rowCount(); ++row) {
            const QModelIndex group = model_->index(row, 0);
            EXPECT_EQ(view_->model()->rowCount(group), model_->rowCount(group));
            text += group.data().toString().toStdString() + "[";
            for (int child = 0; child < model_->rowCount(group); ++child) {
                const auto* user =
                    static_cast<User*>(model_->itemAt(model_->index(child, 0, group)));
                text += user->userId() + (user->userOffline() ? "-" : "+") + ",";
            }
            text += "] ";
        }
        return text;
    }

    // The burst's changes reach the list on the main queue's next turn.
    void endTurn() {
        loop_.runPending();
        EXPECT_EQ(shown(), reference(*context_));
    }

    std::vector<Group*> groups_;
    std::unique_ptr<ui::RosterModel> model_;
    std::unique_ptr<ui::RosterView> view_;
};

TEST_F(RosterCrowdTest, BurstsOfChangesKeepTheListInOrderRowByRow) {
    QSignalSpy resets(model_.get(), &QAbstractItemModel::modelReset);
    QSignalSpy layouts(model_.get(), &QAbstractItemModel::layoutChanged);
    std::mt19937 random(34);
    const auto pick = [&](int below) {
        return std::uniform_int_distribution<int>(0, below - 1)(random);
    };
    const char* names[] = {"ann", "Bob", "cid", "Ärger", "émile", "Zed", "bob", "ANN", "Ünal"};
    const auto nameOf = [&](int index) {
        return std::string(names[index % std::size(names)]) + " " + std::to_string(index % 7);
    };

    // Everybody announces at once: new users, offline in "General" until they answer.
    for (int i = 0; i < kCrowd; ++i) {
        userList_->UpdateUserDataWithUDP(presence("UI", "0", idOf(i), nameOf(i)));
    }
    endTurn();
    Group* general = crowdUser(0)->group();
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(model_->rowCount(model_->indexOf(general)), kCrowd + 1);  // and the local user

    // The selection is a user whose row moves in every burst below.
    User* chosen = crowdUser(0).get();
    view_->selectionModel()->select(model_->indexOf(chosen), QItemSelectionModel::ClearAndSelect);

    // Their answers come back in bursts; meanwhile some rename, move, leave or go away.
    for (int burst = 0; burst < 8; ++burst) {
        for (int n = 0; n < kCrowd / 4; ++n) {
            const int i = pick(kCrowd);
            auto user = crowdUser(i);
            switch (pick(6)) {
                case 0:
                case 1: {
                    UserInfo info;
                    info.status = std::to_string(pick(3));
                    info.firstName = "F" + std::to_string(i);
                    user->applyUserInfo(info);
                    break;
                }
                case 2:
                    userList_->UpdateUserDataWithUDP(
                        presence("RL", "0", idOf(i), nameOf(pick(kCrowd)) + "x"));
                    break;
                case 3:
                    user->setGroup(groups_[pick(3)]);
                    break;
                case 4:
                    userList_->UpdateUserDataWithUDP(presence("UO", "10", idOf(i), "*"));
                    break;
                default:
                    user->setRemoved(pick(4) == 0);
                    break;
            }
        }
        chosen->setName(burst % 2 ? "aaa first" : "zzz last");
        userList_->UpdateUserDataWithUDP(presence("RL", "0", chosen->userId(), "*"));
        endTurn();
        if (!chosen->removed()) {
            EXPECT_TRUE(view_->selectionModel()->isSelected(model_->indexOf(chosen)))
                << "burst " << burst;
        }
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 0);  // rows were inserted and moved, never laid out anew
}

}  // namespace
}  // namespace corvaline::testing
