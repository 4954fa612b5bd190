#include "ui/roster/SelectionFlags.h"

#include <algorithm>

#include "core/model/entities/Group.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"

namespace corvaline::ui {

SelectionFlags selectionFlags(const std::vector<TreeItem*>& selected, SelectionFlags previous,
                              int shownUsersOfGroup) {
    if (selected.size() != 1) {
        return {};
    }
    SelectionFlags flags;
    if (selected.front()->isUser()) {
        const auto* user = static_cast<const User*>(selected.front());
        flags.isUserSelected = true;
        flags.canStartConversationWithSelection = true;
        flags.isOnlineUserSelected = !user->userOffline();
        const auto* list = CoreServices::shared().userList;
        flags.isLocalUserSelected = list && list->me().get() == user;
        return flags;
    }
    const auto* group = static_cast<const Group*>(selected.front());
    const auto users = group->users();
    flags.isGroupSelected = true;
    flags.isEmptyGroupSelected = shownUsersOfGroup == 0;
    flags.canStartGroupConversationWithSelection =
        std::any_of(users.begin(), users.end(),
                    [](const User* user) { return !user->removed() && !user->userOffline(); });
    flags.canStartConversationWithSelection = previous.canStartConversationWithSelection;
    return flags;
}

}  // namespace corvaline::ui
