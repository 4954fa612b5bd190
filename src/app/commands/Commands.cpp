#include "app/commands/Commands.h"

#include <QWidget>
#include <filesystem>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/UserInterface.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/paths/Tilde.h"
#include "platform/trace/DebugTracer.h"
#include "ui/confirm/MessageBoxSheet.h"
#include "ui/controls/OpenFolder.h"
#include "ui/conversation/Conversation.h"
#include "ui/history/HistoryViewer.h"
#include "ui/info/UserInformationWindow.h"
#include "ui/mass/MassMessage.h"

namespace corvaline::app {
namespace {

Group* asGroup(TreeItem* item) {
    return item && !item->isUser() ? static_cast<Group*>(item) : nullptr;
}

User* asUser(TreeItem* item) {
    return item && item->isUser() ? static_cast<User*>(item) : nullptr;
}

}  // namespace

Commands::Commands(QWidget* window, SelectedItem selectedItem, QObject* parent)
    : QObject(parent),
      window_(window),
      selectedItem_(std::move(selectedItem)),
      openUrl_(ui::openWithDesktop) {}

void Commands::AddGroup() {
    auto* list = CoreServices::shared().userList;
    if (!list) {
        return;
    }
    if (auto group = list->AddNewGroup()) {
        emit groupAdded(group.get());
    }
}

void Commands::renameGroup() {
    if (auto* group = asGroup(selectedItem_())) {
        emit startGroupRenaming(group);
    }
}

void Commands::removeGroup() {
    auto* group = asGroup(selectedItem_());
    if (!group || !group->context()) {
        return;
    }
    std::weak_ptr<ManagedObject> chosen = group->shared_from_this();
    ui::MessageBoxSheet::requestConfirmation(2, window_, [this, chosen] {
        auto object = chosen.lock();
        if (!object || object->isDeleted() || !object->context()) {
            return;
        }
        auto& context = *object->context();
        // The users, with their history, stay: they move to "General" (a new one when this
        // group is "General" itself).
        auto general = Group::general(context);
        if (general == object) {
            general = Group::insertNamed(context, "General");
        }
        context.moveRelated(*object, "users", *general);
        context.deleteObject(*object);
        SaveAppContextIfChanged();
        emit rosterChanged();
    });
}

void Commands::deleteUser() {
    auto* user = asUser(selectedItem_());
    auto* list = CoreServices::shared().userList;
    if (!user || !user->context() || (list && list->me().get() == user)) {
        return;  // the local user's row cannot be deleted
    }
    std::weak_ptr<ManagedObject> chosen = user->shared_from_this();
    ui::MessageBoxSheet::requestConfirmation(1, window_, [this, chosen] {
        auto object = chosen.lock();
        if (!object || object->isDeleted() || !object->context()) {
            return;
        }
        auto& user = static_cast<User&>(*object);
        if (user.logEntriesNumber() > 0) {
            user.setRemoved(true);  // kept for its history
        } else {
            user.context()->deleteObject(user);
        }
        SaveAppContextIfChanged();
        emit rosterChanged();
    });
}

void Commands::StartConversation() {
    if (auto* user = asUser(selectedItem_())) {
        user->StartConversation(false);
    }
}

void Commands::StartGroupConversation() {
    auto* group = asGroup(selectedItem_());
    auto* windows = CoreServices::shared().windows;
    if (!group || !windows) {
        return;
    }
    const auto users = group->onlineUsers();
    if (!users.empty()) {
        windows->openConversation(users, nullptr, false);  // a chat holds its own window
    }
}

void Commands::openMassMessage(int tag) {
    const auto rows = selectedItems_ ? selectedItems_() : std::vector<TreeItem*>{};
    auto* window = new ui::MassMessage(rows);
    if (rows.empty()) {
        window->selectEveryone(tag);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void Commands::sendFiles() {
    if (auto* user = asUser(selectedItem_())) {
        ui::Conversation::showFileTransferPanel(window_, *user, outgoingFiles_);
    }
}

void Commands::openReceivedFilesFolder() {
    const std::filesystem::path folder =
        expandTilde(UserDefaults::standard().stringForKey("fileTransferPath"));
    // Before the first transfer the folder may not be there yet.
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    ui::openFolder(window_, QString::fromStdString(folder.string()), openUrl_);
}

void Commands::ShowDebugLog() {
    DebugTracer::finishTrace("", 0);
}

void Commands::GetInfo() {
    if (auto* user = asUser(selectedItem_())) {
        ui::UserInformationWindow::GetInfo(*user);
    }
}

void Commands::ShowHistory() {
    ui::HistoryViewer::initAndShow(nullptr);
}

}  // namespace corvaline::app
