#pragma once

// What is known of one user, on two tabs (personal, system), in one of two forms:
//
//   UserInformationWindow::GetInfo(user);           // the pinned, titled window of the user
//   auto* tip = UserInformationWindow::showToolTip(user, pointer);   // the main list's hover
//
// Every window asks the user's copy for fresh information when it is made and redraws a tab
// whenever one of the tab's attributes of the user changes, so the answer shows as it comes.
// A tool tip closes half a second after the pointer left it (unless the pointer is back
// inside); its pin button turns it into the user's pinned window. Deleting the user, or
// removing it from the list, closes its windows.

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"

class QStackedWidget;
class QTabBar;
class QTextBrowser;
class QToolButton;

namespace corvaline {
class User;
}  // namespace corvaline

namespace corvaline::ui {

// GUI thread (the main queue's), like the model it shows. Deletes itself when it closes.
class UserInformationWindow : public QWidget {
    Q_OBJECT
  public:
    ~UserInformationWindow() override;

    // The user's pinned window (made and kept when there is none), shown and fronted.
    static UserInformationWindow* GetInfo(User& user);
    // The pinned window the user holds, or none.
    static UserInformationWindow* userInfoWindow(const User& user);

    // The tool tip of `user` hanging 3 points below `position` (screen coordinates); an
    // open tool tip of another user closes first, one of the same user stays as it is.
    static UserInformationWindow* showToolTip(User& user, QPoint position);
    // The tool tip shown now, or none.
    static UserInformationWindow* CurrentToolTipInfoWindow();
    // Closes the tool tip shown now, if any.
    static void closeToolTip();

    // Closes the tool tip half a second from now unless the pointer is then inside this
    // window.
    void shouldCloseToolTip();
    // Turns the tool tip into the user's pinned window (the pin button).
    void showFull();
    // Fills both tabs, fits the height to the selected tab, moves the window back onto the
    // screen and shows it.
    void showWindow();

    bool isToolTip() const { return toolTip_; }
    User& user() const { return *user_; }
    // The tab headers (hidden in the tool tip); the current tab is the one shown.
    QTabBar* tabView() const { return tabs_; }
    QTextBrowser* personalTextView() const { return personal_; }
    QTextBrowser* systemTextView() const { return system_; }
    QToolButton* pinButton() const { return pin_; }

  protected:
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    explicit UserInformationWindow(User& user);
    void showAsToolTip(QPoint position);
    void UpdateInfo(bool personal);
    void UpdateWindowHeight();
    void moveOntoScreen();
    void updateTitle();

    std::shared_ptr<User> user_;
    QTabBar* tabs_;
    QStackedWidget* pages_;
    QTextBrowser* personal_;
    QTextBrowser* system_;
    QToolButton* pin_;
    bool toolTip_ = false;
    QPoint shownAt_;      // the pointer when the tool tip appeared
    QSize pinnedGrowth_;  // the pinned window's size minus the tool tip's
    ObservationToken changes_;
    ObservationToken removed_;
    TimerHandle closeCheck_;
};

}  // namespace corvaline::ui
