#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/codec/Packet.h"
#include "core/model/store/ManagedObject.h"
#include "platform/runloop/Executor.h"

namespace corvaline {

class ConversationWindow;
class LogEntry;
class Message;
class User;

// A group-chat room and its history. The room has no owner: each member's copy keeps its own
// idea of who is in it, and every action goes to each member as a request of its own.
// Main thread only.
class Chat : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "Chat";
    using Members = std::vector<std::shared_ptr<User>>;
    using ManagedObject::ManagedObject;

    // A new room with these members (the local user left out): without an id a fresh one,
    // and everybody is told; with a peer's id the room is joined, and with only one member
    // known that member is asked for the rest.
    static std::shared_ptr<Chat> createWithUsers(Members users,
                                                 const std::optional<std::string>& roomId);
    // The stored chat of that room, or none (also for a text that is not a number).
    static std::shared_ptr<Chat> findByChatRoomId(std::string_view roomId);

    // My user id, then each member's, joined by ",".
    std::string userIDsString() const;
    // "CRJR" with the member list, to every member.
    void informJoin();
    // "CRLR" to every member, also the offline ones; the chat is then no longer in use.
    void leaveChat();
    // Records the text and sends "CRSM" to the members that are online. When the members are
    // not known (after a restart) somebody from the room's history is asked first and the
    // text goes out with the answer. A text that reaches nobody gets a red system line.
    void sendMessage(const std::string& text);
    // "CRGRI" to one member, whose "CRGRR" answer brings the member list.
    void _requestRoomInfo();

    // The requests of peers, each answering its reply or none.
    static std::optional<Packet> receivedJoinInfo(const Packet& packet);         // "CRJR", "CRGRR"
    static std::optional<Packet> receivedRoomInfoRequest(const Packet& packet);  // "CRGRI"
    static std::optional<Packet> receivedMessage(const Packet& packet);          // "CRSM"
    static std::optional<Packet> receivedLeaveInfo(const Packet& packet);        // "CRLR"

    // The time of the chat's earliest message, or none.
    std::optional<Date> firstMessageDate() const;

    // The chat's history, from an indexed query: the number of entries, and the `count`
    // newest by receipt time, newest first (0: all).
    std::size_t logEntriesNumber() const;
    std::vector<std::shared_ptr<LogEntry>> lastLogEnties(std::size_t count) const;
    // The `count` entries received before `entry` (0: all), newest first: the next page of a
    // long history, found without walking the pages before it.
    std::vector<std::shared_ptr<LogEntry>> logEntriesBefore(const LogEntry& entry,
                                                            std::size_t count) const;

    std::int64_t roomId() const { return integer("roomId").value_or(0); }
    void setRoomId(std::int64_t roomId) { setValue("roomId", roomId); }

    // Not stored. The members other than the local user; none until this run learns them
    // (a chat loaded from the store has no member set).
    const std::optional<Members>& currentUsers() const { return currentUsers_; }
    void setCurrentUsers(std::optional<Members> users);
    // Adds the user (making the member set when there is none); a member is not added twice.
    void addCurrentUsersObject(User& user);
    void removeCurrentUsersObject(const User& user);
    bool hasCurrentUser(const User& user) const;
    const std::shared_ptr<ConversationWindow>& conversationWindow() const {
        return conversationWindow_;
    }
    void setConversationWindow(std::shared_ptr<ConversationWindow> window) {
        conversationWindow_ = std::move(window);
    }

  private:
    // [command, room id, my pc, my id, "*", field 5, "*", "*"]; an empty text becomes "*".
    static Packet ChatPacketWithCommand(std::string command, std::string roomId,
                                        std::string field5);
    // One request per member of `to`, each with the member's id in field 5.
    void sendToMembers(Packet packet, const Members& to) const;
    // "CRSM" with the message's text to the members online, or the red line when none is.
    void deliver(Message& message);
    // Members unknown: "CRGRI" to one user of the room's history who is online; the messages
    // written meanwhile wait for the answer, and fail when none comes in time.
    void askWhoIsInTheRoom();
    void sendWaitingMessages();
    void waitingMessagesFailed();
    void couldNotBeDelivered();

    std::optional<Members> currentUsers_;
    std::shared_ptr<ConversationWindow> conversationWindow_;
    std::vector<std::shared_ptr<Message>> waiting_;
    TimerHandle askedForMembers_;
};

// The chats in use in this process, so that their members and windows stay with them: a chat
// enters when it is made, joined or written to, and leaves when the local user leaves it or
// its last member leaves while no window shows it. Chats of a store that was closed are no
// longer in use. Main thread only.
class ActiveChats {
  public:
    static ActiveChats& shared();

    void add(const std::shared_ptr<Chat>& chat);
    void remove(Chat& chat);
    bool contains(const Chat& chat);
    // In order of entry.
    std::vector<std::shared_ptr<Chat>> chats();

  private:
    void prune();
    std::vector<std::shared_ptr<Chat>> chats_;
};

}  // namespace corvaline
