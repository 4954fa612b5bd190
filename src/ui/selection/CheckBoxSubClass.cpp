#include "ui/selection/CheckBoxSubClass.h"

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "ui/selection/SelectionHost.h"

namespace corvaline::ui {

CheckBoxSubClass::CheckBoxSubClass(TreeItem& item, SelectionHost& host, QWidget* parent)
    : QCheckBox(QString::fromStdString(item.name()), parent), item_(item), host_(host) {
    setTristate(true);
    setAutoFillBackground(true);  // it stands over the row's own text
    connect(this, &QCheckBox::clicked, this, &CheckBoxSubClass::clicked);
    updated_ = NotificationCenter::defaultCenter().addObserver(
        "selectionUpdated", &host_, [this](const Notification&) { updateValue(); });
    updateValue();
}

void CheckBoxSubClass::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void CheckBoxSubClass::updateValue() {
    auto& selection = host_.selection();
    auto* group = dynamic_cast<Group*>(&item_);
    if (!group) {
        setCheckState(selection.contains(&item_) ? Qt::Checked : Qt::Unchecked);
        return;
    }
    if (selection.erase(group) > 0) {
        // A group chosen elsewhere becomes all of its shown users.
        setCheckState(Qt::Checked);
        updateChildsState();
        return;
    }
    const auto shown = host_.shownUsers(*group);
    const auto chosen = std::count_if(shown.begin(), shown.end(),
                                      [&](User* user) { return selection.contains(user); });
    setCheckState(chosen == 0                   ? Qt::Unchecked
                  : chosen == std::ssize(shown) ? Qt::Checked
                                                : Qt::PartiallyChecked);
}

void CheckBoxSubClass::updateChildsState() {
    auto& selection = host_.selection();
    for (auto* user : host_.shownUsers(static_cast<Group&>(item_))) {
        if (checkState() == Qt::Checked) {
            selection.insert(user);
        } else {
            selection.erase(user);
        }
    }
    host_.selectionUpdated();
}

void CheckBoxSubClass::clicked() {
    if (dynamic_cast<Group*>(&item_)) {
        updateChildsState();
        return;
    }
    if (checkState() == Qt::Checked) {
        host_.selection().insert(&item_);
    } else {
        host_.selection().erase(&item_);
    }
    host_.selectionUpdated();
}

}  // namespace corvaline::ui
