#include "app/delegate/QtUserInterface.h"

#include <QApplication>
#include <QMessageBox>

#include "app/sound/PlaySound.h"
#include "app/status/StatusSelection.h"
#include "core/model/entities/Me.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "ui/conversation/Conversation.h"
#include "ui/icons/StatusIcons.h"

namespace corvaline::app {

QtUserInterface::QtUserInterface(ui::MainWindow& window, StatusSelection& status, PlaySound& sounds)
    : window_(&window), status_(status), sounds_(sounds) {}

void QtUserInterface::reloadAndExpand(const Group& group) {
    // The list follows the model by itself; the new group only needs to be open.
    if (outlineView_) {
        outlineView_->expandGroup(const_cast<Group&>(group));
    }
}

void QtUserInterface::statusMatrixSelectionChanged() {
    status_.statusMatrixSelectionChanged(std::nullopt);
}

void QtUserInterface::setDockIcon(const std::string& userIcon) {
    const QIcon icon = ui::applicationIconWithStatus(userIcon);
    QApplication::setWindowIcon(icon);
    if (window_) {
        window_->setWindowIcon(icon);
    }
}

void QtUserInterface::setTray(QSystemTrayIcon* tray) {
    tray_ = tray;
    setTrayIcon({});
}

void QtUserInterface::setTrayIcon(const std::string&) {
    if (!tray_) {
        return;
    }
    // The tray shows the application picture with the local user's status on it.
    auto* list = CoreServices::shared().userList;
    Me* me = list ? list->me().get() : nullptr;
    tray_->setIcon(me ? ui::applicationIconWithStatus(me->icon()) : ui::applicationIcon());
}

void QtUserInterface::Play(const std::string& sound) {
    sounds_.Play(QString::fromStdString(sound));
}

std::shared_ptr<ConversationWindow> QtUserInterface::openConversation(
    const std::vector<User*>& users, Chat* chat, bool incoming) {
    return ui::Conversation::open(users, chat, incoming, conversationHooks_);
}

void QtUserInterface::showServicesStopped(bool stopped) {
    if (window_) {
        window_->showServicesStopped(stopped);
    }
}

void QtUserInterface::presentError(const std::string& description) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Corvaline"),
                                QString::fromStdString(description), QMessageBox::Ok, window_);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

}  // namespace corvaline::app
