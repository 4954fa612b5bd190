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
#include "platform/system/ClockChangeMonitor.h"

namespace corvaline {
class FileTransfer;
class Chat;
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
    // Reports users whose status, name, address or typing time changed since the last look.
    void reportChanges();
    // Reports the incoming messages of that user recorded since the start, once each.
    void reportMessages(const void* user);
    // Follows the transfer's states from now on, reporting each new one.
    void watchTransfer(const std::shared_ptr<FileTransfer>& transfer, const std::string& fromId);
    // Watches the user's incoming transfers not watched yet; with "fileTransferAutoAccept"
    // one that waits is accepted, as the item view does when it shows it.
    void watchIncomingTransfers(const User& user);
    std::shared_ptr<Chat> knownChat(const std::string& roomId);
    // Reports who joined and left the chats in use since the last look.
    void reportChats();
    // Reports the incoming messages of that chat recorded since the start, once each.
    void reportChatMessages(const Chat& chat);
    void error(const std::string& text) { output_({"error", text}); }

    std::shared_ptr<MainLoop> loop_;
    Output output_;
    HeadlessWindows windows_;
    std::unique_ptr<CoreApplication> core_;
    std::unique_ptr<ClockChangeMonitor> clockMonitor_;
    ObservationToken logObservation_;
    TimerHandle changeTimer_;
    std::map<std::string, Seen> seen_;
    std::set<std::int64_t> reported_;
    struct WatchedTransfer {
        std::shared_ptr<FileTransfer> transfer;
        ObservationToken observation;
        std::int64_t reportedState = -1;
    };
    std::map<std::int64_t, WatchedTransfer> transfers_;
    std::map<std::int64_t, std::vector<std::string>> chatMembers_;
    std::set<std::int64_t> reportedChatEntries_;
    Date startedAt_;
};

}  // namespace corvaline::node
