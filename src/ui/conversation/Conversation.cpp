#include "ui/conversation/Conversation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <sstream>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/User.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/confirm/MessageBoxSheet.h"
#include "ui/controls/RecentFolder.h"
#include "ui/conversation/ConversationText.h"
#include "ui/conversation/InviteSheet.h"
#include "ui/conversation/TextViewForReading.h"
#include "ui/conversation/TextViewForSending.h"
#include "ui/history/HistoryViewer.h"
#include "ui/icons/StatusIcons.h"
#include "ui/info/UserInformationWindow.h"

namespace corvaline::ui {

namespace {

// How many of the newest entries a one-user window shows when it opens.
constexpr std::size_t kRecentEntries = 20;

// How long a window's frame has to stay put before it is saved: a drag or a resize is one
// save when it ends, not one per step.
constexpr Duration kFrameSettles{0.5};

std::shared_ptr<User> held(User* user) {
    return std::static_pointer_cast<User>(user->shared_from_this());
}

// Files are taken as a copy; anything else is left to the platform.
void answerFileDrop(QDropEvent& event, bool taken) {
    if (taken) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

}  // namespace

QString UserNamesList(const std::vector<User*>& users) {
    QStringList names;
    for (const auto* user : users) {
        names.append(QString::fromStdString(user->name()));
    }
    return names.join(QStringLiteral(", "));
}

Conversation::Conversation(const std::vector<User*>& users, Chat* chat, bool incoming,
                           ConversationHooks hooks)
    : hooks_(std::move(hooks)) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Quitting closes no window: a frame that has not settled yet is saved then.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (frameSave_.isScheduled()) {
            saveFrame();
        }
    });
    buildWindow();
    buildMenu();
    if (chat) {
        chat_ = std::static_pointer_cast<Chat>(chat->shared_from_this());
    } else {
        for (auto* user : users) {
            ownUsers_.push_back(held(user));
        }
    }
    if (!chat_ && ownUsers_.size() >= 2) {
        chat_ = Chat::createWithUsers(std::exchange(ownUsers_, {}), std::nullopt);
        if (chat_) {
            chat_->setConversationWindow(adapter());
        }
    } else if (const auto members = this->users(); !members.empty()) {
        user_ = held(members.front());
    }
    updateCommands();
    // Counted once: the count of a long history is what opening a window costs most.
    const std::size_t count = logCount();
    if (!chat_ && user_) {
        std::size_t shown = 0;
        if (UserDefaults::standard().boolForKey(defaults::kDisplayRecent)) {
            shown += kRecentEntries;
        }
        shown += incoming ? 1 : 0;
        logEntries_ = count > shown ? count - shown : 0;
    }
    windowDidLoad(count);
    updateMinimizedImage();
}

