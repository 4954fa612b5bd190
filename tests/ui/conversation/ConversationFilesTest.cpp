#include <QAbstractButton>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QMimeData>
#include <filesystem>

#include "ui/confirm/MessageBoxSheet.h"
#include "ui/conversation/Conversation.h"
#include "ui/support/ConversationTest.h"

namespace corvaline::testing {
namespace {

using ui::Conversation;

// Sending files from a conversation window: the chooser after the drag-and-drop hint, and
// files dropped on the window.
class ConversationFilesTest : public ConversationTest {
  protected:
    Conversation* open(const std::vector<User*>& users) {
        ui::ConversationHooks hooks;
        hooks.outgoingFiles = [this](const std::vector<std::filesystem::path>& paths, User& to) {
            for (const auto& path : paths) {
                started_.push_back(to.name() + " " + path.string());
            }
            return true;
        };
        return Conversation::from(Conversation::open(users, nullptr, false, hooks));
    }

    static void answer(QWidget& window, const QString& title) {
        auto* sheet = window.findChild<ui::MessageBoxSheet*>();
        ASSERT_NE(sheet, nullptr);
        for (auto* button : sheet->buttons()) {
            if (button->text() == title) {
                button->click();
            }
        }
        processEvents();
    }

    std::vector<std::string> started_;
};

TEST_F(ConversationFilesTest, BrowseFilesOpensTheChooserOnTheWindowAndDragAndDropDoesNot) {
    auto* window = open({ann_.get()});
    window->sendFiles();
    answer(*window, "Use drag and drop");
    EXPECT_EQ(window->findChild<QFileDialog*>(), nullptr);

    window->sendFiles();
    answer(*window, "Browse files");
    auto* panel = window->findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFiles);  // several, no folders
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    const auto a = home_.path() / "a.txt";
    const auto b = home_.path() / "b.txt";
    emit panel->filesSelected({QString::fromStdString(a), QString::fromStdString(b)});
    EXPECT_EQ(started_, (std::vector<std::string>{"Ann " + a.string(), "Ann " + b.string()}));
}

TEST_F(ConversationFilesTest, TheChooserStartsAtHomeThenInTheFolderLastUsed) {
    auto* window = open({ann_.get()});
    auto* panel = Conversation::showFileTransferPanel(window, *ann_, {});
    EXPECT_EQ(panel->directory().canonicalPath(), QDir(QDir::homePath()).canonicalPath());
    const auto folder = home_.path() / "Papers";
    std::filesystem::create_directories(folder);
    emit panel->filesSelected({QString::fromStdString(folder / "one.pdf")});
    delete panel;
    panel = Conversation::showFileTransferPanel(window, *ann_, {});
    EXPECT_EQ(panel->directory().canonicalPath(),
              QDir(QString::fromStdString(folder.string())).canonicalPath());
    delete panel;
    // A folder that is gone again: back home.
    std::filesystem::remove_all(folder);
    panel = Conversation::showFileTransferPanel(window, *ann_, {});
    EXPECT_EQ(panel->directory().canonicalPath(), QDir(QDir::homePath()).canonicalPath());
    delete panel;
}

TEST_F(ConversationFilesTest, FilesDroppedOnTheWindowGoOnlyToAnOnlineUserWithoutChat) {
    const struct {
        std::vector<User*> users;
        bool sends;
    } cases[] = {
        {{ann_.get()}, true},
        {{eve_.get()}, false},              // offline
        {{ann_.get(), bob_.get()}, false},  // a chat
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.users.size());
        started_.clear();
        auto* window = open(c.users);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/Docs"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        EXPECT_EQ(enter.isAccepted(), c.sends);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
        EXPECT_EQ(drop.isAccepted(), c.sends);
        EXPECT_EQ(started_.size(), c.sends ? 1u : 0u);
        closeAllWindows();
    }
}

}  // namespace
}  // namespace corvaline::testing
