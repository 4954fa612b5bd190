#pragma once

// The mass-message window: one text to many users. The recipients are ticked in the list of
// groups and users (the local user is not in it); the text goes out as one mass message and
// sending closes the window.
//
//   auto* window = new MassMessage(selectedRows);    // groups become their shown users
//   if (selectedRows.empty()) window->selectEveryone(0);
//   window->show();                                  // deletes itself when it closes

#include <set>
#include <vector>

#include "ui/conversation/MessageWindowController.h"
#include "ui/selection/SelectionHost.h"

class QPushButton;
class QTreeView;

namespace corvaline {
class TreeItem;
}

namespace corvaline::ui {

class RosterModel;
class TextViewForSending;

// GUI thread (the main queue's), like the model it shows.
class MassMessage : public MessageWindowController, public SelectionHost {
    Q_OBJECT
  public:
    // The tags of selectEveryone.
    enum SelectTag { kEverybody = 0, kNobody = 1, kOnline = 2 };

    // Starts with the given rows chosen, the local user left out.
    explicit MassMessage(const std::vector<TreeItem*>& chosen, QWidget* parent = nullptr);
    ~MassMessage() override;

    // Tag 1 chooses nobody, tag 2 every online user, any other tag every stored user; never
    // the local user.
    void selectEveryone(int tag);

    std::vector<User*> shownUsers(Group& group) const override;
    // Who the text goes to: the chosen users, a group still standing in the selection taken
    // as its shown users; by name.
    std::vector<User*> recipients() const;

    QTreeView* outlineView() const { return outline_; }
    TextViewForSending* messageTextView() const { return input_; }
    QPushButton* sendButton() const { return send_; }

  protected:
    void fontUpdated() override;

  private:
    void updateSendButton();

    RosterModel* model_ = nullptr;
    QTreeView* outline_;
    TextViewForSending* input_;
    QPushButton* send_;
    ObservationToken selectionUpdated_;
};

}  // namespace corvaline::ui
