#include "ui/settings/SettingsWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/model/defaults/DefaultsKeys.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/paths/Tilde.h"
#include "ui/controls/CloseKeys.h"
#include "ui/settings/BroadcastTargets.h"
#include "ui/settings/DefaultsBinding.h"
#include "ui/settings/HotKeyField.h"
#include "ui/settings/UserInfoPage.h"

namespace corvaline::ui {

const QString SettingsWindow::kGeneral = QStringLiteral("General");
const QString SettingsWindow::kMessaging = QStringLiteral("Messaging");
const QString SettingsWindow::kUserInfo = QStringLiteral("User Info");

namespace {

const QString kSounds = QStringLiteral("Sounds");
const QString kFiles = QStringLiteral("Files");
const QString kNetwork = QStringLiteral("Network");

QString keyName(std::string_view key) {
    return QString::fromUtf8(key.data(), key.size());
}

template <typename Control>
Control* named(Control* control, std::string_view key) {
    control->setObjectName(keyName(key));
    return control;
}

QCheckBox* checkBox(const QString& title, std::string_view key, QWidget* parent) {
    auto* box = named(new QCheckBox(title, parent), key);
    bindBool(box, key);
    return box;
}

QVBoxLayout* column(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setAlignment(Qt::AlignTop);
    return layout;
}

}  // namespace

SettingsWindow::SettingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      toolbar_(new QToolBar(this)),
      tabs_(new QActionGroup(this)),
      pages_(new QStackedWidget(this)) {
    setWindowTitle(tr("Settings"));
    setObjectName(QStringLiteral("Settings"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the window follows the page's height
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(24, 24));
    layout->addWidget(toolbar_);
    layout->addWidget(pages_);

    addPage(kGeneral, tr("General"), generalPage(), QStyle::SP_ComputerIcon);
    addPage(kMessaging, tr("Messaging"), messagingPage(), QStyle::SP_FileDialogDetailedView);
    addPage(kSounds, tr("Sounds"), soundsPage(), QStyle::SP_MediaVolume);
    addPage(kFiles, tr("Files"), filesPage(), QStyle::SP_DirIcon);
    addPage(kNetwork, tr("Network"), networkPage(), QStyle::SP_DriveNetIcon);
    userInfo_ = new UserInfoPage;
    addPage(kUserInfo, tr("User Info"), userInfo_, QStyle::SP_FileDialogInfoView);
    // One width for every page, so that only the height changes from page to page.
    int width = 0;
    for (int i = 0; i < pages_->count(); ++i) {
        width = std::max(width, pages_->widget(i)->sizeHint().width());
    }
    for (int i = 0; i < pages_->count(); ++i) {
        pages_->widget(i)->setMinimumWidth(width);
    }
    setTabName(kGeneral);
    closeWithKeys(*this);
}

QWidget* SettingsWindow::addPage(const QString& name, const QString& title, QWidget* page,
                                 int icon) {
    page->setObjectName(name);
    pages_->addWidget(page);
    names_.append(name);
    auto* action = toolbar_->addAction(style()->standardIcon(QStyle::StandardPixmap(icon)), title);
    action->setCheckable(true);
    action->setData(name);
    tabs_->addAction(action);
    connect(action, &QAction::triggered, this, [this, name] { pageChosen(name); });
    toolbar_->widgetForAction(action)->installEventFilter(this);
    return page;
}

QWidget* SettingsWindow::generalPage() {
    auto* page = new QWidget;
    auto* layout = column(page);
    layout->addWidget(checkBox(tr("Hide offline users"), defaults::kHideOfflineUsers, page));
    startAtLogin_ = new QCheckBox(tr("Start Corvaline when I log in"), page);
    startAtLogin_->setObjectName(QStringLiteral("startAtLogin"));
    layout->addWidget(startAtLogin_);

    auto* hotKey = new QGroupBox(tr("Global shortcut"), page);
    auto* hotKeyLayout = new QVBoxLayout(hotKey);
    auto* hotKeyRow = new QHBoxLayout;
    hotKeyRow->addWidget(
        checkBox(tr("Bring Corvaline forward with"), defaults::kEnableHotKey, hotKey));
    hotKeyField_ = new HotKeyField(hotKey);
    hotKeyField_->setMinimumWidth(140);
    hotKeyRow->addWidget(hotKeyField_);
    hotKeyLayout->addLayout(hotKeyRow);
    hotKeyLayout->addWidget(hotKeyField_->warningView(), 0, Qt::AlignRight);
    layout->addWidget(hotKey);

    auto* away = new QGroupBox(tr("Away"), page);
    auto* awayLayout = new QVBoxLayout(away);
    auto* idle = new QHBoxLayout;
    idle->addWidget(checkBox(tr("Set my status to Away after"), defaults::kAutoAwayEnabled, away));
    auto* minutes = named(new QSpinBox(away), defaults::kAutoAwayMinutes);
    minutes->setRange(1, 240);
    minutes->setSuffix(tr(" min"));
    bindInteger(minutes, defaults::kAutoAwayMinutes);
    idle->addWidget(minutes);
    idle->addStretch();
    awayLayout->addLayout(idle);
    awayLayout->addWidget(checkBox(tr("Set my status to Away while the screen saver runs"),
                                   defaults::kScreensaverAwayEnabled, away));
    layout->addWidget(away);
    return page;
}

QWidget* SettingsWindow::messagingPage() {
    auto* page = new QWidget;
    auto* layout = column(page);
    auto* form = new QFormLayout;
    auto* fontSize = named(new QSpinBox(page), defaults::kFontSize);
    fontSize->setRange(8, 48);
    fontSize->setSuffix(tr(" pt"));
    bindInteger(fontSize, defaults::kFontSize);
    form->addRow(tr("Text size:"), fontSize);
    auto* sendKey = named(new QComboBox(page), defaults::kSendMessageKey);
    sendKey->addItem(tr("Return sends, Control+Return starts a new line"), qlonglong{1});
    sendKey->addItem(tr("Control+Return sends, Return starts a new line"), qlonglong{0});
    bindChoice(sendKey, defaults::kSendMessageKey);
    form->addRow(tr("Sending:"), sendKey);
    layout->addLayout(form);

    layout->addWidget(
        checkBox(tr("Show recent history in a new conversation"), defaults::kDisplayRecent, page));
    layout->addWidget(
        checkBox(tr("Show the date in every time stamp"), defaults::kDisplayTime, page));
    auto* minimize = named(new QCheckBox(tr("Keep windows of new messages minimised"), page),
                           defaults::kMinimizeMessages);
    bindOnOff(minimize, defaults::kMinimizeMessages);
    layout->addWidget(minimize);
    layout->addWidget(
        checkBox(tr("Bring a window with a new message to the front"), defaults::kKeepFocus, page));
    layout->addWidget(checkBox(tr("Check spelling while typing"),
                               defaults::kContinuousSpellCheckingEnabled, page));

    auto* texts = new QFormLayout;
    for (const auto& [key, title] : {std::pair{defaults::kAwayMessage, tr("Away text:")},
                                     std::pair{defaults::kBusyMessage, tr("Busy text:")}}) {
        auto* text = named(new QPlainTextEdit(page), key);
        text->setTabChangesFocus(true);
        text->setFixedHeight(text->fontMetrics().lineSpacing() * 3 + 12);
        bindText(text, key);
        texts->addRow(title, text);
    }
    layout->addLayout(texts);
    return page;
}

QWidget* SettingsWindow::soundsPage() {
    auto* page = new QWidget;
    auto* layout = column(page);
    layout->addWidget(checkBox(tr("Play sounds"), defaults::kSoundsEnabled, page));
    layout->addWidget(checkBox(tr("When a message arrives"), defaults::kSoundsOnIncoming, page));
    layout->addWidget(
        checkBox(tr("When a broadcast message arrives"), defaults::kSoundsOnBroadcast, page));
    soundsAnyTime_ = named(new QCheckBox(tr("Also when its window is in front"), page),
                           defaults::kSoundsAnyTime);
    bindOnOff(soundsAnyTime_, defaults::kSoundsAnyTime);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);  // belongs to the two switches above
    indented->addWidget(soundsAnyTime_);
    layout->addLayout(indented);
    layout->addWidget(
        checkBox(tr("When a user comes online"), defaults::kSoundsOnUserOnline, page));
    layout->addWidget(checkBox(tr("When a file arrives"), defaults::kSoundsOnIncomingFile, page));
    auto& settings = UserDefaults::standard();
    soundSwitches_[0] =
        settings.observe(defaults::kSoundsOnIncoming, [this] { updateSoundsOnAnyMessage(); });
    soundSwitches_[1] =
        settings.observe(defaults::kSoundsOnBroadcast, [this] { updateSoundsOnAnyMessage(); });
    updateSoundsOnAnyMessage();
    return page;
}

QWidget* SettingsWindow::filesPage() {
    auto* page = new QWidget;
    auto* layout = column(page);
    layout->addWidget(new QLabel(tr("Save received files in:"), page));
    auto* row = new QHBoxLayout;
    fileTransferPath_ = named(new QLineEdit(page), defaults::kFileTransferPath);
    fileTransferPath_->setReadOnly(true);
    fileTransferPath_->setMinimumWidth(260);
    row->addWidget(fileTransferPath_);
    auto* browse = new QPushButton(tr("Choose\u2026"), page);
    browse->setObjectName(QStringLiteral("browse"));
    row->addWidget(browse);
    layout->addLayout(row);
    connect(browse, &QPushButton::clicked, this, [this] { BrowseFileTransferPath(); });
    layout->addWidget(checkBox(tr("Accept incoming files without asking"),
                               defaults::kFileTransferAutoAccept, page));
    pathObservation_ = UserDefaults::standard().observe(defaults::kFileTransferPath,
                                                        [this] { showFileTransferPath(); });
    showFileTransferPath();
    return page;
}

QWidget* SettingsWindow::networkPage() {
    auto* page = new QWidget;
    auto* layout = column(page);
    broadcasts_ = new BroadcastTargets(page);
    layout->addWidget(broadcasts_);
    auto* form = new QFormLayout;
    auto* encoding = named(new QComboBox(page), defaults::kEncoding);
    const std::pair<QString, qlonglong> encodings[] = {
        {tr("Western (Windows-1252)"), 12},  {tr("Central European (Windows-1250)"), 15},
        {tr("Cyrillic (Windows-1251)"), 11}, {tr("Greek (Windows-1253)"), 13},
        {tr("Turkish (Windows-1254)"), 14},
    };
    for (const auto& [title, number] : encodings) {
        encoding->addItem(title, number);
    }
    bindChoice(encoding, defaults::kEncoding);
    encoding->setToolTip(tr("How texts are sent to copies that do not use Unicode"));
    form->addRow(tr("Text encoding:"), encoding);
    layout->addLayout(form);
    return page;
}

void SettingsWindow::setTabName(const QString& name) {
    const int index = names_.indexOf(name);
    if (index < 0) {
        return;
    }
    tabs_->actions().at(index)->setChecked(true);
    pageChosen(name);
}

QString SettingsWindow::currentTabName() const {
    return names_.value(pages_->currentIndex());
}

QStringList SettingsWindow::tabNames() const {
    return names_;
}

QToolButton* SettingsWindow::tabButton(const QString& name) const {
    const int index = names_.indexOf(name);
    return index < 0
               ? nullptr
               : qobject_cast<QToolButton*>(toolbar_->widgetForAction(tabs_->actions().at(index)));
}

QWidget* SettingsWindow::control(std::string_view key) const {
    return findChild<QWidget*>(keyName(key));
}

void SettingsWindow::pageChosen(const QString& name) {
    const int index = names_.indexOf(name);
    pages_->setCurrentIndex(index);
    // The user id only shows when Alt is held as its page is chosen.
    userInfo_->setUserIdShown(name == kUserInfo && optionPressed_);
    if (name == kUserInfo) {
        userInfo_->reload();
    }
    fitToPage();
}

void SettingsWindow::fitToPage() {
    for (int i = 0; i < pages_->count(); ++i) {
        const auto policy =
            i == pages_->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        pages_->widget(i)->setSizePolicy(policy, policy);
    }
    pages_->updateGeometry();
    layout()->activate();
}

bool SettingsWindow::playSoundsOnAnyMessages() const {
    const auto& settings = UserDefaults::standard();
    return settings.boolForKey(defaults::kSoundsOnIncoming) ||
           settings.boolForKey(defaults::kSoundsOnBroadcast);
}

void SettingsWindow::updateSoundsOnAnyMessage() {
    soundsAnyTime_->setEnabled(playSoundsOnAnyMessages());
}

void SettingsWindow::showFileTransferPath() {
    fileTransferPath_->setText(
        QString::fromStdString(UserDefaults::standard().stringForKey(defaults::kFileTransferPath)));
}

QFileDialog* SettingsWindow::BrowseFileTransferPath() {
    if (!browser_) {
        browser_ = new QFileDialog(this, tr("Folder for Received Files"));
        browser_->setFileMode(QFileDialog::Directory);
        browser_->setOption(QFileDialog::ShowDirsOnly);
        browser_->setWindowModality(Qt::WindowModal);
        connect(browser_, &QFileDialog::fileSelected, this, [](const QString& folder) {
            UserDefaults::standard().setString(defaults::kFileTransferPath,
                                               QDir::cleanPath(folder).toStdString());
        });
    }
    browser_->setDirectory(QString::fromStdString(
        expandTilde(UserDefaults::standard().stringForKey(defaults::kFileTransferPath))));
    browser_->open();
    return browser_;
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        optionPressed_ = static_cast<QMouseEvent*>(event)->modifiers().testFlag(Qt::AltModifier);
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    optionPressed_ = event->modifiers().testFlag(Qt::AltModifier);
    QWidget::keyPressEvent(event);
}

void SettingsWindow::keyReleaseEvent(QKeyEvent* event) {
    optionPressed_ = event->modifiers().testFlag(Qt::AltModifier) && event->key() != Qt::Key_Alt;
    QWidget::keyReleaseEvent(event);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    userInfo_->reload();
    QWidget::showEvent(event);
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    if (QWidget* editing = focusWidget()) {
        editing->clearFocus();  // the field being edited hands its text to its default
    }
    QWidget::closeEvent(event);
}

}  // namespace corvaline::ui
