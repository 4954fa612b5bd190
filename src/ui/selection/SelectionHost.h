#pragma once

#include <set>
#include <vector>

#include "platform/notifications/NotificationCenter.h"
#include "platform/observers/ObservationToken.h"

namespace corvaline {
class Group;
class TreeItem;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// A window whose list rows carry recipient check boxes: it keeps the chosen items and says
// which users its list shows under a group. A user or group the model takes out of the list
// (deleted, marked removed) leaves the selection at once, so the window never reaches for
// one that is gone. GUI thread.
class SelectionHost {
  public:
    SelectionHost();
    virtual ~SelectionHost() = default;
    SelectionHost(const SelectionHost&) = delete;
    SelectionHost& operator=(const SelectionHost&) = delete;

    // The chosen users; a group stands in it only until its check box turns it into the
    // group's shown users.
    std::set<TreeItem*>& selection() { return selection_; }
    const std::set<TreeItem*>& selection() const { return selection_; }
    // The users the list shows under the group.
    virtual std::vector<User*> shownUsers(Group& group) const = 0;

    // Tells every check box of this window that the selection changed ("selectionUpdated").
    void selectionUpdated() { NotificationCenter::defaultCenter().post("selectionUpdated", this); }

  private:
    void forget(TreeItem& item);

    std::set<TreeItem*> selection_;
    ObservationToken userRemoved_;
    ObservationToken groupRemoved_;
};

}  // namespace corvaline::ui
