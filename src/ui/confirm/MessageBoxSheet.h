#pragma once

#include <QMessageBox>
#include <functional>
#include <string>

namespace corvaline::ui {

// The user-defaults key that suppresses the confirmation of that type; unknown types share
// the key of type 0. Any thread.
std::string ConfirmationKeyForType(int type);

// Asks the user to confirm an action in a window-modal box with a "Do not ask again" check
// box whose choice is kept in the user defaults; once suppressed, the action runs at once.
// Types: 0 leave a conversation, 1 remove a user, 2 delete a group, 3 the drag-and-drop hint.
// GUI thread.
class MessageBoxSheet : public QMessageBox {
    Q_OBJECT
  public:
    // With the key of the type set, runs `action` before returning and shows nothing;
    // otherwise opens the sheet on `window` and returns it (it deletes itself when closed).
    static MessageBoxSheet* requestConfirmation(int type, QWidget* window,
                                                std::function<void()> action);

    // The button that runs the action ("Yes", or "Browse files" for type 3).
    QAbstractButton* confirmButton() const { return confirm_; }

  private:
    MessageBoxSheet(int type, QWidget* window, std::function<void()> action);
    void alertDidEnd(QAbstractButton* clicked);

    std::string key_;
    std::function<void()> action_;
    QAbstractButton* confirm_ = nullptr;
};

}  // namespace corvaline::ui
