#pragma once

#include <QDialog>
#include <set>

#include "ui/selection/SelectionHost.h"

class QPushButton;
class QTreeWidget;

namespace corvaline::ui {

class Conversation;

// The sheet that adds users to a conversation: the groups with their online users that are
// not in the conversation yet (nor the local user), each with a tick box. Invite adds the
// ticked users to the conversation and tells the chat's members. GUI thread.
class InviteSheet : public QDialog, public SelectionHost {
    Q_OBJECT
  public:
    explicit InviteSheet(Conversation& conversation);

    std::set<TreeItem*>& selection() override { return selection_; }
    std::vector<User*> shownUsers(Group& group) const override;

    QTreeWidget* outlineView() const { return outline_; }
    QPushButton* inviteButton() const { return invite_; }

  private:
    void reload();
    void inviteClose(bool invite);

    Conversation& conversation_;
    std::set<const User*> excludedUsers_;
    std::set<TreeItem*> selection_;
    QTreeWidget* outline_;
    QPushButton* invite_;
};

}  // namespace corvaline::ui