std::shared_ptr<ConversationWindow> Conversation::open(const std::vector<User*>& users, Chat* chat,
                                                       bool incoming, ConversationHooks hooks) {
    auto* window = new Conversation(users, chat, incoming, std::move(hooks));
    auto held = window->adapter();
    if (!incoming) {
        window->show();
        window->raise();
        window->activateWindow();
    } else if (UserDefaults::standard().integerForKey(defaults::kMinimizeMessages) == 1) {
        window->setAttribute(Qt::WA_ShowWithoutActivating);
        window->showMinimized();
        window->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
    return held;
}

Conversation::~Conversation() {
    typingTimer_.cancel();
    frameSave_.cancel();
}

void Conversation::buildWindow() {
    history_ = new TextViewForReading;
    text_ = std::make_unique<ConversationText>(*history_);
    typing_ = new QLabel;
    typing_->setTextFormat(Qt::PlainText);
    typing_->hide();
    input_ = new TextViewForSending;
    input_->setRecipients({[this] { return users(); }, [this] { return chat(); }, false});
    input_->setFileSender(hooks_.outgoingFiles);

    auto* left = new QSplitter(Qt::Vertical);
    left->addWidget(history_);
    auto* bottom = new QWidget;
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(typing_);
    bottomLayout->addWidget(input_);
    left->addWidget(bottom);
    left->setStretchFactor(0, 3);
    left->setStretchFactor(1, 1);

    members_ = new QListWidget;
    members_->setMinimumWidth(120);
    connect(members_, &QListWidget::itemClicked, this, &Conversation::userClicked);
    horisontalSplit()->addWidget(left);
    horisontalSplit()->addWidget(members_);
    horisontalSplit()->setStretchFactor(0, 1);
    horisontalSplit()->setStretchFactor(1, 0);
    horisontalSplit()->setChildrenCollapsible(false);
    horisontalSplit()->setSizes({480, 160});
    input_->setFocus();    // what the window gives the keys whenever it becomes active
    setAcceptDrops(true);  // files dropped anywhere on a one-user window are sent
    resize(640, 480);
}

void Conversation::buildMenu() {
    menu_ = new QMenu(tr("Con&versation"), this);
    invite_ = menu_->addAction(tr("&Invite..."));
    connect(invite_, &QAction::triggered, this, &Conversation::openInviteSheet);
    sendFiles_ = menu_->addAction(tr("Send &Files..."));
    connect(sendFiles_, &QAction::triggered, this, &Conversation::sendFiles);
    menu_->addSeparator();
    auto* clear = menu_->addAction(tr("&Clear Conversation"));
    connect(clear, &QAction::triggered, this, &Conversation::clearConversation);
    menu_->addSeparator();
    connect(menu_->addAction(tr("Show &History")), &QAction::triggered, this,
            &Conversation::openHistory);
    connect(menu_->addAction(tr("&Get Info")), &QAction::triggered, this,
            &Conversation::getUserInfo);
    menu_->addSeparator();
    auto* settings = menu_->addAction(tr("S&ettings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &Conversation::openSettings);
    menu_->addSeparator();
    auto* close = menu_->addAction(tr("Cl&ose"));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, this, &QWidget::close);  // a chat asks first
    // The window's own menu bar: the menu is at hand wherever the window is.
    auto* bar = new QMenuBar(this);
    bar->addMenu(menu_);
    layout()->setMenuBar(bar);
}

void Conversation::windowDidLoad(std::size_t count) {
    if (users().size() == 1) {
        toggleRightPane(true);
    }
    updateSaveFrame();
    subscribeToUsers(users(), !chat_);
    if (chat_) {
        observeChatLog();
    }
    fontUpdated();
    updateTitle();
    reloadMembers();
    updateLog(count);
    updateUserStatus();
}

std::vector<User*> Conversation::users() const {
    std::vector<User*> members;
    if (chat_) {
        for (const auto& member : chat_->currentUsers().value_or(Chat::Members{})) {
            members.push_back(member.get());
        }
    } else {
        for (const auto& member : ownUsers_) {
            members.push_back(member.get());
        }
    }
    return members;
}

void Conversation::fontUpdated() {
    text_->updateParagraphs(textFont());
    input_->setFont(textFont());
}

void Conversation::updateTitle() {
    const QString names = UserNamesList(users());
    setWindowTitle(tr("%1 - %2").arg(names, tr("Conversation")));
    if (!chat_) {
        typing_->setText(tr("%1 is typing a message.").arg(names));
    }
}

void Conversation::updateMinimizedImage() {
    if (chat_) {
        setWindowIcon(dockIcon(*chat_));
    } else if (user_) {
        setWindowIcon(dockIcon(*user_));
    }
}

void Conversation::updateCommands() {
    canInvite_ = chat_ || (user_ && !user_->userOffline());
    invite_->setEnabled(canInvite_);
    // Files go to one person: a chat has none to send them to, and takes no dropped files.
    sendFiles_->setEnabled(!chat_);
}

void Conversation::reloadMembers() {
    members_->clear();
    for (auto* member : users()) {
        auto* item = new QListWidgetItem(QString::fromStdString(member->name()), members_);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(member)));
    }
}

