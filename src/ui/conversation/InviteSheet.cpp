#include "ui/conversation/InviteSheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "ui/conversation/Conversation.h"
#include "ui/selection/CheckBoxSubClass.h"

namespace corvaline::ui {

InviteSheet::InviteSheet(Conversation& conversation)
    : QDialog(&conversation), conversation_(conversation), outline_(new QTreeWidget) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Invite"));
    outline_->setHeaderHidden(true);
    outline_->setRootIsDecorated(true);
    auto* buttons = new QDialogButtonBox;
    invite_ = buttons->addButton(tr("Invite"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { inviteClose(true); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { inviteClose(false); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(outline_);
    layout->addWidget(buttons);
    resize(300, 360);

    for (auto* user : conversation.users()) {
        excludedUsers_.insert(user);
    }
    if (auto* list = CoreServices::shared().userList) {
        excludedUsers_.insert(list->me().get());
    }
    reload();
}

std::vector<User*> InviteSheet::shownUsers(Group& group) const {
    std::vector<User*> shown;
    for (auto* user : group.users()) {
        if (!user->removed() && !user->userOffline() && !excludedUsers_.contains(user)) {
            shown.push_back(user);
        }
    }
    std::sort(shown.begin(), shown.end(),
              [](const User* a, const User* b) { return a->name() < b->name(); });
    return shown;
}

void InviteSheet::reload() {
    outline_->clear();
    auto* context = AppManagedObjectContext();
    if (!context) {
        return;
    }
    auto groups = context->fetch<Group>();
    std::sort(groups.begin(), groups.end(),
              [](const auto& a, const auto& b) { return a->name() < b->name(); });
    for (const auto& group : groups) {
        const auto users = shownUsers(*group);
        if (users.empty()) {
            continue;
        }
        auto* row = new QTreeWidgetItem(outline_);
        outline_->setItemWidget(row, 0, new CheckBoxSubClass(*group, *this));
        for (auto* user : users) {
            auto* userRow = new QTreeWidgetItem(row);
            outline_->setItemWidget(userRow, 0, new CheckBoxSubClass(*user, *this));
        }
        row->setExpanded(true);
    }
}

void InviteSheet::inviteClose(bool invite) {
    if (invite) {
        std::vector<User*> chosen;
        for (auto* item : selection_) {
            if (auto* user = dynamic_cast<User*>(item)) {
                chosen.push_back(user);
            }
        }
        std::sort(chosen.begin(), chosen.end(),
                  [](const User* a, const User* b) { return a->name() < b->name(); });
        conversation_.usersJoined(chosen);
        if (auto* chat = conversation_.chat(); chat && !chosen.empty()) {
            chat->informJoin();
        }
    }
    selection_.clear();
    close();
}

}  // namespace corvaline::ui
