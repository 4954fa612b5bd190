#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codec/UserInfoRecord.h"
#include "core/model/entities/TreeItem.h"
#include "core/model/entities/UserStatus.h"

namespace corvaline {

class ConversationWindow;
class Group;
class LogEntry;
class Message;

// One copy of the program on the network, with its status, profile and history (the local
// user is the sub-entity Me). Main thread only.
class User : public TreeItem {
  public:
    static constexpr std::string_view kEntityName = "User";
    using TreeItem::TreeItem;

    void awakeFromInsert() override;
    void awakeFromFetch() override;

    // The status picture follows userOffline and status.
    void updateIcon();
    // Stores the name and posts "userChangedHisName", also for an equal text.
    virtual void setName(std::string name);
    // Applies a status code ("0", "1", "2", "10") with its effects on the texts, the
    // offline flag, the group and the relay.
    virtual void setStatus(const std::string& code);
    // Asks the user's copy for its user-information record ("TRI"). While a request to it is
    // in flight none is sent; when that one ends without bringing the user online, one more.
    void RequestUserInfo();
    // Opens or fronts the conversation window with this user.
    void StartConversation(bool incoming);
    // A typing notice, at most one per 2 seconds.
    void sendIsTyping();
    // Records and sends a message: to this user alone, or as a mass message to every user
    // of `recipients`. Offline recipients get theirs through the relay.
    void SendMessage(const std::string& text,
                     const std::optional<std::vector<User*>>& recipients = std::nullopt);
    // A new incoming entry: the conversation comes forward, the typing notice ends.
    void MessageReceived();
    // Hands the message's offline recipients to the relay.
    void SendOfflineMessageIfNeeded(Message& message);
    // A message id: two random numbers below 9999999 written one after the other.
    static std::int64_t genInt64random();

    // The user's one-to-one history (group-chat entries left out), from an indexed query: the
    // number of entries, and the `count` newest by receipt time, newest first (0: all). A
    // store error gives 0 or nothing.
    std::size_t logEntriesNumber() const;
    std::vector<std::shared_ptr<LogEntry>> lastLogEnties(std::size_t count) const;
    // The `count` entries received before `entry` (0: all), newest first: the next page of a
    // long history, found without walking the pages before it.
    std::vector<std::shared_ptr<LogEntry>> logEntriesBefore(const LogEntry& entry,
                                                            std::size_t count) const;

    // The attributes the user-information record carries.
    UserInfo userInfo() const;
    // Takes a received record: "*" and "" count as no value; each attribute that differs is
    // set through its setter (the status through setStatus).
    void applyUserInfo(const UserInfo& info);

    std::string userId() const { return text("userId"); }
    virtual void setUserId(std::string userId) { setValue("userId", std::move(userId)); }
    std::string status() const { return text("status"); }
    // The status as the windows name it: Offline while `userOffline`, else from the code
    // (a code of no other status counts as Busy, as the status picture does).
    UserStatus userStatus() const;
    void setUserStatus(UserStatus status) { setStatus(std::string(statusCode(status))); }
    std::string statusString() const { return text("statusString"); }
    void setStatusString(std::optional<std::string> text);
    std::optional<std::string> idleTime() const { return optionalText("idleTime"); }
    std::string pc() const { return text("pc"); }
    void setPc(std::string pc) { setValue("pc", std::move(pc)); }
    std::string ip() const { return text("ip"); }
    void setIp(std::string ip) { setValue("ip", std::move(ip)); }
    std::string logonUser() const { return text("logonUser"); }
    std::string version() const { return text("version"); }
    std::string oSversion() const { return text("oSversion"); }
    std::optional<std::int64_t> sessionId() const { return integer("sessionId"); }
    void setSessionId(std::int64_t sessionId) { setValue("sessionId", sessionId); }
    std::optional<Date> seenLastTime() const { return date("seenLastTime"); }
    void setSeenLastTime(Date when) { setValue("seenLastTime", when); }
    bool userOffline() const { return flag("userOffline"); }
    bool removed() const { return flag("removed"); }
    void setRemoved(bool removed) { setValue("removed", removed); }

    Group* group() const;
    void setGroup(Group* group);

    // Not stored: they start empty at every load.
    std::optional<Date> typingSent() const { return typingSent_; }
    std::optional<Date> typingReceived() const { return typingReceived_; }
    void setTypingReceived(std::optional<Date> when);
    const std::shared_ptr<ConversationWindow>& conversationWindow() const {
        return conversationWindow_;
    }
    void setConversationWindow(std::shared_ptr<ConversationWindow> window);
    // The row colour of the main list: "gray" for the local user, else empty.
    const std::string& color() const { return color_; }

  protected:
    void setColor(std::string color) { color_ = std::move(color); }
    void valueDidChange(std::string_view key) override;
    void didDelete() override { updateListing(); }

  private:
    // Reports the user entering, leaving or moving within the main list.
    void updateListing();

    std::weak_ptr<ManagedObject> listedIn_;  // the group the main list was last told of
    bool infoRequested_ = false;
    bool infoWanted_ = false;  // asked for while one was in flight
    std::optional<Date> typingSent_;
    std::optional<Date> typingReceived_;
    std::shared_ptr<ConversationWindow> conversationWindow_;
    std::string color_;
};

}  // namespace corvaline