void Conversation::userClicked(QListWidgetItem* item) {
    if (!item) {
        return;
    }
    QTextCursor end(input_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(item->text() + QStringLiteral(": "));
    input_->setTextCursor(end);
    input_->setFocus();
}

void Conversation::updateSaveFrame() {
    const auto members = users();
    frameName_.clear();
    if (members.size() < 2 && user_ && !user_->userId().empty()) {
        frameName_ = std::string(defaults::kWindowFramePrefix) + user_->userId();
        const auto saved = UserDefaults::standard().stringForKey(frameName_);
        std::istringstream numbers(saved);
        int x = 0, y = 0, width = 0, height = 0;
        if (numbers >> x >> y >> width >> height && width > 0 && height > 0) {
            setGeometry(x, y, width, height);
        }
    }
}

void Conversation::frameChanged() {
    if (frameName_.empty() || closed_) {
        return;
    }
    if (frameSave_) {
        frameSave_.reschedule(kFrameSettles);
        return;
    }
    if (auto* main = CoreServices::shared().mainQueue) {
        QPointer<Conversation> self(this);
        frameSave_ = main->postAfter(kFrameSettles, [self] {
            if (self) {
                self->saveFrame();
            }
        });
    }
}

void Conversation::saveFrame() {
    frameSave_.cancel();
    if (frameName_.empty() || !isVisible() || isMinimized()) {
        return;
    }
    const QRect frame = geometry();
    std::ostringstream numbers;
    numbers << frame.x() << ' ' << frame.y() << ' ' << frame.width() << ' ' << frame.height();
    UserDefaults::standard().setString(frameName_, numbers.str());
}

void Conversation::moveEvent(QMoveEvent* event) {
    MessageWindowController::moveEvent(event);
    frameChanged();
}

void Conversation::resizeEvent(QResizeEvent* event) {
    MessageWindowController::resizeEvent(event);
    frameChanged();
}

void Conversation::sendFiles() {
    if (chat_) {
        return;
    }
    QPointer<Conversation> self(this);
    MessageBoxSheet::requestConfirmation(3, this, [self] {
        if (self && !self->users().empty()) {
            showFileTransferPanel(self, *self->users().front(), self->hooks_.outgoingFiles);
        }
    });
}

QFileDialog* Conversation::showFileTransferPanel(QWidget* window, User& user,
                                                 TextViewForSending::FileSender send) {
    auto* panel = new QFileDialog(window, tr("Send Files"), RecentFolder::sendingFiles().folder());
    // Several files at once; folders can be made here but not chosen themselves.
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    const auto to = held(&user);
    connect(panel, &QFileDialog::filesSelected, panel,
            [to, send = std::move(send)](const QStringList& chosen) {
                if (!chosen.isEmpty()) {
                    RecentFolder::sendingFiles().remember(chosen.front());
                }
                std::vector<std::filesystem::path> paths;
                for (const auto& file : chosen) {
                    paths.emplace_back(file.toStdString());
                }
                if (send && !paths.empty()) {
                    send(paths, *to);
                }
            });
    panel->open();
    return panel;
}

void Conversation::dragEnterEvent(QDragEnterEvent* event) {
    answerFileDrop(*event, input_->offersFileDrop(event->mimeData()));
}

void Conversation::dropEvent(QDropEvent* event) {
    answerFileDrop(*event, input_->performFileDrop(event->mimeData()));
}

std::vector<FileTransferView*> Conversation::transferItems() const {
    return text_->transferItems();
}

InviteSheet* Conversation::openInviteSheet() {
    auto* sheet = new InviteSheet(*this);
    sheet->open();
    return sheet;
}

void Conversation::clearConversation() {
    text_->clear();
    logEntries_ = logCount();
    updateLog(logEntries_);
}

void Conversation::closeEvent(QCloseEvent* event) {
    if (chat_ && !closeConfirmed_) {
        // A group conversation is left by closing it: ask first. The close that follows an
        // answer comes on a later turn, so that no close runs inside this one.
        event->ignore();
        QPointer<Conversation> self(this);
        MessageBoxSheet::requestConfirmation(0, this, [self] {
            if (self) {
                self->closeConfirmed_ = true;
                QMetaObject::invokeMethod(self, &QWidget::close, Qt::QueuedConnection);
            }
        });
        return;
    }
    if (frameSave_.isScheduled()) {
        saveFrame();  // while the window is still on screen
    }
    conversationWillClose();
    MessageWindowController::closeEvent(event);
}

void Conversation::conversationWillClose() {
    if (closed_) {
        return;
    }
    closed_ = true;
    observed_.clear();
    typingTimer_.cancel();
    const auto self = adapter();  // what the model holds of this window is let go below
    if (chat_) {
        chatLog_.remove();
        chat_->leaveChat();
        chat_->setConversationWindow(nullptr);
    } else if (user_ && user_->conversationWindow() == self) {
        user_->setConversationWindow(nullptr);
    }
    SaveAppContextIfChanged();
}

void Conversation::openHistory() {
    const auto members = users();
    HistoryViewer::initAndShow(chat_ ? static_cast<ManagedObject*>(chat_.get())
                                     : (members.empty() ? nullptr : members.front()));
}

void Conversation::openSettings() {
    if (hooks_.openSettings) {
        hooks_.openSettings(this);
    }
}

void Conversation::getUserInfo() {
    if (const auto members = users(); !members.empty()) {
        UserInformationWindow::GetInfo(*members.front());
    }
}

}  // namespace corvaline::ui
