#pragma once

#include <vector>

namespace corvaline {
class TreeItem;
}

namespace corvaline::ui {

// What the selected rows of the main list allow, for enabling menu items and buttons.
// A plain value: any thread that owns it.
struct SelectionFlags {
    bool isGroupSelected = false;
    bool isUserSelected = false;
    bool isEmptyGroupSelected = false;
    bool canStartConversationWithSelection = false;
    bool canStartGroupConversationWithSelection = false;
    bool isOnlineUserSelected = false;
    // The local user's own row: it is never deleted.
    bool isLocalUserSelected = false;
    bool operator==(const SelectionFlags&) const = default;
};

// The flags for the selected items; `previous` matters because a group selected alone keeps
// the conversation flag it had; `shownUsersOfGroup` is how many users that group shows.
// Main thread.
SelectionFlags selectionFlags(const std::vector<TreeItem*>& selected, SelectionFlags previous,
                              int shownUsersOfGroup);

}  // namespace corvaline::ui
