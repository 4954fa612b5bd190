#pragma once

#include <set>
#include <vector>

#include "platform/notifications/NotificationCenter.h"

namespace corvaline {
class Group;
class TreeItem;
class User;
}  // namespace corvaline

namespace corvaline::ui {

// A window whose list rows carry recipient check boxes: it keeps the chosen items and says
// which users its list shows under a group. GUI thread.
class SelectionHost {
  public:
    virtual ~SelectionHost() = default;

    // The chosen users; a group stands in it only until its check box turns it into the
    // group's shown users.
    virtual std::set<TreeItem*>& selection() = 0;
    // The users the list shows under the group.
    virtual std::vector<User*> shownUsers(Group& group) const = 0;

    // Tells every check box of this window that the selection changed ("selectionUpdated").
    void selectionUpdated() { NotificationCenter::defaultCenter().post("selectionUpdated", this); }
};

}  // namespace corvaline::ui
