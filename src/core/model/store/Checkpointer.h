#pragma once

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
// checkpoint syncs the database file and would stall the committing (main) thread. The
// checkpoint is passive: it never waits for the writer or a reader. When commits come faster
// than it copies, so that the log is never all copied and cannot start over, the committing
// thread checkpoints once itself at `kMostFrames`: the log stays bounded.
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
    static int committed(void* self, sqlite3* db, const char* name, int frames);
    void request();
    void run();

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool stopping_ = false;
    std::thread thread_;  // started by the first request
};

}  // namespace corvaline
