#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/model/store/Value.h"
#include "core/net/CoreApplication.h"
#include "node/HeadlessWindows.h"
#include "platform/observers/ObservationToken.h"
#include "platform/runloop/MainLoop.h"

namespace corvaline {
class FileTransfer;
class Chat;
class LogEntry;
class User;
}  // namespace corvaline

namespace corvaline::node {

// The messenger without windows: runs the core on `loop`, carries out command lines and
// reports what happens as event lines (see the node's usage text). Main thread (the loop's).
class Node {
  public:
    using Output = std::function<void(const std::vector<std::string>& fields)>;

    Node(std::shared_ptr<MainLoop> loop, Output output);
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Starts the services and reports "ready".
    void start();
    // One command, already split into fields. "quit" shuts the services down and stops the loop.
    void handle(const std::vector<std::string>& command);

  private:
    struct Seen {
        std::string status, name, ip;
        std::optional<Date> typing;
    };

    void setName(const std::vector<std::string>& command);
    void setStatus(const std::vector<std::string>& command);
    void send(const std::vector<std::string>& command);
    void mass(const std::vector<std::string>& command);
    void typing(const std::vector<std::string>& command);
    void info(const std::vector<std::string>& command);
    void roster();
    void history(const std::vector<std::string>& command);
    void files(const std::vector<std::string>& command);
    void transfer(const std::vector<std::string>& command);
    void chat(const std::vector<std::string>& command);
    void chatSend(const std::vector<std::string>& command);
    void chatLeave(const std::vector<std::string>& command);
    void quit();

    std::shared_ptr<User> knownUser(const std::string& userId);
    std::vector<std::string> userLine(const User& user) const;
    // Follows the model's change events from now on.
    void observeModel();
    // Reports the changes of this turn of the loop together, on the next turn.
    void reportSoon();
    // Reports the user when its status, name, address or typing time changed since the last
    // report.
    void reportUser(const User& user);
    // An entry recorded in a user's history: an incoming message since the start is reported
    // once; an incoming transfer is watched.
    void reportEntry(User& user, LogEntry& entry);
    // Follows the transfer's states from now on, reporting each new one.
    void watchTransfer(const std::shared_ptr<FileTransfer>& transfer, const std::string& fromId);
    void reportTransfer(const FileTransfer& transfer);
    // With "fileTransferAutoAccept" an incoming transfer that waits is accepted, as the item
    // view does when it shows it.
    void acceptIfAutomatic(const std::shared_ptr<FileTransfer>& transfer);
    std::shared_ptr<Chat> knownChat(const std::string& roomId);
    // Reports who joined and left the chats in use since the last report.
    void reportChats();
    // An incoming message recorded in a chat since the start is reported once.
    void reportChatEntry(const Chat& chat, const LogEntry& entry);
    void error(const std::string& text) { output_({"error", text}); }

    std::shared_ptr<MainLoop> loop_;
    Output output_;
    HeadlessWindows windows_;
    std::unique_ptr<CoreApplication> core_;
    std::vector<ObservationToken> observations_;
    // Users with changes not reported yet, and whether the report is on its way.
    std::vector<std::weak_ptr<User>> changedUsers_;
    bool chatsChanged_ = false;
    bool reportPosted_ = false;
    std::map<std::string, Seen> seen_;
    std::set<std::int64_t> reported_;
    struct WatchedTransfer {
        std::shared_ptr<FileTransfer> transfer;
        std::string fromId;
        std::int64_t reportedState = -1;
    };
    std::map<std::int64_t, WatchedTransfer> transfers_;
    std::map<std::int64_t, std::vector<std::string>> chatMembers_;
    std::set<std::int64_t> reportedChatEntries_;
    Date startedAt_;
    // Gone with the node: a report posted before then is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvaline::node
