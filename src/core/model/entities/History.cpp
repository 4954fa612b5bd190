// The history queries of users and chats, answered by indexed queries of the store.
#include "core/model/entities/Chat.h"
#include "core/model/entities/LogEntry.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"

namespace corvaline {

namespace {

FetchRequest historyOf(const User& user, std::size_t count, bool newestFirst = true,
                       std::size_t offset = 0) {
    return {std::string(LogEntry::kEntityName),
            {FetchCondition::isNull("chat"), FetchCondition::contains("user", user)},
            "timeReceived",
            !newestFirst,
            count,
            offset};
}

FetchRequest historyOf(const Chat& chat, std::size_t count, bool newestFirst = true,
                       std::size_t offset = 0) {
    return {std::string(LogEntry::kEntityName),
            {FetchCondition::relatedTo("chat", chat)},
            "timeReceived",
            !newestFirst,
            count,
            offset};
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

std::vector<std::shared_ptr<LogEntry>> User::logEntriesOldestFirst(std::size_t offset,
                                                                   std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count, false, offset));
}

std::vector<std::shared_ptr<LogEntry>> Chat::logEntriesOldestFirst(std::size_t offset,
                                                                   std::size_t count) const {
    return entriesOf(*this, historyOf(*this, count, false, offset));
}

}  // namespace corvaline
