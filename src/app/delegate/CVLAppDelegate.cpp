#include "app/delegate/CVLAppDelegate.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>

#include "app/activity/X11UserActivity.h"
#include "app/branding/Customizer.h"
#include "app/commands/Commands.h"
#include "app/defaults/RegisteredDefaults.h"
#include "app/delegate/QtUserInterface.h"
#include "app/sound/PlaySound.h"
#include "app/status/StatusSelection.h"
#include "core/model/roster/UserList.h"
#include "core/model/store/AppStore.h"
#include "core/net/CoreApplication.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/locale/PreferredLanguages.h"
#include "ui/main/MainWindow.h"

namespace corvaline::app {

void CVLAppDelegate::initialize() {
    registerApplicationDefaults(UserDefaults::standard(), preferredLanguages());
}

CVLAppDelegate::CVLAppDelegate(std::shared_ptr<Executor> main, QObject* parent)
    : QObject(parent),
      main_(std::move(main)),
      window_(std::make_unique<ui::MainWindow>()),
      sounds_(new PlaySound(this)),
      status_(new StatusSelection(*main_, window_->statusButtons(), this)),
      commands_(new Commands(
          window_.get(), [] { return nullptr; }, this)),
      statusMenu_(new QMenu(tr("Status"), window_.get())),
      quit_(new QAction(tr("Quit Corvaline"), this)),
      windows_(std::make_unique<QtUserInterface>(*window_, *status_, *sounds_)),
      activity_(std::make_unique<X11UserActivity>()) {
    quit_->setShortcut(QKeySequence::Quit);
    quit_->setMenuRole(QAction::QuitRole);
    connect(quit_, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(window_.get(), &ui::MainWindow::signInClicked, this, [this] {
        if (core_ && core_->userList()) {
            core_->userList()->signInButtonClicked();
        }
    });
    buildMenus();
}

CVLAppDelegate::~CVLAppDelegate() {
    applicationWillTerminate();
    core_.reset();
    AppStore::shared().close();  // the next copy may open the store now
    delete tray_;
    window_.reset();
}

void CVLAppDelegate::buildMenus() {
    auto* bar = window_->menuBar();
    auto* application = bar->addMenu(tr("Corvaline"));
    auto* openFolder = application->addAction(tr("Open Received Files Folder"));
    connect(openFolder, &QAction::triggered, commands_, &Commands::openReceivedFilesFolder);
    auto* debugLog = application->addAction(tr("Show Debug Log"));
    connect(debugLog, &QAction::triggered, commands_, &Commands::ShowDebugLog);
    application->addSeparator();
    application->addAction(quit_);

    auto* contacts = bar->addMenu(tr("Contacts"));
    connect(contacts->addAction(tr("Add Group")), &QAction::triggered, commands_,
            &Commands::AddGroup);
    connect(contacts->addAction(tr("Rename Group")), &QAction::triggered, commands_,
            &Commands::renameGroup);
    connect(contacts->addAction(tr("Remove Group")), &QAction::triggered, commands_,
            &Commands::removeGroup);
    contacts->addSeparator();
    connect(contacts->addAction(tr("Delete User")), &QAction::triggered, commands_,
            &Commands::deleteUser);

    for (auto* action : status_->actions()) {
        statusMenu_->addAction(action);
    }
    bar->addMenu(statusMenu_);
}

void CVLAppDelegate::createTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;  // the desktop has no tray: the window and its menus serve alone
    }
    auto* menu = new QMenu(window_.get());
    for (auto* action : status_->actions()) {
        menu->addAction(action);
    }
    menu->addSeparator();
    connect(menu->addAction(tr("Show Corvaline")), &QAction::triggered, this,
            &CVLAppDelegate::restoreWindow);
    connect(menu->addAction(tr("Open Received Files Folder")), &QAction::triggered, commands_,
            &Commands::openReceivedFilesFolder);
    menu->addSeparator();
    menu->addAction(quit_);
    tray_ = new QSystemTrayIcon(window_->windowIcon());
    tray_->setToolTip(tr("Corvaline"));
    tray_->setContextMenu(menu);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) {
                    restoreWindow();
                }
            });
    tray_->show();
    windows_->setTray(tray_);
}

void CVLAppDelegate::applicationDidFinishLaunching() {
    createTrayIcon();
    QApplication::setQuitOnLastWindowClosed(tray_ == nullptr);

    // The local user, the message service, the presence service and the file listener, in
    // that order.
    core_ = std::make_unique<CoreApplication>(main_, windows_.get(), activity_.get());
    core_->start();

    status_->statusMatrixSelectionChanged(std::nullopt);
    Customizer::customizeMenu(window_->menuBar());
    Customizer::customizeWindow(window_.get());
    restoreWindow();
}

void CVLAppDelegate::applicationWillTerminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    AppStore::shared().applicationShouldTerminate();
    if (core_) {
        core_->stop();  // "UO" and everybody offline, then the ports close
    }
}

void CVLAppDelegate::restoreWindow() {
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

}  // namespace corvaline::app
