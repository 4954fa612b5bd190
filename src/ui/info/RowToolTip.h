#pragma once

#include <QObject>

namespace corvaline::ui {

class RosterModel;

// The user-information tool tip of the main list's rows: resting the pointer on a user row
// shows that user's tool tip instead of the desktop's; leaving the row (or the list) lets the
// tool tip close half a second later unless the pointer went into it. It closes at once on any
// click in the list, when a context menu opens, when a row is activated (the double-click or
// Return that opens a conversation) and when the list's window loses the focus. Installed on
// the list's viewport, whose parent it becomes. GUI thread.
class RowToolTip : public QObject {
    Q_OBJECT
  public:
    RowToolTip(QWidget& viewport, RosterModel& model);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& viewport_;
    RosterModel& model_;
};

}  // namespace corvaline::ui
