#include "ui/settings/BroadcastTargets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/services/CoreServices.h"
#include "core/model/services/PresenceService.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/settings/AddBroadcastWindow.h"

namespace corvaline::ui {

namespace {

nlohmann::json storedTargets() {
    auto targets = UserDefaults::standard().arrayForKey(defaults::kBroadcasts);
    return targets && targets->is_array() ? *targets : nlohmann::json::array();
}

}  // namespace

BroadcastTargets::BroadcastTargets(QWidget* parent)
    : QWidget(parent),
      list_(new QListWidget(this)),
      add_(new QToolButton(this)),
      remove_(new QToolButton(this)),
      addWindow_(new AddBroadcastWindow(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(tr("Also announce my presence to these addresses:"), this);
    layout->addWidget(title);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumHeight(110);
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    add_->setText(QStringLiteral("+"));
    add_->setToolTip(tr("Add a broadcast address"));
    remove_->setText(QStringLiteral("\u2212"));
    remove_->setToolTip(tr("Remove the selected addresses"));
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(add_, &QToolButton::clicked, this, [this] { segmentedButtonClick(0); });
    connect(remove_, &QToolButton::clicked, this, [this] { segmentedButtonClick(1); });
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(addWindow_, &QDialog::accepted, this, &BroadcastTargets::addEntered);
    observation_ = UserDefaults::standard().observe(defaults::kBroadcasts, [this] { reload(); });
    reload();
}

void BroadcastTargets::segmentedButtonClick(int segment) {
    if (segment == 1) {
        removeSelected();
    } else {
        addWindow_->start();
    }
}

void BroadcastTargets::reload() {
    list_->clear();
    for (const auto& entry : storedTargets()) {
        const auto look = entry.is_object() && entry.contains("look") && entry["look"].is_string()
                              ? entry["look"].get<std::string>()
                              : std::string();
        list_->addItem(QString::fromStdString(look));
    }
    remove_->setEnabled(false);
}

void BroadcastTargets::addEntered() {
    const auto item = addWindow_->validatedItem();
    if (!item) {
        return;  // not a target: nothing is added and nothing announced
    }
    auto targets = storedTargets();
    targets.push_back(item->dictionary());
    UserDefaults::standard().setObject(defaults::kBroadcasts, std::move(targets));
    if (auto* presence = CoreServices::shared().presence) {
        presence->RefreshUserList();
    }
}

void BroadcastTargets::removeSelected() {
    std::set<int> selected;
    for (const auto* row : list_->selectedItems()) {
        selected.insert(list_->row(row));
    }
    if (selected.empty()) {
        return;
    }
    auto kept = nlohmann::json::array();
    const auto targets = storedTargets();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!selected.contains(static_cast<int>(i))) {
            kept.push_back(targets[i]);
        }
    }
    UserDefaults::standard().setObject(defaults::kBroadcasts, std::move(kept));
}

}  // namespace corvaline::ui
