#include "app/status/StatusSelection.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QKeySequence>

#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/icons/StatusIcons.h"
#include "ui/status/StatusSheet.h"

namespace corvaline::app {
namespace {

using namespace std::chrono_literals;

Me* localUser() {
    auto* list = CoreServices::shared().userList;
    return list ? list->me().get() : nullptr;
}

const char* statusTextKey(int tag) {
    return tag == 2 ? "awayMessage" : "busyMessage";
}

}  // namespace

StatusSelection::StatusSelection(Executor& main, QButtonGroup* buttons, QObject* parent)
    : QObject(parent), main_(main), buttons_(buttons), actionGroup_(new QActionGroup(this)) {
    const std::array<QString, 3> titles{tr("&Available"), tr("&Busy"), tr("A&way")};
    const std::array<const char*, 3> icons{"Normal", "Dnd", "Away"};
    for (int tag = 0; tag < 3; ++tag) {
        auto* action = new QAction(ui::statusIcon(icons[tag]), titles[tag], this);
        action->setCheckable(true);
        action->setData(tag);
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + tag)));
        actionGroup_->addAction(action);
        actions_[tag] = action;
        // A menu item selects the button with its tag, then acts as the buttons do.
        connect(action, &QAction::triggered, this, [this, tag] {
            select(tag);
            statusMatrixSelectionChanged(tag);
        });
    }
    connect(buttons_, &QButtonGroup::idClicked, this,
            [this](int tag) { statusMatrixSelectionChanged(tag); });
}

StatusSelection::~StatusSelection() {
    timer_.cancel();
}

int StatusSelection::selectedTag() const {
    return buttons_ ? buttons_->checkedId() : -1;
}

void StatusSelection::select(int tag) {
    if (auto* button = buttons_ ? buttons_->button(tag) : nullptr) {
        button->setChecked(true);
    }
}

ui::StatusSheet* StatusSelection::sheet() {
    if (!sheet_) {
        auto* window = buttons_ && buttons_->button(0) ? buttons_->button(0)->window() : nullptr;
        sheet_ = new ui::StatusSheet(window);
        connect(sheet_, &ui::StatusSheet::setStatusClicked, this,
                &StatusSelection::setStatusButton);
        connect(sheet_, &ui::StatusSheet::cancelClicked, this,
                &StatusSelection::statusCancelButton);
        connect(sheet_, &ui::StatusSheet::textEdited, this, &StatusSelection::textDidChange);
    }
    return sheet_;
}

void StatusSelection::statusMatrixSelectionChanged(std::optional<int> chosenTag) {
    if (chosenTag) {
        if (*chosenTag == 0) {
            if (auto* me = localUser()) {
                me->setStatus("0");
            }
        } else {
            auto* statusSheet = sheet();
            statusSheet->setText(QString::fromStdString(
                UserDefaults::standard().stringForKey(statusTextKey(*chosenTag))));
            statusSheet->setButtonTitle(tr("Set Status"));
            // One countdown per sheet, started afresh each time it opens.
            timer_.cancel();
            counter_ = 9;
            stop_ = false;
            timer_ = main_.repeating(1s, [this] { updateSeconds(); });
            statusSheet->open();
        }
    } else if (auto* me = localUser()) {
        select(std::atoi(me->status().c_str()));
    }
    const int tag = selectedTag();
    for (auto* action : actions_) {
        action->setChecked(action->data().toInt() == tag);
    }
}

void StatusSelection::updateSeconds() {
    const QString title = tr("Set Status");
    if (stop_) {
        if (sheet_) {
            sheet_->setButtonTitle(title);
        }
        counter_ = 9;
        timer_.cancel();
    } else if (counter_ == -1) {
        setStatusButton();
    } else {
        if (sheet_) {
            sheet_->setButtonTitle(QStringLiteral("%1 [%2]").arg(title).arg(counter_));
        }
        --counter_;
    }
}

void StatusSelection::setStatusButton() {
    stop_ = true;
    const int tag = selectedTag();
    if (sheet_) {
        // Stored first: the local user takes its status text from this default.
        UserDefaults::standard().setString(statusTextKey(tag), sheet_->text().toStdString());
    }
    if (auto* me = localUser(); me && tag >= 0) {
        me->setStatus(std::to_string(tag));
    }
    closeSheet();
}

void StatusSelection::statusCancelButton() {
    stop_ = true;
    statusMatrixSelectionChanged(std::nullopt);
    closeSheet();
}

void StatusSelection::closeSheet() {
    if (sheet_) {
        sheet_->setText({});
        sheet_->done(QDialog::Rejected);
    }
}

}  // namespace corvaline::app
