#pragma once

#include <QObject>

namespace corvaline::ui {

class RosterModel;

// The user-information tool tip of the main list's rows: resting the pointer on a user row
// shows that user's tool tip instead of the desktop's; leaving the row (or the list) lets the
// tool tip close half a second later unless the pointer went into it. Installed on the list's
// viewport, whose parent it becomes. GUI thread.
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
