#include "core/model/store/Checkpointer.h"

#include <sqlite3.h>

#include <memory>

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
    if (frames >= kMostFrames) {
        // Busy when the thread is copying right now: then it is the next commit's turn.
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    } else if (frames >= kFrames) {
        static_cast<Checkpointer*>(self)->request();
    }
    return SQLITE_OK;
}

void Checkpointer::request() {
    {
        std::lock_guard lock(mutex_);
        if (requested_) {
            return;
        }
        requested_ = true;
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
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (stopping_) {
            break;
        }
        requested_ = false;
        lock.unlock();
        try {
            if (!connection) {
                connection = std::make_unique<sqlite::Database>(file_);
                connection->execute("PRAGMA synchronous = FULL");
                sqlite3_busy_timeout(connection->handle(), 1000);
                // A connection finds the log with its first read; until then it has none to copy.
                connection->scalar("SELECT count(*) FROM sqlite_master");
            }
            // A log left partly copied because commits came meanwhile is taken up again at
            // the next commit, which asks again while the log is past the threshold.
            const int code = sqlite3_wal_checkpoint_v2(connection->handle(), nullptr,
                                                       SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            if (code != SQLITE_OK && code != SQLITE_BUSY) {
                connection.reset();  // opened again at the next request
            }
        } catch (const sqlite::Error&) {
            connection.reset();
        }
        lock.lock();
    }
}

}  // namespace corvaline
