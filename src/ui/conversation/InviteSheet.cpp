#include "ui/conversation/InviteSheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/model/entities/Chat.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "ui/conversation/Conversation.h"
#include "ui/roster/RosterModel.h"
#include "ui/selection/CheckBoxRows.h"

namespace corvaline::ui {

InviteSheet::InviteSheet(Conversation& conversation)
    : QDialog(&conversation), conversation_(conversation), outline_(new QTreeView) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Invite"));
    outline_->setHeaderHidden(true);
    auto* buttons = new QDialogButtonBox;
    invite_ = buttons->addButton(tr("Invite"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { inviteClose(true); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { inviteClose(false); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(outline_);
    layout->addWidget(buttons);
    resize(300, 360);

    auto* context = AppManagedObjectContext();
    auto* main = CoreServices::shared().mainQueue;
    if (!context || !main) {
        return;
    }
    std::set<const User*> excluded;
    for (auto* user : conversation.users()) {
        excluded.insert(user);
    }
    if (auto* list = CoreServices::shared().userList) {
        excluded.insert(list->me().get());
    }
    model_ = new RosterModel(*context, *main, this);
    model_->setExcludedUsers(std::move(excluded));
    outline_->setModel(model_);
    installCheckBoxes(*outline_, *model_, *this);
    outline_->expandAll();
    // The check boxes are the choice: no row is singled out, also once the list has the focus.
    outline_->setCurrentIndex({});
}

std::vector<User*> InviteSheet::shownUsers(Group& group) const {
    return model_ ? model_->shownUsers(group) : std::vector<User*>{};
}

void InviteSheet::inviteClose(bool invite) {
    if (invite) {
        std::vector<User*> chosen;
        for (auto* item : selection()) {
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
    selection().clear();
    close();
}

}  // namespace corvaline::ui
