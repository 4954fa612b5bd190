#include "app/delegate/CVLAppDelegate.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>

#include "app/activity/X11UserActivity.h"
#include "app/branding/Customizer.h"
#include "app/commands/Commands.h"
#include "app/defaults/RegisteredDefaults.h"
#include "app/delegate/OrderlyQuit.h"
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

CVLAppDelegate::CVLAppDelegate(std::shared_ptr<Executor> main,
                               std::unique_ptr<TrayAvailability> tray, QObject* parent)
    : QObject(parent),
      main_(std::move(main)),
      window_(std::make_unique<ui::MainWindow>()),
      sounds_(new PlaySound(this)),
      status_(new StatusSelection(*main_, window_->statusButtons(), this)),
      commands_(new Commands(
          window_.get(), [this] { return outlineView_ ? outlineView_->selectedItem() : nullptr; },
          this)),
      statusMenu_(new QMenu(tr("&Status"), window_.get())),
      trayMenu_(new QMenu(window_.get())),
      quit_(new QAction(tr("&Quit Corvaline"), this)),
      addGroup_(new QAction(tr("&Add Group"), this)),
      renameGroup_(new QAction(tr("&Rename Group"), this)),
      removeGroup_(new QAction(tr("Remo&ve Group"), this)),
      deleteUser_(new QAction(tr("&Delete User"), this)),
      startConversation_(new QAction(tr("Start &Conversation"), this)),
      startGroupConversation_(new QAction(tr("Start &Group Conversation"), this)),
      sendFiles_(new QAction(tr("Send &Files..."), this)),
      getInfo_(new QAction(tr("Get &Info"), this)),
      globalMenu_(new QMenu(window_.get())),
      groupMenu_(new QMenu(window_.get())),
      userMenu_(new QMenu(window_.get())),
      groupsList_(new QMenu(tr("&Move to Group"), window_.get())),
      trayAvailability_(std::move(tray)),
      windows_(std::make_unique<QtUserInterface>(*window_, *status_, *sounds_)),
      activity_(std::make_unique<X11UserActivity>()),
      hotKeyGrab_(std::make_unique<X11HotKey>()),
      hoteKey_(std::make_unique<HotKeyWorker>(*main_, *hotKeyGrab_)) {
    UserDefaults::standard().coalesceWritesOn(main_);
    hoteKey_->setEnabledDefaultsKeyPath(defaults::kEnableHotKey);
    hoteKey_->setHotKeyDefaultsKeyPath(defaults::kHotKey);
    quit_->setShortcut(QKeySequence::Quit);
    quit_->setMenuRole(QAction::QuitRole);
    new OrderlyQuit(this);
    connect(quit_, &QAction::triggered, this, &OrderlyQuit::quit, Qt::QueuedConnection);
    // The session may end before it asks the program to quit: what it asks to keep is saved.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [] { SaveAppContextIfChanged(); });
    connect(window_.get(), &ui::MainWindow::signInClicked, this, [this] {
        if (core_ && core_->userList()) {
            core_->userList()->signInButtonClicked();
        }
    });
    buildMenus();
    buildTrayMenu();
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
    auto* application = bar->addMenu(tr("&Corvaline"));
    auto* openFolder = application->addAction(tr("&Open Received Files Folder"));
    connect(openFolder, &QAction::triggered, commands_, &Commands::openReceivedFilesFolder);
    auto* history = application->addAction(tr("Show &History"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    connect(history, &QAction::triggered, commands_, &Commands::ShowHistory);
    auto* debugLog = application->addAction(tr("Show &Debug Log"));
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
    for (auto* action : selectionCommands()) {
        action->setEnabled(false);  // until a row is selected that they act on
    }
    auto* contacts = bar->addMenu(tr("C&ontacts"));
    contacts->addActions({addGroup_, renameGroup_, removeGroup_});
    contacts->addSeparator();
    contacts->addAction(deleteUser_);
    contacts->addSeparator();
    connect(startConversation_, &QAction::triggered, commands_, &Commands::StartConversation);
    connect(startGroupConversation_, &QAction::triggered, commands_,
            &Commands::StartGroupConversation);
    contacts->addActions({startConversation_, startGroupConversation_});
    addMassAndFileCommands(*contacts);

    globalMenu_->addAction(addGroup_);
    groupMenu_->addActions({renameGroup_, removeGroup_});
    groupMenu_->addSeparator();
    groupMenu_->addAction(addGroup_);
    getInfo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(getInfo_, &QAction::triggered, commands_, &Commands::GetInfo);
    contacts->addAction(getInfo_);
    userMenu_->addAction(getInfo_);
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
    auto* mass = menu.addAction(tr("&Mass Message..."));
    mass->setShortcut(Qt::CTRL | Qt::Key_M);
    connect(mass, &QAction::triggered, commands_,
            [this] { commands_->openMassMessage(ui::MassMessage::kEverybody); });
    connect(menu.addAction(tr("Mass Message to &Online Users...")), &QAction::triggered, commands_,
            [this] { commands_->openMassMessage(ui::MassMessage::kOnline); });
    connect(sendFiles_, &QAction::triggered, commands_, &Commands::sendFiles);
    menu.addAction(sendFiles_);
}

std::vector<QAction*> CVLAppDelegate::selectionCommands() const {
    return {renameGroup_, removeGroup_, deleteUser_, startConversation_, startGroupConversation_,
            sendFiles_,   getInfo_};
}

void CVLAppDelegate::enableSelectionCommands() {
    // Each command is enabled exactly when it would act on the selected row.
    const auto& flags = outlineView_->flags();
    renameGroup_->setEnabled(flags.isGroupSelected);
    removeGroup_->setEnabled(flags.isGroupSelected);
    deleteUser_->setEnabled(flags.isUserSelected && !flags.isLocalUserSelected);
    startConversation_->setEnabled(flags.isUserSelected);
    startGroupConversation_->setEnabled(flags.canStartGroupConversationWithSelection);
    sendFiles_->setEnabled(flags.isOnlineUserSelected);
    getInfo_->setEnabled(flags.isUserSelected);
}

void CVLAppDelegate::buildTrayMenu() {
    for (auto* action : status_->actions()) {
        trayMenu_->addAction(action);
    }
    trayMenu_->addSeparator();
    connect(trayMenu_->addAction(tr("&Show Corvaline")), &QAction::triggered, this,
            &CVLAppDelegate::restoreWindow);
    connect(trayMenu_->addAction(tr("&Open Received Files Folder")), &QAction::triggered, commands_,
            &Commands::openReceivedFilesFolder);
    trayMenu_->addSeparator();
    trayMenu_->addAction(quit_);
}

void CVLAppDelegate::followTray(bool available) {
    // A tray that takes over from another gets an icon of its own, docked anew.
    const bool hadIcon = tray_ != nullptr;
    delete tray_;
    tray_ = nullptr;
    if (available) {
        tray_ = new QSystemTrayIcon(window_->windowIcon());
        tray_->setToolTip(tr("Corvaline"));
        tray_->setContextMenu(trayMenu_);
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) {
                        restoreWindow();
                    }
                });
        windows_->setTray(tray_);
        tray_->show();
    } else if (hadIcon && window_->isHidden()) {
        restoreWindow();  // closed into the tray that went, it would be out of reach
    }
    // Without a tray, closing the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(tray_ == nullptr);
}

void CVLAppDelegate::applicationDidFinishLaunching() {
    followTray(trayAvailability_->isAvailable());
    connect(trayAvailability_.get(), &TrayAvailability::availabilityChanged, this,
            &CVLAppDelegate::followTray);

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
    connect(outlineView_, &ui::RosterView::selectionFlagsChanged, this,
            &CVLAppDelegate::enableSelectionCommands);
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
    // The main queue runs no more blocks soon: what changes from now on is written at once.
    UserDefaults::standard().coalesceWritesOn({});
    AppStore::shared().applicationShouldTerminate();
    if (core_) {
        core_->stop();  // "UO" and everybody offline, then the ports close
    }
}

void CVLAppDelegate::restoreWindow() {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace corvaline::app
