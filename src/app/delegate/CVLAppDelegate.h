#pragma once

// Starts and ends the windowed program around the messenger core:
//
//   CVLAppDelegate::initialize();  // defaults registered, received-files folder checked
//   CVLAppDelegate delegate(std::make_shared<QtExecutor>());
//   delegate.applicationDidFinishLaunching();  // tray, core services, status controls, window
//   app.exec();                                // until OrderlyQuit::quit(), asking no window
//   delegate.applicationWillTerminate();       // store saved, "UO" out, ports closed
//
// The single-instance rule comes first, in main (SingleInstance).

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/tray/TrayAvailability.h"
#include "platform/runloop/Executor.h"
#include "ui/roster/RosterView.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace corvaline {
class CoreApplication;
}  // namespace corvaline

namespace corvaline::ui {
class MainWindow;
class RosterModel;
class SettingsWindow;
}  // namespace corvaline::ui

namespace corvaline::app {

class Commands;
class HotKeyWorker;
class PlaySound;
class QtUserInterface;
class StatusSelection;
class X11HotKey;
class X11UserActivity;

// The application's owner of the core, the main window, the tray and the menus. GUI thread,
// which must be the thread of `main`.
class CVLAppDelegate : public QObject {
    Q_OBJECT
  public:
    // Class set-up, before anything else of the application runs: registers the defaults
    // (packet text encoding from the preferred languages) and resets an unusable
    // received-files folder.
    static void initialize();

    // The tray icon is there while `tray` says the desktop shows one.
    explicit CVLAppDelegate(std::shared_ptr<Executor> main,
                            std::unique_ptr<TrayAvailability> tray = TrayAvailability::ofDesktop(),
                            QObject* parent = nullptr);
    ~CVLAppDelegate() override;

    void applicationDidFinishLaunching();
    // Saves the store, then the core says "UO" and closes its ports. Runs once.
    void applicationWillTerminate();
    // Shows the main window, makes it key and front and activates the application. Only a
    // minimised window changes its state: a maximised one stays maximised.
    void restoreWindow();

    ui::MainWindow* window() const { return window_.get(); }
    CoreApplication* core() const { return core_.get(); }
    StatusSelection* status() const { return status_; }
    Commands* commands() const { return commands_; }
    PlaySound* sounds() const { return sounds_; }
    // None while the desktop has no tray.
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* statusMenu() const { return statusMenu_; }
    QAction* quitAction() const { return quit_; }
    // The main list; none before launch.
    ui::RosterView* outlineView() const { return outlineView_; }
    ui::RosterModel* userListDataSource() const { return userListDataSource_; }

    // Opens the one settings window on the page the sender asks for (a conversation:
    // "Messaging", tag 99: "User Info", else "General").
    void ShowSettings(QObject* sender);
    // None before the first ShowSettings.
    ui::SettingsWindow* settings() const { return settings_.get(); }
    void about();
    // The global shortcut that brings the main window forward.
    HotKeyWorker* hoteKey() const { return hoteKey_.get(); }

  private:
    void buildMenus();
    void addMassAndFileCommands(QMenu& menu);
    void buildTrayMenu();
    // The icon follows the tray: made when one appears, removed when it goes.
    void followTray(bool available);
    // The commands that act on the selected row of the main list.
    std::vector<QAction*> selectionCommands() const;
    void enableSelectionCommands();
    void createOutlineView();
    void addSettingsCommands(QMenu* application);

    std::shared_ptr<Executor> main_;
    std::unique_ptr<ui::MainWindow> window_;
    PlaySound* sounds_;
    StatusSelection* status_;
    Commands* commands_;
    QMenu* statusMenu_;
    QMenu* trayMenu_;
    QAction* quit_;
    QAction* addGroup_;
    QAction* renameGroup_;
    QAction* removeGroup_;
    QAction* deleteUser_;
    QAction* startConversation_;
    QAction* startGroupConversation_;
    QAction* sendFiles_;
    QAction* getInfo_;
    QMenu* globalMenu_;
    QMenu* groupMenu_;
    QMenu* userMenu_;
    QMenu* groupsList_;
    QPointer<ui::RosterView> outlineView_;
    ui::RosterModel* userListDataSource_ = nullptr;
    std::unique_ptr<TrayAvailability> trayAvailability_;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QtUserInterface> windows_;
    std::unique_ptr<X11UserActivity> activity_;
    std::unique_ptr<CoreApplication> core_;
    std::unique_ptr<X11HotKey> hotKeyGrab_;
    std::unique_ptr<HotKeyWorker> hoteKey_;
    std::unique_ptr<ui::SettingsWindow> settings_;
    bool terminated_ = false;
};

}  // namespace corvaline::app
