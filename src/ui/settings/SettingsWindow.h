#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/observers/ObservationToken.h"

class QAbstractButton;
class QActionGroup;
class QCheckBox;
class QFileDialog;
class QLineEdit;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace corvaline::ui {

class BroadcastTargets;
class HotKeyField;
class UserInfoPage;

// The settings: a toolbar of pages ("General", "Messaging", "Sounds", "Files", "Network",
// "User Info"), each fitted in height to its controls. Every setting a person changes is bound
// to its default and takes effect at once. One window per process, kept by the application.
// GUI thread.
class SettingsWindow : public QWidget {
    Q_OBJECT
  public:
    static const QString kGeneral;
    static const QString kMessaging;
    static const QString kUserInfo;

    explicit SettingsWindow(QWidget* parent = nullptr);

    // Chooses the page by its name (unknown names leave the page as it is).
    void setTabName(const QString& name);
    QString currentTabName() const;
    QStringList tabNames() const;
    // The toolbar button of a page.
    QToolButton* tabButton(const QString& name) const;

    // Opens the folder chooser as a sheet; choosing a folder stores it as the download folder.
    QFileDialog* BrowseFileTransferPath();
    // Sounds on incoming or broadcast messages: the "even when in front" switch applies.
    bool playSoundsOnAnyMessages() const;

    HotKeyField* hotKeyField() const { return hotKeyField_; }
    QCheckBox* startAtLogin() const { return startAtLogin_; }
    BroadcastTargets* broadcasts() const { return broadcasts_; }
    UserInfoPage* userInfo() const { return userInfo_; }
    QLineEdit* fileTransferPath() const { return fileTransferPath_; }
    QCheckBox* soundsAnyTime() const { return soundsAnyTime_; }
    // The check box or other control bound to a default, by the default's key.
    QWidget* control(std::string_view key) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* addPage(const QString& name, const QString& title, QWidget* page, int icon);
    QWidget* generalPage();
    QWidget* messagingPage();
    QWidget* soundsPage();
    QWidget* filesPage();
    QWidget* networkPage();
    void pageChosen(const QString& name);
    void fitToPage();
    void updateSoundsOnAnyMessage();
    void showFileTransferPath();

    QToolBar* toolbar_;
    QActionGroup* tabs_;
    QStackedWidget* pages_;
    QStringList names_;
    HotKeyField* hotKeyField_ = nullptr;
    QCheckBox* startAtLogin_ = nullptr;
    BroadcastTargets* broadcasts_ = nullptr;
    UserInfoPage* userInfo_ = nullptr;
    QLineEdit* fileTransferPath_ = nullptr;
    QCheckBox* soundsAnyTime_ = nullptr;
    QPointer<QFileDialog> browser_;
    ObservationToken soundSwitches_[2];
    ObservationToken pathObservation_;
    bool optionPressed_ = false;
};

}  // namespace corvaline::ui
