#pragma once

#include <QObject>
#include <QPointer>
#include <array>

#include "platform/runloop/Executor.h"

class QAction;
class QActionGroup;
class QButtonGroup;

namespace corvaline::ui {
class StatusSheet;
}

namespace corvaline::app {

// The local user's status as the windows choose it: the status buttons, the status actions
// shared by the tray and "Status" menus, and the sheet with its countdown for Busy and Away.
// GUI thread (the thread of the main queue).
class StatusSelection : public QObject {
    Q_OBJECT
  public:
    // The countdown runs on `main`; the sheet opens on the buttons' window.
    StatusSelection(Executor& main, QButtonGroup* buttons, QObject* parent);
    ~StatusSelection() override;

    // The checkable Available, Busy and Away actions (tags 0, 1, 2) for the menus.
    const std::array<QAction*, 3>& actions() const { return actions_; }

    // With a chosen tag: Available at once, Busy or Away through the sheet. Without one: the
    // buttons and menu ticks follow the local user's stored status.
    void statusMatrixSelectionChanged(std::optional<int> chosenTag);

    // The sheet, made on first use.
    ui::StatusSheet* sheet();
    bool isCounting() const { return timer_.isScheduled(); }

    // The sheet's buttons, the countdown and typing (public for the tests' sake).
    void updateSeconds();
    void setStatusButton();
    void statusCancelButton();
    void textDidChange() { stop_ = true; }

  private:
    int selectedTag() const;
    void select(int tag);
    void closeSheet();

    Executor& main_;
    QPointer<QButtonGroup> buttons_;
    QActionGroup* actionGroup_;
    std::array<QAction*, 3> actions_{};
    QPointer<ui::StatusSheet> sheet_;
    TimerHandle timer_;
    int counter_ = 9;
    bool stop_ = false;
};

}  // namespace corvaline::app
