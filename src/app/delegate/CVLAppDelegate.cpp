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
#include "app/hotkey/HotKeyWorker.h"
#include "app/hotkey/X11HotKey.h"
#include "app/probe/MainThreadProbe.h"
#include "app/sound/PlaySound.h"
#include "app/status/StatusSelection.h"
#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/store/AppStore.h"
#include "core/net/CoreApplication.h"
#include "core/net/FILEserver.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/locale/PreferredLanguages.h"
#include "ui/info/RowToolTip.h"
#include "ui/main/MainWindow.h"
#include "ui/mass/MassMessage.h"
#include "ui/roster/RosterModel.h"
#include "ui/roster/RosterView.h"
#include "ui/settings/SettingsWindow.h"

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
          window_.get(), [this] { return outlineView_ ? outlineView_->selectedItem() : nullptr; },
          this)),
      statusMenu_(new QMenu(tr("Status"), window_.get())),
      quit_(new QAction(tr("Quit Corvaline"), this)),
      addGroup_(new QAction(tr("Add Group"), this)),
      renameGroup_(new QAction(tr("Rename Group"), this)),
      removeGroup_(new QAction(tr("Remove Group"), this)),
      deleteUser_(new QAction(tr("Delete User"), this)),
      globalMenu_(new QMenu(window_.get())),
      groupMenu_(new QMenu(window_.get())),
      userMenu_(new QMenu(window_.get())),
      groupsList_(new QMenu(tr("Move to Group"), window_.get())),
      windows_(std::make_unique<QtUserInterface>(*window_, *status_, *sounds_)),
      activity_(std::make_unique<X11UserActivity>()),
      hotKeyGrab_(std::make_unique<X11HotKey>()),
      hoteKey_(std::make_unique<HotKeyWorker>(*main_, *hotKeyGrab_)) {
    hoteKey_->setEnabledDefaultsKeyPath(defaults::kEnableHotKey);
    hoteKey_->setHotKeyDefaultsKeyPath(defaults::kHotKey);
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
    settings_.reset();
    hoteKey_.reset();
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
    auto* history = application->addAction(tr("Show History"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    connect(history, &QAction::triggered, commands_, &Commands::ShowHistory);
    auto* debugLog = application->addAction(tr("Show Debug Log"));
    connect(debugLog, &QAction::triggered, commands_, &Commands::ShowDebugLog);
    addSettingsCommands(application);
    application->addSeparator();
    application->addAction(quit_);

    connect(addGroup_, &QAction::triggered, commands_, &Commands::AddGroup);
    connect(renameGroup_, &QAction::triggered, commands_, &Commands::renameGroup);
    connect(removeGroup_, &QAction::triggered, commands_, &Commands::removeGroup);
    connect(deleteUser_, &QAction::triggered, commands_, &Commands::deleteUser);
    deleteUser_->setShortcut(QKeySequence::Delete);
    renameGroup_->setShortcut(Qt::Key_F2);
    for (auto* action : {renameGroup_, removeGroup_, deleteUser_}) {
        action->setEnabled(false);  // until a row is selected
    }
    auto* contacts = bar->addMenu(tr("Contacts"));
    contacts->addActions({addGroup_, renameGroup_, removeGroup_});
    contacts->addSeparator();
    contacts->addAction(deleteUser_);
    contacts->addSeparator();
    connect(contacts->addAction(tr("Start Conversation")), &QAction::triggered, commands_,
            &Commands::StartConversation);
    connect(contacts->addAction(tr("Start Group Conversation")), &QAction::triggered, commands_,
            &Commands::StartGroupConversation);
    addMassAndFileCommands(*contacts);

    globalMenu_->addAction(addGroup_);
    groupMenu_->addActions({renameGroup_, removeGroup_});
    groupMenu_->addSeparator();
    groupMenu_->addAction(addGroup_);
    auto* getInfo = new QAction(tr("Get Info"), this);
    getInfo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(getInfo, &QAction::triggered, commands_, &Commands::GetInfo);
    contacts->addAction(getInfo);
    userMenu_->addAction(getInfo);
    userMenu_->addMenu(groupsList_);
    userMenu_->addSeparator();
    userMenu_->addAction(deleteUser_);

    for (auto* action : status_->actions()) {
        statusMenu_->addAction(action);
    }
    bar->addMenu(statusMenu_);
}

void CVLAppDelegate::addMassAndFileCommands(QMenu& menu) {
    menu.addSeparator();
    auto* mass = menu.addAction(tr("Mass Message..."));
    mass->setShortcut(Qt::CTRL | Qt::Key_M);
    connect(mass, &QAction::triggered, commands_,
            [this] { commands_->openMassMessage(ui::MassMessage::kEverybody); });
    connect(menu.addAction(tr("Mass Message to Online Users...")), &QAction::triggered, commands_,
            [this] { commands_->openMassMessage(ui::MassMessage::kOnline); });
    connect(menu.addAction(tr("Send Files...")), &QAction::triggered, commands_,
            &Commands::sendFiles);
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

    const auto outgoingFiles = [this](const std::vector<std::filesystem::path>& paths, User& to) {
        auto* files = core_ ? core_->fileServer() : nullptr;
        return files && files->outgoingFiles(paths, to) != nullptr;
    };
    windows_->setOutgoingFiles(outgoingFiles);
    commands_->setOutgoingFiles(outgoingFiles);
    // The local user, the message service, the presence service and the file listener, in
    // that order.
    core_ = std::make_unique<CoreApplication>(main_, windows_.get(), activity_.get());
    core_->start();
    createOutlineView();

    status_->statusMatrixSelectionChanged(std::nullopt);
    hoteKey_->setAction([this] { restoreWindow(); });
    Customizer::customizeMenu(window_->menuBar());
    Customizer::customizeWindow(window_.get());
    restoreWindow();
}

void CVLAppDelegate::createOutlineView() {
    auto* context = AppManagedObjectContext();
    if (!context) {
        return;  // the store could not be opened; the error is on screen
    }
    userListDataSource_ = new ui::RosterModel(*context, *main_, window_.get());
    userListDataSource_->setSendFiles([this](const std::vector<std::string>& paths, User& to) {
        auto* files = core_ ? core_->fileServer() : nullptr;
        return files && files->outgoingFiles({paths.begin(), paths.end()}, to) != nullptr;
    });
    outlineView_ = new ui::RosterView(*userListDataSource_);
    commands_->setSelectedItems(
        [this] { return outlineView_ ? outlineView_->selectedItems() : std::vector<TreeItem*>{}; });
    outlineView_->setMenus(globalMenu_, groupMenu_, userMenu_, groupsList_);
    new ui::RowToolTip(*outlineView_->viewport(), *userListDataSource_);
    window_->setRosterView(outlineView_);
    windows_->setOutlineView(outlineView_);
    connect(outlineView_, &ui::RosterView::userActivated, this,
            [](User* user) { user->StartConversation(false); });
    connect(outlineView_, &ui::RosterView::selectionFlagsChanged, this, [this] {
        const auto& flags = outlineView_->flags();
        renameGroup_->setEnabled(flags.isGroupSelected);
        removeGroup_->setEnabled(flags.isGroupSelected);
        deleteUser_->setEnabled(flags.isUserSelected);
    });
    connect(commands_, &Commands::groupAdded, outlineView_,
            [this](Group* group) { outlineView_->startGroupRenaming(*group); });
    connect(commands_, &Commands::startGroupRenaming, outlineView_,
            [this](Group* group) { outlineView_->startGroupRenaming(*group); });
    MainThreadProbe::startIfAsked(*userListDataSource_);
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
