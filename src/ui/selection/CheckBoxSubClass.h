#pragma once

#include <QCheckBox>
#include <memory>

#include "platform/observers/ObservationToken.h"

namespace corvaline {
class ManagedObject;
class TreeItem;
}  // namespace corvaline

namespace corvaline::ui {

class SelectionHost;

// The tick box of one list row: a user's is on while the user is chosen; a group's is on when
// all its shown users are chosen, off when none is, mixed otherwise. Clicking a group chooses
// or drops all its shown users. Every box follows "selectionUpdated" of its window. The box
// holds its row's item weakly: once the model has deleted it (the list lets the box go a
// moment later), the box does nothing. GUI thread.
class CheckBoxSubClass : public QCheckBox {
    Q_OBJECT
  public:
    CheckBoxSubClass(TreeItem& item, SelectionHost& host, QWidget* parent = nullptr);

    // The row's item, or none once the model has deleted it.
    TreeItem* item() const;
    // Shows the item's present name (after a rename).
    void updateTitle();

  protected:
    // Off and mixed go to on, on goes to off.
    void nextCheckState() override;

  private:
    void updateValue();
    void updateChildsState();
    void clicked();

    std::weak_ptr<ManagedObject> item_;
    SelectionHost& host_;
    ObservationToken updated_;
};

}  // namespace corvaline::ui
