#include "ui/roster/RosterView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/store/ObjectContext.h"
#include "ui/format/ButtonText.h"
#include "ui/roster/GroupNameDelegate.h"
#include "ui/roster/RosterModel.h"

namespace corvaline::ui {

namespace {

// Shift, Control or Meta: a click that joins a row to the selection or takes it out.
constexpr auto kToggle = Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier;

}  // namespace

RosterView::RosterView(RosterModel& model, QWidget* parent) : QTreeView(parent), model_(model) {
    setModel(&model);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setItemDelegate(new GroupNameDelegate(this));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAccessibleName(tr("Users"));

    applyExpansion({}, 0, model.rowCount() - 1);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &RosterView::applyExpansion);
    connect(&model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int, int, const QModelIndex& parent, int row) {
                applyExpansion(parent, row, row);
            });
    connect(&model, &QAbstractItemModel::modelReset, this,
            [this] { applyExpansion({}, 0, model_.rowCount() - 1); });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (auto* item = model_.itemAt(index); item && !item->isUser()) {
            static_cast<Group*>(item)->setExpanded(true);
        }
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (auto* item = model_.itemAt(index); item && !item->isUser()) {
            static_cast<Group*>(item)->setExpanded(false);
        }
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RosterView::updateFlags);
    // Once per batch of changes, not per row: thousands of rows may move in one.
    connect(&model, &RosterModel::changesApplied, this, &RosterView::updateFlags);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &RosterView::updateFlags);
    // What the one selected row allows changes with its status, and a group's with its users.
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (single_.isValid() &&
                    (topLeft.parent() == single_ ||
                     (topLeft.parent() == single_.parent() && topLeft.row() <= single_.row() &&
                      single_.row() <= bottomRight.row()))) {
                    updateFlags();
                }
            });
    connect(&model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (single_.isValid() && parent == single_) {
            updateFlags();
        }
    });
    connect(&model, &QAbstractItemModel::modelReset, this, &RosterView::updateFlags);
    // The "Move to Group" items keep the names of their groups while the menu is open.
    groupRenamed_ =
        ModelEvents::shared().observeGroupRenamed([this](Group& group) { groupRenamed(group); });
    // Double-click or Return (or a single click where the desktop opens items so).
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        // A modifier-click that left several rows selected is a choice, not a request to talk.
        if (selectionModel()->selectedRows().size() > 1) {
            return;
        }
        if (auto* item = model_.itemAt(index); item && item->isUser()) {
            emit userActivated(static_cast<User*>(item));
        }
    });
}

void RosterView::setMenus(QMenu* globalMenu, QMenu* groupMenu, QMenu* userMenu, QMenu* groupsList) {
    globalMenu_ = globalMenu;
    groupMenu_ = groupMenu;
    userMenu_ = userMenu;
    groupsList_ = groupsList;
}

void RosterView::applyExpansion(const QModelIndex& parent, int first, int last) {
    if (parent.isValid()) {
        return;  // only groups fold
    }
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model_.index(row, 0);
        if (auto* item = model_.itemAt(index); item && !item->isUser()) {
            setExpanded(index, static_cast<Group*>(item)->expanded());
        }
    }
}

TreeItem* RosterView::selectedItem() const {
    const auto rows = selectionModel()->selectedRows();
    return rows.size() == 1 ? model_.itemAt(rows.front()) : nullptr;
}

std::vector<TreeItem*> RosterView::selectedItems() const {
    auto rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
        return visualRect(a).top() < visualRect(b).top();
    });
    std::vector<TreeItem*> items;
    for (const auto& row : rows) {
        if (auto* item = model_.itemAt(row)) {
            items.push_back(item);
        }
    }
    return items;
}

void RosterView::updateFlags() {
    const auto items = selectedItems();
    const auto rows = selectionModel()->selectedRows();
    single_ = rows.size() == 1 ? QPersistentModelIndex(rows.front()) : QPersistentModelIndex();
    int shown = 0;
    if (items.size() == 1 && !items.front()->isUser()) {
        shown = static_cast<int>(model_.shownUsers(*static_cast<Group*>(items.front())).size());
    }
    const SelectionFlags flags = selectionFlags(items, flags_, shown);
    if (flags != flags_) {
        flags_ = flags;
        emit selectionFlagsChanged();
    }
}

void RosterView::startGroupRenaming(Group& group) {
    const QModelIndex index = model_.indexOf(&group);
    if (!index.isValid()) {
        return;
    }
    setCurrentIndex(index);
    scrollTo(index);
    edit(index);
}

void RosterView::expandGroup(Group& group) {
    group.setExpanded(true);
    if (const QModelIndex index = model_.indexOf(&group); index.isValid()) {
        expand(index);
    }
}

QMenu* RosterView::menuForPosition(const QPoint& position) {
    const QModelIndex index = indexAt(position);
    TreeItem* item = model_.itemAt(index);
    if (!item) {
        clearSelection();
        return globalMenu_;
    }
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    setCurrentIndex(index);
    if (!item->isUser()) {
        return groupMenu_;
    }
    menuNeedsUpdate(*static_cast<User*>(item));
    return userMenu_;
}

void RosterView::menuNeedsUpdate(User& user) {
    if (!groupsList_) {
        return;
    }
    groupsList_->clear();
    groupTitles_.clear();
    auto groups = model_.groups();
    std::sort(groups.begin(), groups.end(),
              [](const Group* a, const Group* b) { return a->name() < b->name(); });
    std::weak_ptr<ManagedObject> chosenUser = user.shared_from_this();
    for (auto* group : groups) {
        if (group == user.group()) {
            continue;
        }
        // The action holds the group itself: two groups may share a name.
        std::weak_ptr<ManagedObject> target = group->shared_from_this();
        auto* action = groupsList_->addAction(buttonText(QString::fromStdString(group->name())));
        groupTitles_.emplace_back(target, action);
        connect(action, &QAction::triggered, this, [this, chosenUser, target] {
            auto movedUser = chosenUser.lock();
            auto group = target.lock();
            if (movedUser && group && !movedUser->isDeleted() && !group->isDeleted()) {
                model_.moveUsers({static_cast<User*>(movedUser.get())},
                                 *static_cast<Group*>(group.get()));
            }
        });
    }
    groupsList_->setEnabled(!groupsList_->isEmpty());
}

void RosterView::groupRenamed(const Group& group) {
    for (const auto& [target, action] : groupTitles_) {
        if (action && target.lock().get() == &group) {
            action->setText(buttonText(QString::fromStdString(group.name())));
        }
    }
}

void RosterView::contextMenuEvent(QContextMenuEvent* event) {
    if (QMenu* menu = menuForPosition(event->pos())) {
        menu->popup(event->globalPos());
    }
}

void RosterView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !(event->modifiers() & kToggle)) {
        QTreeView::mousePressEvent(event);
        return;
    }
    // Shift, Control or Meta held: the row under the mouse joins or leaves the selection.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        selectionModel()->select(index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }
}

void RosterView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && (event->modifiers() & kToggle)) {
        mousePressEvent(event);  // a second toggle, never the conversation
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void RosterView::startDrag(Qt::DropActions supportedActions) {
    QTreeView::startDrag(supportedActions);
    model_.dragEnded();
}

}  // namespace corvaline::ui
