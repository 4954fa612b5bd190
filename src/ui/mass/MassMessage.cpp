#include "ui/mass/MassMessage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "ui/conversation/TextViewForSending.h"
#include "ui/roster/RosterModel.h"
#include "ui/selection/CheckBoxRows.h"

namespace corvaline::ui {

namespace {

const User* localUser() {
    auto* list = CoreServices::shared().userList;
    return list ? list->me().get() : nullptr;
}

}  // namespace

MassMessage::MassMessage(const std::vector<TreeItem*>& chosen, QWidget* parent)
    : MessageWindowController(parent),
      outline_(new QTreeView),
      input_(new TextViewForSending),
      send_(new QPushButton(tr("Send"))) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Mass Message"));
    const User* me = localUser();
    for (auto* item : chosen) {
        if (item != me) {
            selection().insert(item);
        }
    }

    auto* choose = new QHBoxLayout;
    for (const auto& [title, tag] :
         {std::pair{tr("Everybody"), kEverybody}, std::pair{tr("Online"), kOnline},
          std::pair{tr("Nobody"), kNobody}}) {
        auto* button = new QPushButton(title);
        connect(button, &QPushButton::clicked, this, [this, tag = tag] { selectEveryone(tag); });
        choose->addWidget(button);
    }
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 0, 4);
    leftLayout->addLayout(choose);
    leftLayout->addWidget(outline_);
    outline_->setHeaderHidden(true);
    outline_->setSelectionMode(QAbstractItemView::NoSelection);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 4, 4, 4);
    rightLayout->addWidget(input_);
    rightLayout->addWidget(send_, 0, Qt::AlignRight);
    horisontalSplit()->addWidget(left);
    horisontalSplit()->addWidget(right);
    horisontalSplit()->setChildrenCollapsible(false);
    horisontalSplit()->setSizes({220, 380});
    resize(600, 400);

    input_->setRecipients({[this] { return recipients(); }, [] { return nullptr; }, true});
    connect(send_, &QPushButton::clicked, input_, &TextViewForSending::sendMessage);
    selectionUpdated_ = NotificationCenter::defaultCenter().addObserver(
        "selectionUpdated", static_cast<SelectionHost*>(this),
        [this](const Notification&) { updateSendButton(); });

    auto* context = AppManagedObjectContext();
    auto* main = CoreServices::shared().mainQueue;
    if (context && main) {
        model_ = new RosterModel(*context, *main, this);
        model_->setHiddenUsers({me});
        outline_->setModel(model_);
        installCheckBoxes(*outline_, *model_, *this);
        outline_->expandAll();
    }
    fontUpdated();
    updateSendButton();
    input_->setFocus();
}

MassMessage::~MassMessage() = default;

void MassMessage::selectEveryone(int tag) {
    selection().clear();
    if (tag != kNobody) {
        if (auto* list = CoreServices::shared().userList) {
            for (const auto& user : list->allUsersWithoutOffline(tag == kOnline, true)) {
                selection().insert(user.get());
            }
        }
    }
    selectionUpdated();
}

std::vector<User*> MassMessage::shownUsers(Group& group) const {
    return model_ ? model_->shownUsers(group) : std::vector<User*>{};
}

std::vector<User*> MassMessage::recipients() const {
    std::set<User*> users;
    for (auto* item : selection()) {
        if (item->isUser()) {
            users.insert(static_cast<User*>(item));
        } else {
            // The list has not turned this group into its users yet (no box for it so far).
            for (auto* user : shownUsers(static_cast<Group&>(*item))) {
                users.insert(user);
            }
        }
    }
    std::vector<User*> sorted(users.begin(), users.end());
    std::erase(sorted, localUser());
    std::sort(sorted.begin(), sorted.end(),
              [](const User* a, const User* b) { return a->name() < b->name(); });
    return sorted;
}

void MassMessage::updateSendButton() {
    send_->setEnabled(!recipients().empty());
}

void MassMessage::fontUpdated() {
    input_->setFont(textFont());
}

}  // namespace corvaline::ui
