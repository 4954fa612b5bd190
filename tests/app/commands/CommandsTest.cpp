#include "app/commands/Commands.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <filesystem>

#include "app/support/AppTest.h"
#include "platform/trace/DebugTracer.h"
#include "ui/mass/MassMessage.h"

namespace corvaline::testing {
namespace {

// The commands on the selected row, with every confirmation already answered "do not ask
// again" (the sheet itself has tests of its own), so each action runs at once.
class CommandsTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        setDefault("deleteUserConfirmation", true);
        setDefault("deteleGroupConfirmation", true);
        commands_ = std::make_unique<app::Commands>(
            &window(), [this] { return selected_; }, nullptr);
    }
    void TearDown() override {
        commands_.reset();
        AppTest::TearDown();
    }

    TreeItem* selected_ = nullptr;
    std::unique_ptr<app::Commands> commands_;
};

TEST_F(CommandsTest, RemoveGroupActsOnlyOnAGroupAndMovesItsUsersToGeneral) {
    auto ann = user("A100000001");
    selected_ = ann.get();
    commands_->removeGroup();
    EXPECT_NE(group("Friends"), nullptr);  // a selected user is not a group
    EXPECT_FALSE(ann->isDeleted());

    QSignalSpy changed(commands_.get(), &app::Commands::rosterChanged);
    auto friends = group("Friends");
    selected_ = friends.get();
    commands_->removeGroup();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(group("Friends"), nullptr);
    auto general = group("General");
    ASSERT_NE(general, nullptr);
    for (const char* id : {"A100000001", "A100000002", "A100000003"}) {
        auto moved = user(id);
        ASSERT_NE(moved, nullptr) << id;
        EXPECT_EQ(moved->group(), general.get()) << id;
    }
    EXPECT_FALSE(context().hasChanges());  // saved
}

TEST_F(CommandsTest, RemovingGeneralItselfKeepsItsUsersInAGeneralGroup) {
    auto general = Group::general(context());
    auto bob = user("A100000002");
    bob->setGroup(general.get());
    selected_ = general.get();
    commands_->removeGroup();
    ASSERT_NE(bob->group(), nullptr);
    EXPECT_EQ(bob->group()->name(), "General");
    EXPECT_NE(bob->group(), general.get());
    EXPECT_TRUE(general->isDeleted());
    EXPECT_EQ(context().fetch<Group>([](const Group& g) { return g.name() == "General"; }).size(),
              1u);
}

TEST_F(CommandsTest, DeleteUserKeepsHistoryRefusesTheLocalUserAndIgnoresGroups) {
    selected_ = &me();
    commands_->deleteUser();
    EXPECT_FALSE(me().isDeleted());
    EXPECT_FALSE(me().removed());

    selected_ = group("Work").get();
    commands_->deleteUser();
    EXPECT_NE(group("Work"), nullptr);

    auto dan = user("A100000004");  // has history
    selected_ = dan.get();
    commands_->deleteUser();
    EXPECT_FALSE(dan->isDeleted());
    EXPECT_TRUE(dan->removed());
    EXPECT_EQ(dan->logEntriesNumber(), 1u);

    auto bob = user("A100000002");  // has none
    selected_ = bob.get();
    commands_->deleteUser();
    EXPECT_TRUE(bob->isDeleted());
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(CommandsTest, AddAndRenameGroupHandTheGroupToTheList) {
    QSignalSpy added(commands_.get(), &app::Commands::groupAdded);
    QSignalSpy renaming(commands_.get(), &app::Commands::startGroupRenaming);
    commands_->AddGroup();
    ASSERT_EQ(added.count(), 1);
    EXPECT_NE(group("New Group"), nullptr);

    selected_ = user("A100000001").get();
    commands_->renameGroup();
    EXPECT_EQ(renaming.count(), 0);
    selected_ = group("Work").get();
    commands_->renameGroup();
    EXPECT_EQ(renaming.count(), 1);
}

TEST_F(CommandsTest, OpenReceivedFilesFolderMakesTheFolderAndSaysWhenItCannotOpenIt) {
    std::vector<QUrl> opened;
    bool opens = true;
    commands_->setUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return opens;
    });
    const auto folder = home_.path() / "Received" / "Files";
    const QString path = QString::fromStdString(folder.string());
    setDefault("fileTransferPath", "~/Received/Files");
    commands_->openReceivedFilesFolder();  // before the first transfer
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), QUrl::fromLocalFile(path));
    EXPECT_EQ(window().findChild<QMessageBox*>(), nullptr);

    opens = false;  // a desktop without a folder opener
    commands_->openReceivedFilesFolder();
    EXPECT_EQ(opened.size(), 2u);
    auto* box = window().findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains(path)) << box->text().toStdString();
    delete box;
}

// The mass-message window each command opens, closed again by the test.
std::set<TreeItem*> openedMassSelection() {
    std::set<TreeItem*> chosen;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (auto* mass = qobject_cast<ui::MassMessage*>(widget)) {
            chosen = mass->selection();
            delete mass;
        }
    }
    return chosen;
}

TEST_F(CommandsTest, MassMessageTakesTheSelectedRowsOrTheUsersTheTagNames) {
    std::vector<TreeItem*> rows;
    commands_->setSelectedItems([&] { return rows; });
    auto ann = user("A100000001");
    auto bob = user("A100000002");
    auto dan = user("A100000004");
    const struct {
        std::vector<TreeItem*> rows;
        int tag;
        std::set<TreeItem*> chosen;
    } cases[] = {
        {{}, ui::MassMessage::kEverybody, {ann.get(), bob.get(), dan.get()}},
        {{}, ui::MassMessage::kOnline, {ann.get()}},
        {{}, ui::MassMessage::kNobody, {}},
        {{group("Work").get(), &me()}, ui::MassMessage::kOnline, {dan.get()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        rows = c.rows;
        commands_->openMassMessage(c.tag);
        EXPECT_EQ(openedMassSelection(), c.chosen);
    }
}

TEST_F(CommandsTest, SendFilesOffersTheChooserForASelectedUserOnly) {
    std::vector<std::string> started;
    commands_->setOutgoingFiles([&](const std::vector<std::filesystem::path>& paths, User& to) {
        started.push_back(to.userId() + " " + paths.front().string());
        return true;
    });
    selected_ = group("Work").get();
    commands_->sendFiles();
    EXPECT_EQ(window().findChild<QFileDialog*>(), nullptr);
    selected_ = user("A100000001").get();
    commands_->sendFiles();
    auto* panel = window().findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    emit panel->filesSelected({"/tmp/a.txt"});
    EXPECT_EQ(started, std::vector<std::string>{"A100000001 /tmp/a.txt"});
    delete panel;
}

}  // namespace
}  // namespace corvaline::testing
