#pragma once

#include <QCheckBox>

#include "platform/observers/ObservationToken.h"

namespace corvaline {
class TreeItem;
}

namespace corvaline::ui {

class SelectionHost;

// The tick box of one list row: a user's is on while the user is chosen; a group's is on when
// all its shown users are chosen, off when none is, mixed otherwise. Clicking a group chooses
// or drops all its shown users. Every box follows "selectionUpdated" of its window. GUI thread.
class CheckBoxSubClass : public QCheckBox {
    Q_OBJECT
  public:
    CheckBoxSubClass(TreeItem& item, SelectionHost& host, QWidget* parent = nullptr);

    TreeItem& item() const { return item_; }

  protected:
    // Off and mixed go to on, on goes to off.
    void nextCheckState() override;

  private:
    void updateValue();
    void updateChildsState();
    void clicked();

    TreeItem& item_;
    SelectionHost& host_;
    ObservationToken updated_;
};

}  // namespace corvaline::ui
