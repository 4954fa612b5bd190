#include "ui/confirm/MessageBoxSheet.h"

#include <QCheckBox>
#include <QPushButton>

#include "platform/defaults/UserDefaults.h"

namespace corvaline::ui {

std::string ConfirmationKeyForType(int type) {
    switch (type) {
        case 1:
            return "deleteUserConfirmation";
        case 2:
            return "deteleGroupConfirmation";  // spelled so in stored settings
        case 3:
            return "showFileTransferPanelRequest";
        default:
            return "leaveConversationConfirmation";
    }
}

MessageBoxSheet* MessageBoxSheet::requestConfirmation(int type, QWidget* window,
                                                      std::function<void()> action) {
    if (UserDefaults::standard().boolForKey(ConfirmationKeyForType(type))) {
        if (action) {
            action();
        }
        return nullptr;
    }
    auto* sheet = new MessageBoxSheet(type, window, std::move(action));
    sheet->open();
    return sheet;
}

MessageBoxSheet::MessageBoxSheet(int type, QWidget* window, std::function<void()> action)
    : QMessageBox(window), key_(ConfirmationKeyForType(type)), action_(std::move(action)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setIcon(QMessageBox::Information);
    setTextFormat(Qt::PlainText);
    setCheckBox(new QCheckBox(tr("Do not ask again"), this));
    QString confirm;
    QString refuse;
    switch (type) {
        case 0:
            setText(tr("Are you sure you want to leave the conversation?"));
            break;
        case 1:
            setText(tr("Are you sure you want to remove this user from the list?"));
            break;
        case 2:
            setText(tr("Are you sure you want to delete this group?"));
            break;
        case 3:
            setText(tr("Try Drag and Drop Option"));
            setInformativeText(
                tr("You can send files and folders by either selecting them in the file chooser "
                   "or simply dragging and dropping them into the conversation."));
            confirm = tr("Browse files");
            refuse = tr("Use drag and drop");
            break;
        default:
            break;
    }
    if (type >= 0 && type <= 2) {
        confirm = tr("Yes");
        refuse = tr("No");
    }
    if (confirm.isEmpty()) {
        confirm_ = addButton(QMessageBox::Ok);
    } else {
        confirm_ = addButton(confirm, QMessageBox::AcceptRole);
        addButton(refuse, QMessageBox::RejectRole);
    }
    setDefaultButton(static_cast<QPushButton*>(confirm_));
    // Every way the sheet ends: a button, Escape, or the title bar's close (no button, like
    // the refusing one).
    connect(this, &QDialog::finished, this, [this] { alertDidEnd(clickedButton()); });
}

void MessageBoxSheet::alertDidEnd(QAbstractButton* clicked) {
    if (checkBox()->isChecked()) {
        UserDefaults::standard().setBool(key_, true);
    }
    if (clicked && clicked == confirm_ && action_) {
        action_();
    }
}

}  // namespace corvaline::ui
