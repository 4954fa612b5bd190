#pragma once

#include <QPointer>
#include <QTreeView>
#include <memory>
#include <utility>
#include <vector>

#include "platform/observers/ObservationToken.h"

#include "ui/roster/SelectionFlags.h"

class QAction;
class QMenu;

namespace corvaline {
class Group;
class ManagedObject;
class TreeItem;
class User;
}  // namespace corvaline

namespace corvaline::ui {

class RosterModel;

// The main list's view: groups with their users, context menus for the empty area, groups and
// users (with the move-to-group submenu), modifier-click toggling rows, group names edited in
// place, drag and drop of users and files, the expansion of each group kept in the group.
// Main thread.
class RosterView : public QTreeView {
    Q_OBJECT
  public:
    explicit RosterView(RosterModel& model, QWidget* parent = nullptr);

    // The menus of the empty area, of group rows and of user rows; `groupsList` is the
    // user menu's submenu that this view fills with the other groups.
    void setMenus(QMenu* globalMenu, QMenu* groupMenu, QMenu* userMenu, QMenu* groupsList);

    TreeItem* selectedItem() const;
    std::vector<TreeItem*> selectedItems() const;
    const SelectionFlags& flags() const { return flags_; }

    // Selects the group and puts its name into editing.
    void startGroupRenaming(Group& group);
    // Shows the group's users.
    void expandGroup(Group& group);
    // The menu for a click at `position` (viewport coordinates): selects the row under it.
    QMenu* menuForPosition(const QPoint& position);

  signals:
    void selectionFlagsChanged();
    // A user opened (double-click, or Return on the selected row) while no other row is
    // selected.
    void userActivated(corvaline::User* user);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

  private:
    void menuNeedsUpdate(User& user);
    void groupRenamed(const Group& group);
    void applyExpansion(const QModelIndex& parent, int first, int last);
    void updateFlags();

    RosterModel& model_;
    QPointer<QMenu> globalMenu_;
    QPointer<QMenu> groupMenu_;
    QPointer<QMenu> userMenu_;
    QPointer<QMenu> groupsList_;
    SelectionFlags flags_;
    QPersistentModelIndex single_;  // the selected row while it is the only one
    // The groups of the "Move to Group" items, with their items.
    std::vector<std::pair<std::weak_ptr<ManagedObject>, QPointer<QAction>>> groupTitles_;
    ObservationToken groupRenamed_;
};

}  // namespace corvaline::ui
