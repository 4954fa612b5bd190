#pragma once

#include <QMainWindow>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace corvaline::ui {

// The main window: the row of status buttons (Available 0, Busy 1, Away 2; one checked at a
// time), the roster list, and in its place, while the services are stopped, the reason and the
// sign-in button. The menus and what the controls do belong to the application. GUI thread.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);

    // The status buttons; each button's id is its status tag.
    QButtonGroup* statusButtons() const { return statusButtons_; }
    QAbstractButton* statusButton(int tag) const;
    QPushButton* signInButton() const { return signIn_; }
    QLabel* errorMessage() const { return errorMessage_; }
    // The roster list goes where the placeholder is; the window takes it.
    void setRosterView(QWidget* view);
    QWidget* rosterView() const { return roster_; }

    // Stopped: the list is hidden and the reason and the sign-in button are shown.
    void showServicesStopped(bool stopped);
    bool servicesStopped() const;

  signals:
    void signInClicked();

  private:
    QToolButton* addStatusButton(int tag, const QString& title, const char* icon);

    QButtonGroup* statusButtons_;
    QStackedWidget* pages_;
    QWidget* roster_;
    QWidget* stoppedPage_;
    QLabel* errorMessage_;
    QPushButton* signIn_;
};

}  // namespace corvaline::ui
