#include "node/Node.h"

#include <algorithm>

#include "core/model/defaults/DefaultsKeys.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/FileTransfer.h"
#include "core/model/entities/Me.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/SystemMessage.h"
#include "core/model/events/ModelEvents.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/net/FILEserver.h"
#include "node/CommandText.h"
#include "platform/defaults/UserDefaults.h"

namespace corvaline::node {

namespace {

std::string seconds(const std::optional<Date>& date) {
    if (!date) {
        return "0";
    }
    return std::to_string(
        std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch()).count());
}

std::string statusOf(const User& user) {
    return user.userOffline() ? std::string(statusCode(UserStatus::Offline)) : user.status();
}

// The attributes a user line or a typing line shows.
constexpr std::string_view kReportedKeys[] = {"status", "userOffline", "name", "ip",
                                              "typingReceived"};

}  // namespace

Node::Node(std::shared_ptr<MainLoop> loop, Output output)
    : loop_(std::move(loop)),
      output_(std::move(output)),
      windows_([this](const std::vector<std::string>& fields) { output_(fields); }) {}

Node::~Node() {
    observations_.clear();
    core_.reset();
}

void Node::start() {
    startedAt_ = CoreServices::shared().now();
    // The node has no idle time to offer: auto-away follows the screensaver only.
    core_ = std::make_unique<CoreApplication>(loop_, &windows_, nullptr);
    core_->start();
    const auto& me = core_->userList()->me();
    output_({"ready", me->userId(), std::to_string(me->sessionId().value_or(0)), me->name()});
    for (const auto& user : core_->userList()->allUsersWithoutOffline(false, false)) {
        reportUser(*user);
    }
    observeModel();
}

void Node::observeModel() {
    auto& events = ModelEvents::shared();
    auto changed = [this](User& user) {
        changedUsers_.push_back(std::static_pointer_cast<User>(user.shared_from_this()));
        reportSoon();
    };
    observations_.push_back(
        events.observeUserInserted([changed](User& user, Group&) { changed(user); }));
    for (const auto key : kReportedKeys) {
        observations_.push_back(events.observeUserChanged(
            key, [changed](User& user, std::string_view) { changed(user); }));
    }
    observations_.push_back(events.observeUserHistoryAppended(
        [this](User& user, LogEntry& entry) { reportEntry(user, entry); }));
    observations_.push_back(events.observeTransferStateChanged(
        [this](FileTransfer& transfer) { reportTransfer(transfer); }));
    auto chatsChanged = [this] {
        chatsChanged_ = true;
        reportSoon();
    };
    observations_.push_back(
        events.observeChatMembersChanged([chatsChanged](Chat&) { chatsChanged(); }));
    observations_.push_back(
        events.observeChatInUseChanged([chatsChanged](Chat&, bool) { chatsChanged(); }));
    observations_.push_back(events.observeChatHistoryAppended(
        [this](Chat& chat, LogEntry& entry) { reportChatEntry(chat, entry); }));
}

void Node::reportSoon() {
    if (std::exchange(reportPosted_, true)) {
        return;
    }
    // A presence packet changes several attributes at once: they make one line.
    loop_->post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired()) {
            return;
        }
        reportPosted_ = false;
        for (const auto& weak : std::exchange(changedUsers_, {})) {
            if (auto user = weak.lock(); user && !user->isDeleted()) {
                reportUser(*user);
            }
        }
        if (std::exchange(chatsChanged_, false)) {
            reportChats();
        }
    });
}

void Node::handle(const std::vector<std::string>& command) {
    static const std::map<std::string, void (Node::*)(const std::vector<std::string>&)> kCommands{
        {"name", &Node::setName},
        {"status", &Node::setStatus},
        {"send", &Node::send},
        {"mass", &Node::mass},
        {"typing", &Node::typing},
        {"info", &Node::info},
        {"history", &Node::history},
        {"files", &Node::files},
        {"plainfiles", &Node::files},
        {"transfer", &Node::transfer},
        {"chat", &Node::chat},
        {"chat-send", &Node::chatSend},
        {"chat-leave", &Node::chatLeave},
    };
    if (command.empty() || command.front().empty()) {
        return;
    }
    const std::string& verb = command.front();
    if (verb == "roster") {
        roster();
    } else if (verb == "quit") {
        quit();
    } else if (auto found = kCommands.find(verb); found != kCommands.end()) {
        if (!core_ || !core_->userList() || !core_->userList()->me()) {
            error("the services are not running");
            return;
        }
        (this->*found->second)(command);
    } else {
        error("unknown command: " + verb);
    }
}

