#pragma once

// The typed changes of the model that the windows (and the windowless node) follow.
//
//   auto inserted = ModelEvents::shared().observeUserInserted(
//       [this](User& user, Group& group) { insertRow(group, user); });
//   ...
//   inserted.remove();   // or let the token go: the observer is not called again
//
// Every event is delivered synchronously on the main thread, right after the change is made;
// a history entry is announced once the store holds it. The notifications "logUpdated",
// "userChangedHisName" and "userChangedHisOfflineStatus" are still posted as before.

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/observers/ObservationToken.h"
#include "platform/observers/ObserverList.h"

namespace corvaline {

class Chat;
class FileTransfer;
class Group;
class LogEntry;
class User;

// The process-wide source of the model's change events. Observers may add and remove
// observers (themselves included) while an event is delivered. Main thread only.
class ModelEvents {
  public:
    static ModelEvents& shared();

    ModelEvents() = default;
    ModelEvents(const ModelEvents&) = delete;
    ModelEvents& operator=(const ModelEvents&) = delete;

    // --- Users of the main list. A user is listed while it has a group, is not marked
    // `removed` and is not deleted; the local user is listed like any other.

    // A user became listed: a new user placed in its first group, or a removed user back.
    ObservationToken observeUserInserted(std::function<void(User& user, Group& group)> callback);
    // A user stopped being listed (deleted, marked `removed`, or taken out of its group);
    // `group` is the one it was listed in.
    ObservationToken observeUserRemoved(std::function<void(User& user, Group& group)> callback);
    // A listed user went from one group to another.
    ObservationToken observeUserMoved(
        std::function<void(User& user, Group& from, Group& to)> callback);
    // An attribute of a user took a new value: a stored one ("name", "status", "userOffline",
    // "statusString", "icon", "ip", "pc", "idleTime", the profile texts, ...) or the
    // unstored "typingReceived". "seenLastTime", "group" and "removed" are not reported
    // here (the last two are insertions, moves and removals). All keys, or one key.
    ObservationToken observeUserChanged(
        std::function<void(User& user, std::string_view key)> callback);
    ObservationToken observeUserChanged(std::string_view key,
                                        std::function<void(User& user, std::string_view key)>);

    // --- Groups of the main list.

    // A new group, named already ("General" or "New Group").
    ObservationToken observeGroupInserted(std::function<void(Group& group)> callback);
    ObservationToken observeGroupRenamed(std::function<void(Group& group)> callback);
    // The group was deleted; its users were reported removed before.
    ObservationToken observeGroupRemoved(std::function<void(Group& group)> callback);
    ObservationToken observeGroupExpandedChanged(
        std::function<void(Group& group, bool expanded)> callback);

    // --- Histories. An entry recorded in one-to-one histories is announced once for each of
    // its users; a group-chat entry once for its chat.

    ObservationToken observeUserHistoryAppended(
        std::function<void(User& user, LogEntry& entry)> callback);
    ObservationToken observeChatHistoryAppended(
        std::function<void(Chat& chat, LogEntry& entry)> callback);

    // --- File transfers (entries of a user's history).

    // `transferState()` took a new value.
    ObservationToken observeTransferStateChanged(
        std::function<void(FileTransfer& transfer)> callback);
    // Bytes moved: at most every 50 ms while chunks move and at the end of each chunk, with
    // the bytes sent or received so far.
    ObservationToken observeTransferProgressChanged(
        std::function<void(FileTransfer& transfer, std::int64_t bytes)> callback);

    // --- Group chats.

    // The chat's `currentUsers()` changed (a member joined or left, or the set was made).
    ObservationToken observeChatMembersChanged(std::function<void(Chat& chat)> callback);
    // The chat came into use in this process (made, joined or written to) or went out of use
    // (left by the local user, or its last member left while no window shows it).
    ObservationToken observeChatInUseChanged(std::function<void(Chat& chat, bool inUse)> callback);

    // The model's side: called where each change is made.
    void userInserted(User& user, Group& group);
    void userRemoved(User& user, Group& group);
    void userMoved(User& user, Group& from, Group& to);
    void userChanged(User& user, std::string_view key);
    void groupInserted(Group& group);
    void groupRenamed(Group& group);
    void groupRemoved(Group& group);
    void groupExpandedChanged(Group& group, bool expanded);
    void userHistoryAppended(User& user, LogEntry& entry);
    void chatHistoryAppended(Chat& chat, LogEntry& entry);
    void transferStateChanged(FileTransfer& transfer);
    void transferProgressChanged(FileTransfer& transfer, std::int64_t bytes);
    void chatMembersChanged(Chat& chat);
    void chatInUseChanged(Chat& chat, bool inUse);

  private:
    ObserverMap<User&, Group&> userInserted_;
    ObserverMap<User&, Group&> userRemoved_;
    ObserverMap<User&, Group&, Group&> userMoved_;
    ObserverMap<User&, std::string_view> userChanged_;
    ObserverMap<Group&> groupInserted_;
    ObserverMap<Group&> groupRenamed_;
    ObserverMap<Group&> groupRemoved_;
    ObserverMap<Group&, bool> groupExpandedChanged_;
    ObserverMap<User&, LogEntry&> userHistoryAppended_;
    ObserverMap<Chat&, LogEntry&> chatHistoryAppended_;
    ObserverMap<FileTransfer&> transferStateChanged_;
    ObserverMap<FileTransfer&, std::int64_t> transferProgressChanged_;
    ObserverMap<Chat&> chatMembersChanged_;
    ObserverMap<Chat&, bool> chatInUseChanged_;
};

}  // namespace corvaline
