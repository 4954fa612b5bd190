// The delegate's commands for the settings and About windows.
#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "app/commands/ShowSettings.h"
#include "app/delegate/CVLAppDelegate.h"
#include "app/delegate/QtUserInterface.h"
#include "app/delegate/StartAtLogin.h"
#include "app/hotkey/X11HotKey.h"
#include "ui/about/About.h"
#include "ui/main/MainWindow.h"
#include "ui/settings/HotKeyField.h"
#include "ui/settings/SettingsWindow.h"

namespace corvaline::app {

void CVLAppDelegate::addSettingsCommands(QMenu* application) {
    auto* about = application->addAction(tr("&About Corvaline"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &CVLAppDelegate::about);
    auto* settings = application->addAction(tr("S&ettings\u2026"));
    settings->setMenuRole(QAction::PreferencesRole);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this, settings] { ShowSettings(settings); });
    auto* myInfo = application->addAction(tr("&My Information\u2026"));
    myInfo->setData(99);  // opens the "User Info" page
    connect(myInfo, &QAction::triggered, this, [this, myInfo] { ShowSettings(myInfo); });
    // Conversation windows close on their own and may outlive the delegate.
    windows_->setOpenSettings([self = QPointer(this)](QObject* sender) {
        if (self) {
            self->ShowSettings(sender);
        }
    });
}

void CVLAppDelegate::ShowSettings(QObject* sender) {
    if (!settings_) {
        settings_ = std::make_unique<ui::SettingsWindow>();
        auto* field = settings_->hotKeyField();
        field->setMenus(window_->menuBar());
        if (hotKeyGrab_->available()) {
            X11HotKey* x11 = hotKeyGrab_.get();
            field->setPlatform({
                .keyName = [x11](std::uint16_t code) { return x11->keyName(code); },
                .codeForScanCode = [x11](std::uint32_t scan) { return x11->codeForScanCode(scan); },
                .isTaken = [x11](std::uint32_t flags,
                                 std::uint16_t code) { return x11->isTaken(flags, code); },
            });
        }
        auto* startAtLogin = settings_->startAtLogin();
        startAtLogin->setChecked(startsAtLogin());
        connect(startAtLogin, &QCheckBox::toggled, this, [](bool on) { setStartAtLogin(on); });
    }
    settings_->setTabName(settingsPageFor(sender));
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

void CVLAppDelegate::about() {
    ui::About::show();
}

}  // namespace corvaline::app