void Node::setName(const std::vector<std::string>& command) {
    if (command.size() != 2 || command[1].empty()) {
        error("usage: name TEXT");
        return;
    }
    core_->userList()->me()->setName(command[1]);
    SaveAppContextIfChanged();
}

void Node::setStatus(const std::vector<std::string>& command) {
    const auto status = command.size() == 2 ? statusFromCode(command[1]) : std::nullopt;
    if (!status) {
        error("usage: status 0|1|2|10");
        return;
    }
    core_->userList()->me()->setUserStatus(*status);
    SaveAppContextIfChanged();
}

std::shared_ptr<User> Node::knownUser(const std::string& userId) {
    auto user = core_->userList()->getUserById(userId, std::nullopt);
    if (!user) {
        error("unknown user: " + userId);
    }
    return user;
}

void Node::send(const std::vector<std::string>& command) {
    if (command.size() != 3 || command[2].empty()) {
        error("usage: send USERID TEXT");
        return;
    }
    if (auto user = knownUser(command[1])) {
        for (const auto& piece : pieces(command[2])) {
            user->SendMessage(piece);
        }
    }
}

void Node::mass(const std::vector<std::string>& command) {
    if (command.size() != 3 || command[2].empty() || split(command[1], ',').empty()) {
        error("usage: mass USERID,USERID,... TEXT");
        return;
    }
    std::vector<std::shared_ptr<User>> users;
    for (const auto& userId : split(command[1], ',')) {
        auto user = knownUser(userId);
        if (!user) {
            return;
        }
        if (std::find(users.begin(), users.end(), user) == users.end()) {
            users.push_back(std::move(user));
        }
    }
    std::vector<User*> recipients;
    for (const auto& user : users) {
        recipients.push_back(user.get());
    }
    for (const auto& piece : pieces(command[2])) {
        users.front()->SendMessage(piece, recipients);
    }
}

void Node::typing(const std::vector<std::string>& command) {
    if (command.size() != 2) {
        error("usage: typing USERID");
        return;
    }
    if (auto user = knownUser(command[1])) {
        user->sendIsTyping();
    }
}

void Node::info(const std::vector<std::string>& command) {
    if (command.size() != 2) {
        error("usage: info USERID");
        return;
    }
    auto user = knownUser(command[1]);
    if (!user) {
        return;
    }
    user->RequestUserInfo();
    const UserInfo info = user->userInfo();
    const std::pair<const char*, const std::optional<std::string>*> fields[] = {
        {"pc", &info.pc},
        {"logonUser", &info.logonUser},
        {"version", &info.version},
        {"oSversion", &info.oSversion},
        {"statusString", &info.statusString},
        {"firstName", &info.firstName},
        {"lastName", &info.lastName},
        {"jobTitle", &info.jobTitle},
        {"department", &info.department},
        {"additionalInformation", &info.additionalInformation},
        {"status", &info.status},
        {"idleTime", &info.idleTime},
        {"isOnTS", &info.isOnTS},
    };
    std::vector<std::string> line{"info", user->userId()};
    for (const auto& [key, value] : fields) {
        if (*value) {
            line.push_back(std::string(key) + "=" + **value);
        }
    }
    output_(line);
}

std::vector<std::string> Node::userLine(const User& user) const {
    return {"user", user.userId(), statusOf(user), user.name(), user.ip()};
}

void Node::roster() {
    if (core_ && core_->userList()) {
        const auto& me = core_->userList()->me();
        for (const auto& user : core_->userList()->allUsersWithoutOffline(false, false)) {
            if (user != me) {
                output_(userLine(*user));
            }
        }
    }
    output_({"end"});
}

void Node::history(const std::vector<std::string>& command) {
    if (command.size() != 2) {
        error("usage: history USERID");
        return;
    }
    auto user = knownUser(command[1]);
    if (!user) {
        return;
    }
    auto entries = user->lastLogEnties(0);
    std::reverse(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        std::vector<std::string> line{"entry", seconds(entry->time()),
                                      entry->incoming() ? "1" : "0"};
        if (auto* message = dynamic_cast<const Message*>(entry.get())) {
            line.insert(line.end(), {message->mass() ? "1" : "0", message->offline() ? "1" : "0",
                                     entry->originalSenderName(), message->message()});
        } else if (auto* system = dynamic_cast<const SystemMessage*>(entry.get())) {
            line.insert(line.end(), {"0", "0", entry->originalSenderName(), system->text()});
        } else {
            line.insert(line.end(), {"0", "0", entry->originalSenderName(), ""});
        }
        output_(line);
    }
    output_({"end"});
}

