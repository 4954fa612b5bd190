#pragma once

#include <QDialog>

#include "ui/selection/SelectionHost.h"

class QPushButton;
class QTreeView;

namespace corvaline::ui {

class Conversation;
class RosterModel;

// The sheet that adds users to a conversation: the main list in selection mode (online users
// not in the conversation yet, nor the local user), each row with a tick box. Invite adds the
// ticked users to the conversation and tells the chat's members. GUI thread.
class InviteSheet : public QDialog, public SelectionHost {
    Q_OBJECT
  public:
    explicit InviteSheet(Conversation& conversation);

    std::vector<User*> shownUsers(Group& group) const override;

    QTreeView* outlineView() const { return outline_; }
    RosterModel* inviteDataSource() const { return model_; }
    QPushButton* inviteButton() const { return invite_; }

  private:
    void inviteClose(bool invite);

    Conversation& conversation_;
    RosterModel* model_ = nullptr;
    QTreeView* outline_;
    QPushButton* invite_;
};

}  // namespace corvaline::ui
