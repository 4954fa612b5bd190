#include "ui/selection/CheckBoxSubClass.h"

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "ui/format/ButtonText.h"
#include "ui/selection/SelectionHost.h"

namespace corvaline::ui {

CheckBoxSubClass::CheckBoxSubClass(TreeItem& item, SelectionHost& host, QWidget* parent)
    : QCheckBox(parent), item_(item.weak_from_this()), host_(host) {
    setTristate(true);
    setAutoFillBackground(true);  // it stands over the row's own text
    connect(this, &QCheckBox::clicked, this, &CheckBoxSubClass::clicked);
    updated_ = NotificationCenter::defaultCenter().addObserver(
        "selectionUpdated", &host_, [this](const Notification&) { updateValue(); });
    updateTitle();
    updateValue();
}

TreeItem* CheckBoxSubClass::item() const {
    const auto held = item_.lock();
    return held && !held->isDeleted() ? static_cast<TreeItem*>(held.get()) : nullptr;
}

void CheckBoxSubClass::updateTitle() {
    if (auto* item = this->item()) {
        setText(buttonText(QString::fromStdString(item->name())));
    }
}

void CheckBoxSubClass::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void CheckBoxSubClass::updateValue() {
    auto* item = this->item();
    if (!item) {
        return;
    }
    auto& selection = host_.selection();
    if (item->isUser()) {
        setCheckState(selection.contains(item) ? Qt::Checked : Qt::Unchecked);
        return;
    }
    auto* group = static_cast<Group*>(item);
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
    auto* group = static_cast<Group*>(item());
    auto& selection = host_.selection();
    for (auto* user : host_.shownUsers(*group)) {
        if (checkState() == Qt::Checked) {
            selection.insert(user);
        } else {
            selection.erase(user);
        }
    }
    host_.selectionUpdated();
}

void CheckBoxSubClass::clicked() {
    auto* item = this->item();
    if (!item) {
        return;
    }
    if (!item->isUser()) {
        updateChildsState();
        return;
    }
    if (checkState() == Qt::Checked) {
        host_.selection().insert(item);
    } else {
        host_.selection().erase(item);
    }
    host_.selectionUpdated();
}

}  // namespace corvaline::ui