void Node::files(const std::vector<std::string>& command) {
    if (command.size() < 3) {
        error("usage: " + command[0] + " USERID PATH...");
        return;
    }
    auto user = knownUser(command[1]);
    if (!user) {
        return;
    }
    const std::vector<std::filesystem::path> paths(command.begin() + 2, command.end());
    auto sent = core_->fileServer()->outgoingFiles(paths, *user, command[0] == "files");
    if (!sent) {
        error("nothing to send");
        return;
    }
    output_({"transfer", std::to_string(sent->objectId())});
    watchTransfer(sent, core_->userList()->me()->userId());
}

void Node::transfer(const std::vector<std::string>& command) {
    static const std::set<std::string> kStates{"0", "1", "4"};
    if (command.size() != 3 || !kStates.contains(command[2])) {
        error("usage: transfer N 0|1|4");
        return;
    }
    const auto found = transfers_.find(std::atoll(command[1].c_str()));
    if (found == transfers_.end()) {
        error("unknown transfer: " + command[1]);
        return;
    }
    found->second.transfer->ContinueTransfer(std::stoll(command[2]));
}

void Node::watchTransfer(const std::shared_ptr<FileTransfer>& transfer, const std::string& fromId) {
    auto& watched = transfers_[transfer->objectId()];
    watched.transfer = transfer;
    watched.fromId = fromId;
    reportTransfer(*transfer);
}

void Node::reportTransfer(const FileTransfer& transfer) {
    const auto found = transfers_.find(transfer.objectId());
    if (found == transfers_.end() || found->second.transfer.get() != &transfer ||
        transfer.transferState() == found->second.reportedState) {
        return;
    }
    auto& watched = found->second;
    watched.reportedState = transfer.transferState();
    output_({"transfer", std::to_string(found->first), std::to_string(transfer.transferState()),
             watched.fromId, std::to_string(transfer.filesNumber()),
             std::to_string(transfer.filesTotalSize()), transfer.folderPath()});
}

void Node::acceptIfAutomatic(const std::shared_ptr<FileTransfer>& transfer) {
    if (transfer->transferState() == FileTransfer::kWaiting &&
        UserDefaults::standard().boolForKey(defaults::kFileTransferAutoAccept)) {
        loop_->post([weak = std::weak_ptr(transfer)] {
            if (auto waiting = weak.lock()) {
                waiting->ContinueTransfer(FileTransfer::kRunning);
            }
        });
    }
}

void Node::quit() {
    if (core_) {
        core_->stop();
    }
    loop_->stop();
}

void Node::reportUser(const User& user) {
    if (core_->userList()->me().get() == &user) {
        return;
    }
    Seen now{statusOf(user), user.name(), user.ip(), user.typingReceived()};
    auto [entry, added] = seen_.try_emplace(user.userId(), now);
    Seen& before = entry->second;
    if (added || before.status != now.status || before.name != now.name || before.ip != now.ip) {
        output_(userLine(user));
    }
    if (now.typing && now.typing != (added ? std::optional<Date>() : before.typing)) {
        output_({"typing", user.userId()});
    }
    before = std::move(now);
}

void Node::reportEntry(User& user, LogEntry& entry) {
    if (auto* transfer = dynamic_cast<FileTransfer*>(&entry)) {
        if (transfer->incoming() && !transfers_.contains(transfer->objectId())) {
            auto shared = std::static_pointer_cast<FileTransfer>(transfer->shared_from_this());
            watchTransfer(shared, user.userId());
            acceptIfAutomatic(shared);
        }
        return;
    }
    auto* message = dynamic_cast<const Message*>(&entry);
    if (!message || !message->incoming() || message->timeReceived().value_or(Date{}) < startedAt_ ||
        !reported_.insert(message->messageId()).second) {
        return;
    }
    output_({"message", user.userId(), message->mass() ? "1" : "0", message->offline() ? "1" : "0",
             message->message()});
}

}  // namespace corvaline::node
