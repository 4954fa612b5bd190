#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

struct sqlite3;

namespace corvaline {

namespace sqlite {
class Database;
}

// Carries the write-ahead log of a store into its database file on a thread of its own,
// through a second connection, instead of in the commit that crosses SQLite's threshold: that
// checkpoint copies about a thousand pages and syncs the database file, stalling the
// committing (main) thread. The thread's checkpoint is passive (it never waits for the writer
// or a reader), so it copies the log as far as it was when it began. The log only starts over
// once all of it is copied: the commit after that copy carries over the few frames committed
// meanwhile itself. Should the thread fall far behind, the committing thread checkpoints at
// `kMostFrames`: the log stays bounded.
// Built, attached and destroyed on the store's thread, which runs the commit hook too.
class Checkpointer {
  public:
    // SQLite's own threshold of the automatic checkpoint.
    static constexpr int kFrames = 1000;
    static constexpr int kMostFrames = 8 * kFrames;

    explicit Checkpointer(std::filesystem::path file);
    // Waits for a checkpoint under way.
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    // Takes over from SQLite's automatic checkpoint for the commits of `database` (the
    // connection of `file`), which must outlive this object.
    void attach(sqlite::Database& database);

  private:
    enum class Phase {
        idle,
        asked,    // the thread is to copy the log
        copying,  // it does
        copied,   // it copied the log as far as it was when it began
    };

    static int committed(void* self, sqlite3* db, const char* name, int frames);
    void ask();
    void run();
    void copy(std::unique_ptr<sqlite::Database>& connection) const;

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::atomic<Phase> phase_{Phase::idle};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;  // started by the first request
};

}  // namespace corvaline
