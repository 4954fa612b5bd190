#pragma once

#include <QWidget>

#include "platform/observers/ObservationToken.h"

class QListWidget;
class QToolButton;

namespace corvaline::ui {

class AddBroadcastWindow;

// The user's extra broadcast targets (the "broadcasts" default) with add and remove: remove
// works only while rows are selected; a target added through the add window is validated and
// announced to at once. GUI thread.
class BroadcastTargets : public QWidget {
    Q_OBJECT
  public:
    explicit BroadcastTargets(QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* removeButton() const { return remove_; }
    AddBroadcastWindow* addWindow() const { return addWindow_; }

    // The segmented control: 1 removes the selected rows, anything else opens the add window.
    void segmentedButtonClick(int segment);

  private:
    void reload();
    void addEntered();
    void removeSelected();

    QListWidget* list_;
    QToolButton* add_;
    QToolButton* remove_;
    AddBroadcastWindow* addWindow_;
    ObservationToken observation_;
};

}  // namespace corvaline::ui
