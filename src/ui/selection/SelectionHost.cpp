#include "ui/selection/SelectionHost.h"

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/events/ModelEvents.h"

namespace corvaline::ui {

SelectionHost::SelectionHost()
    : userRemoved_(
          ModelEvents::shared().observeUserRemoved([this](User& user, Group&) { forget(user); })),
      groupRemoved_(
          ModelEvents::shared().observeGroupRemoved([this](Group& group) { forget(group); })) {}

void SelectionHost::forget(TreeItem& item) {
    if (selection_.erase(&item) > 0) {
        selectionUpdated();
    }
}

}  // namespace corvaline::ui
