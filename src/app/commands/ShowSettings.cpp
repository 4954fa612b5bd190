#include "app/commands/ShowSettings.h"

#include <QAction>

#include "ui/conversation/Conversation.h"
#include "ui/settings/SettingsWindow.h"

namespace corvaline::app {

namespace {

constexpr int kUserInfoTag = 99;

int tagOf(const QObject* sender) {
    if (const auto* action = qobject_cast<const QAction*>(sender)) {
        if (action->data().isValid()) {
            return action->data().toInt();
        }
    }
    return sender->property("tag").toInt();
}

}  // namespace

QString settingsPageFor(const QObject* sender) {
    // A conversation's own command: the sender is the window, or an action or control in it.
    for (const QObject* owner = sender; owner; owner = owner->parent()) {
        if (qobject_cast<const ui::Conversation*>(owner)) {
            return ui::SettingsWindow::kMessaging;
        }
    }
    if (sender && tagOf(sender) == kUserInfoTag) {
        return ui::SettingsWindow::kUserInfo;
    }
    return ui::SettingsWindow::kGeneral;
}

}  // namespace corvaline::app
