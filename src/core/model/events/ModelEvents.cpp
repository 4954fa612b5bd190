#include "core/model/events/ModelEvents.h"

namespace corvaline {

namespace {

// The key under which an event's observers of every kind are kept.
constexpr std::string_view kAll = "";

}  // namespace

ModelEvents& ModelEvents::shared() {
    static ModelEvents events;
    return events;
}

ObservationToken ModelEvents::observeUserInserted(std::function<void(User&, Group&)> callback) {
    return userInserted_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeUserRemoved(std::function<void(User&, Group&)> callback) {
    return userRemoved_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeUserMoved(
    std::function<void(User&, Group&, Group&)> callback) {
    return userMoved_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeUserChanged(
    std::function<void(User&, std::string_view)> callback) {
    return userChanged_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeUserChanged(
    std::string_view key, std::function<void(User&, std::string_view)> callback) {
    return userChanged_.add(key, std::move(callback));
}

ObservationToken ModelEvents::observeGroupInserted(std::function<void(Group&)> callback) {
    return groupInserted_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeGroupRenamed(std::function<void(Group&)> callback) {
    return groupRenamed_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeGroupRemoved(std::function<void(Group&)> callback) {
    return groupRemoved_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeGroupExpandedChanged(
    std::function<void(Group&, bool)> callback) {
    return groupExpandedChanged_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeUserHistoryAppended(
    std::function<void(User&, LogEntry&)> callback) {
    return userHistoryAppended_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeChatHistoryAppended(
    std::function<void(Chat&, LogEntry&)> callback) {
    return chatHistoryAppended_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeTransferStateChanged(
    std::function<void(FileTransfer&)> callback) {
    return transferStateChanged_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeTransferProgressChanged(
    std::function<void(FileTransfer&, std::int64_t)> callback) {
    return transferProgressChanged_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeChatMembersChanged(std::function<void(Chat&)> callback) {
    return chatMembersChanged_.add(kAll, std::move(callback));
}

ObservationToken ModelEvents::observeChatInUseChanged(std::function<void(Chat&, bool)> callback) {
    return chatInUseChanged_.add(kAll, std::move(callback));
}

void ModelEvents::userInserted(User& user, Group& group) {
    userInserted_.notify(kAll, user, group);
}

void ModelEvents::userRemoved(User& user, Group& group) {
    userRemoved_.notify(kAll, user, group);
}

void ModelEvents::userMoved(User& user, Group& from, Group& to) {
    userMoved_.notify(kAll, user, from, to);
}

void ModelEvents::userChanged(User& user, std::string_view key) {
    userChanged_.notify(kAll, user, key);
    if (key != kAll) {
        userChanged_.notify(key, user, key);
    }
}

void ModelEvents::groupInserted(Group& group) {
    groupInserted_.notify(kAll, group);
}

void ModelEvents::groupRenamed(Group& group) {
    groupRenamed_.notify(kAll, group);
}

void ModelEvents::groupRemoved(Group& group) {
    groupRemoved_.notify(kAll, group);
}

void ModelEvents::groupExpandedChanged(Group& group, bool expanded) {
    groupExpandedChanged_.notify(kAll, group, expanded);
}

void ModelEvents::userHistoryAppended(User& user, LogEntry& entry) {
    userHistoryAppended_.notify(kAll, user, entry);
}

void ModelEvents::chatHistoryAppended(Chat& chat, LogEntry& entry) {
    chatHistoryAppended_.notify(kAll, chat, entry);
}

void ModelEvents::transferStateChanged(FileTransfer& transfer) {
    transferStateChanged_.notify(kAll, transfer);
}

void ModelEvents::transferProgressChanged(FileTransfer& transfer, std::int64_t bytes) {
    transferProgressChanged_.notify(kAll, transfer, bytes);
}

void ModelEvents::chatMembersChanged(Chat& chat) {
    chatMembersChanged_.notify(kAll, chat);
}

void ModelEvents::chatInUseChanged(Chat& chat, bool inUse) {
    chatInUseChanged_.notify(kAll, chat, inUse);
}

}  // namespace corvaline
