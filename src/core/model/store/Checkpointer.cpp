#include "core/model/store/Checkpointer.h"

#include <sqlite3.h>

#include <memory>
#include <system_error>

#include "core/model/store/Sqlite.h"

namespace corvaline {

Checkpointer::Checkpointer(std::filesystem::path file) : file_(std::move(file)) {}

Checkpointer::~Checkpointer() {
    if (db_) {
        sqlite3_wal_hook(db_, nullptr, nullptr);
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Checkpointer::attach(sqlite::Database& database) {
    db_ = database.handle();
    sqlite3_wal_hook(db_, &Checkpointer::committed, this);
}

int Checkpointer::committed(void* self, sqlite3* db, const char* name, int frames) {
    auto& checkpointer = *static_cast<Checkpointer*>(self);
    auto copied = Phase::copied;
    if (frames < kFrames) {
        // The log started over: the thread's copy was complete.
        checkpointer.phase_.compare_exchange_strong(copied, Phase::idle);
    } else if (frames >= kMostFrames ||
               checkpointer.phase_.compare_exchange_strong(copied, Phase::idle)) {
        // Busy when the thread is copying right now: then it is the next commit's turn.
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    } else if (auto idle = Phase::idle;
               checkpointer.phase_.compare_exchange_strong(idle, Phase::asked)) {
        try {
            checkpointer.ask();
        } catch (const std::system_error&) {
            // No thread to be had: nothing may be thrown through SQLite, and the log must
            // not grow, so this commit copies it, as SQLite's own checkpoint would have.
            checkpointer.phase_ = Phase::idle;
            sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
    }
    return SQLITE_OK;
}

void Checkpointer::ask() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
            return;
        }
    }
    wake_.notify_one();
}

void Checkpointer::run() {
    std::unique_ptr<sqlite::Database> connection;
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return phase_ == Phase::asked || stopping_; });
        if (stopping_) {
            break;
        }
        phase_ = Phase::copying;
        lock.unlock();
        copy(connection);
        phase_ = Phase::copied;
        lock.lock();
    }
}

void Checkpointer::copy(std::unique_ptr<sqlite::Database>& connection) const {
    try {
        if (!connection) {
            connection = std::make_unique<sqlite::Database>(file_);
            connection->execute("PRAGMA synchronous = FULL");
            sqlite3_busy_timeout(connection->handle(), 1000);
            // A connection finds the log with its first read; until then it has none to copy.
            connection->scalar("SELECT count(*) FROM sqlite_master");
        }
        const int code = sqlite3_wal_checkpoint_v2(connection->handle(), nullptr,
                                                   SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (code != SQLITE_OK && code != SQLITE_BUSY) {
            connection.reset();  // opened again at the next request
        }
    } catch (const sqlite::Error&) {
        connection.reset();
    }
}

}  // namespace corvaline
