#pragma once

#include <sqlite3.h>

#include <string>

namespace corvaline::testing {

// The store file as another program sees it: connections of their own beside the model's.
// Main thread of a test.

// Messages with that id in the store file; -1 when it cannot be read.
inline int storedMessages(const std::string& file, const std::string& messageId) {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const std::string query =
            "SELECT COUNT(*) FROM LogEntry WHERE entity = 'Message' AND messageId = " + messageId;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            count = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

// Holds the store's write lock while it lives, so that every save of the model fails as it
// would on a full disk or a failing device (root included, which file modes do not stop).
class StoreWriteLock {
  public:
    explicit StoreWriteLock(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    ~StoreWriteLock() {
        if (db_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db_);
        }
    }
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

    bool held() const { return db_ != nullptr; }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace corvaline::testing
