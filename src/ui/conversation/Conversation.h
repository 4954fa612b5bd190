#pragma once

// A conversation window: the history of one other user or of one group chat, the input, the
// typing notice and, for a chat of two or more others, the members on the right.
//
//   auto window = Conversation::open({&user}, nullptr, /*incoming=*/false, hooks);
//   user.setConversationWindow(window);  // the core holds it; closing lets go of it
//
// The window deletes itself when it closes; what the core holds is an adapter that points at
// it weakly, so a closed window leaves nothing dangling.

#include <QPointer>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "core/model/services/UserInterface.h"
#include "platform/observers/ObservationToken.h"
#include "platform/runloop/Executor.h"
#include "ui/conversation/ConversationHooks.h"
#include "ui/conversation/MessageWindowController.h"
#include "ui/conversation/TextViewForSending.h"

class QFileDialog;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;

namespace corvaline::ui {

class ConversationText;
class FileTransferView;
class InviteSheet;
class TextViewForReading;
class TextViewForSending;

// The names of the users joined by ", ", in the given order. GUI thread.
QString UserNamesList(const std::vector<User*>& users);

// GUI thread (the main queue's), like the model it shows.
class Conversation : public MessageWindowController {
    Q_OBJECT
  public:
    // Makes the window for the users or the chat and answers what the core holds of it; one
    // opened for a message that just arrived is not brought forward here. Two or more users
    // without a chat make a new chat.
    static std::shared_ptr<ConversationWindow> open(const std::vector<User*>& users, Chat* chat,
                                                    bool incoming, ConversationHooks hooks);
    // The window behind what open() answered, while it exists.
    static Conversation* from(const std::shared_ptr<ConversationWindow>& window);

    ~Conversation() override;

    // The other participants: the chat's members other than the local user, or the one user.
    std::vector<User*> users() const;
    Chat* chat() const { return chat_.get(); }
    User* user() const { return user_.get(); }
    bool canInvite() const { return canInvite_; }
    // What the core holds of this window (one shared adapter while anybody holds it).
    std::shared_ptr<ConversationWindow> adapter();

    void usersJoined(const std::vector<User*>& joined);
    void userLeft(User& left);
    // Empties the text; only entries that arrive later are shown.
    void clearConversation();
    // Asks about drag and drop first, then offers the file chooser; nothing in a chat.
    void sendFiles();
    // The file chooser on the window: the chosen files go to the user through `send`.
    static QFileDialog* showFileTransferPanel(QWidget* window, User& user,
                                              TextViewForSending::FileSender send);
    // The invite sheet over the window; answers it (it deletes itself when it closes).
    InviteSheet* openInviteSheet();
    // A history window for the chat, or for the user.
    void openHistory();
    // The information window of the user (of any member of a chat).
    void getUserInfo();
    // The settings window, on the page for conversations.
    void openSettings();

    TextViewForReading* conversationTextView() const { return history_; }
    TextViewForSending* messageTextView() const { return input_; }
    QLabel* typingLabel() const { return typing_; }
    QListWidget* membersList() const { return members_; }
    QMenu* conversationMenu() const { return menu_; }
    QAction* inviteAction() const { return invite_; }
    QAction* sendFilesAction() const { return sendFiles_; }
    // The file-transfer items in the history text, in its order.
    std::vector<FileTransferView*> transferItems() const;

  protected:
    void fontUpdated() override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Files dropped on a one-user window of an online user are sent; other drops refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    class Adapter;
    struct Observations {
        ObservationToken name, status;               // status group
        ObservationToken statusString, typing, log;  // log group
        QString knownName;
        bool knownOffline = false;
    };

    Conversation(const std::vector<User*>& users, Chat* chat, bool incoming,
                 ConversationHooks hooks);
    void buildWindow();
    void buildMenu();
    // `count`: the history's number of entries, just counted.
    void windowDidLoad(std::size_t count);

    // History and status (the rendering side).
    // Shows the entries that are new since the last call; `count` when the caller has just
    // counted the history.
    void updateLog(std::optional<std::size_t> count = std::nullopt);
    void updateUserStatus();
    void hideTyping(bool direct);
    void typingChanged(User& user);
    std::size_t logCount() const;

    // Members and their observation.
    void subscribeToUsers(const std::vector<User*>& users, bool inFull);
    void unSubscribeFromUser(User& user, bool withLog, bool andStatus);
    void userChanged(User& user, std::string_view key);
    void nameChanged(User& user);
    void addSystemLine(const std::string& text, bool error);
    void observeChatLog();
    void reloadMembers();

    void updateTitle();
    void updateMinimizedImage();
    // Invite (canInvite) and Send Files, as far as they would act.
    void updateCommands();
    void updateSaveFrame();
    // The frame moved or changed size: saved once it has settled.
    void frameChanged();
    void saveFrame();
    void conversationWillClose();
    void userClicked(QListWidgetItem* item);

    ConversationHooks hooks_;
    std::vector<std::shared_ptr<User>> ownUsers_;  // without a chat
    std::shared_ptr<Chat> chat_;
    std::shared_ptr<User> user_;
    bool canInvite_ = false;
    std::size_t logEntries_ = 0;
    std::map<User*, Observations> observed_;
    ObservationToken chatLog_;
    TimerHandle typingTimer_;
    TimerHandle frameSave_;
    std::string frameName_;
    bool closeConfirmed_ = false;
    bool closed_ = false;
    std::weak_ptr<Adapter> adapter_;

    TextViewForReading* history_;
    std::unique_ptr<ConversationText> text_;
    QLabel* typing_;
    TextViewForSending* input_;
    QListWidget* members_;
    QMenu* menu_;
    QAction* invite_;
    QAction* sendFiles_;
};

}  // namespace corvaline::ui
