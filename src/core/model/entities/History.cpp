// The history queries of users and chats, answered by indexed queries of the store.
#include "core/model/entities/Chat.h"
#include "core/model/entities/LogEntry.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

namespace {

// Newest first; with `before`, only the entries received before it.
FetchRequest newestFirst(std::vector<FetchCondition> conditions, std::size_t count,
                         const LogEntry* before) {
    FetchRequest request{std::string(LogEntry::kEntityName), std::move(conditions), "timeReceived",
                         false, count};
    if (before) {
        request.after = FetchRequest::Position{before->value("timeReceived"), before->objectId()};
    }
    return request;
}

FetchRequest historyOf(const User& user, std::size_t count, const LogEntry* before = nullptr) {
    return newestFirst({FetchCondition::isNull("chat"), FetchCondition::contains("user", user)},
                       count, before);
}

FetchRequest historyOf(const Chat& chat, std::size_t count, const LogEntry* before = nullptr) {
    return newestFirst({FetchCondition::relatedTo("chat", chat)}, count, before);
}

std::size_t countOf(const ManagedObject& owner, const FetchRequest& request) {
    if (!owner.context()) {
        return 0;
    }
    try {
        return owner.context()->count(request);
    } catch (const sqlite::Error&) {
        return 0;
    }
}

std::vector<std::shared_ptr<LogEntry>> entriesOf(const ManagedObject& owner,
                                                 const FetchRequest& request) {
    std::vector<std::shared_ptr<LogEntry>> entries;
    if (!owner.context()) {
        return entries;
    }
    try {
        for (auto& object : owner.context()->execute(request)) {
            entries.push_back(std::static_pointer_cast<LogEntry>(std::move(object)));
        }
    } catch (const sqlite::Error&) {
        entries.clear();
    }
    return entries;
}

}  // namespace

std::size_t User::logEntriesNumber() const {
    return countOf(*this, historyOf(*this, 0));
}

std::size_t Chat::logEntriesNumber() const {
    return countOf(*this, historyOf(*this, 0));
}

std::vector<std::shared_ptr<LogEntry>> User::lastLogEnties(std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count));
}

std::vector<std::shared_ptr<LogEntry>> Chat::lastLogEnties(std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count));
}

std::vector<std::shared_ptr<LogEntry>> User::logEntriesBefore(const LogEntry& entry,
                                                              std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count, &entry));
}

std::vector<std::shared_ptr<LogEntry>> Chat::logEntriesBefore(const LogEntry& entry,
                                                              std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count, &entry));
}

}  // namespace corvaline
