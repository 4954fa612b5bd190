#include "core/model/store/Checkpointer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"
#include "core/model/store/TestModel.h"
#include "support/TempFolder.h"

namespace corvaline {
namespace {

namespace fs = std::filesystem;

class CheckpointerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context_ = ObjectContext::open(file_, *model_);
        ann_ = context_->insertNewObject("Person");
        ann_->setValue("name", std::string("Ann"));
        context_->save();
    }

    // One note of Ann's, a page's worth of text, saved on its own.
    void saveNote(int number) {
        auto note = context_->insertNewObject("Note");
        note->setValue("text", std::to_string(number) + std::string(1500, 'n'));
        note->setValue("written", Date{} + std::chrono::minutes(number));
        note->addToMany("people", ann_.get());
        context_->save();
    }

    // Frames in the log file: its high-water mark, as the file is reused from the start.
    std::uintmax_t logFrames() const {
        std::error_code missing;
        const auto size = fs::file_size(file_.string() + "-wal", missing);
        return missing || size < 32 ? 0 : (size - 32) / (24 + 4096);
    }

    std::unique_ptr<ManagedObjectModel> model_ = testing::makeTestModel();
    testing::TempFolder folder_;
    fs::path file_ = folder_.path() / "test.storedata";
    std::unique_ptr<ObjectContext> context_;
    std::shared_ptr<ManagedObject> ann_;
};

// Saved one at a time as fast as they come, these notes would fill a log of several times the
// limit if nothing were copied out of it.
TEST_F(CheckpointerTest, TheLogStaysBoundedAndClosingKeepsEverySave) {
    constexpr int kSaves = 2500;
    std::uintmax_t largest = 0;
    for (int i = 0; i < kSaves; ++i) {
        saveNote(i);
        largest = std::max(largest, logFrames());
    }
    EXPECT_LE(largest, std::uintmax_t{Checkpointer::kMostFrames + Checkpointer::kFrames});
    context_.reset();
    EXPECT_FALSE(fs::exists(file_.string() + "-wal")) << "closing copies the log and removes it";

    sqlite::Database check(file_);
    EXPECT_EQ(check.scalar("SELECT count(*) FROM Note"), kSaves);
    EXPECT_EQ(check.scalar("SELECT n FROM NotePersonCount"), kSaves);
    EXPECT_EQ(check.scalar("SELECT count(*) FROM pragma_integrity_check WHERE "
                           "integrity_check != 'ok'"),
              0);
}

// Counts the writes into one file (by SQLite's own system call, so nothing else is seen) made
// by one thread and by the others.
class FileWrites {
  public:
    FileWrites(fs::path file, std::thread::id thread) : file_(std::move(file)), thread_(thread) {
        vfs_ = sqlite3_vfs_find(nullptr);
        active_ = this;
        for (const char* call : kCalls) {
            real_.push_back(reinterpret_cast<Pwrite>(vfs_->xGetSystemCall(vfs_, call)));
        }
        vfs_->xSetSystemCall(vfs_, kCalls[0], reinterpret_cast<sqlite3_syscall_ptr>(&recorded<0>));
        vfs_->xSetSystemCall(vfs_, kCalls[1], reinterpret_cast<sqlite3_syscall_ptr>(&recorded<1>));
    }
    ~FileWrites() {
        for (const char* call : kCalls) {
            vfs_->xSetSystemCall(vfs_, call, nullptr);  // SQLite's own again
        }
        active_ = nullptr;
    }
    FileWrites(const FileWrites&) = delete;
    FileWrites& operator=(const FileWrites&) = delete;

    int onThread() const { return onThread_; }
    int elsewhere() const { return elsewhere_; }

  private:
    using Pwrite = ssize_t (*)(int, const void*, size_t, off_t);
    // SQLite writes pages with one or the other, depending on how it was built.
    static constexpr const char* kCalls[] = {"pwrite", "pwrite64"};
    template <int call>
    static ssize_t recorded(int descriptor, const void* bytes, size_t size, off_t offset) {
        std::error_code error;
        const auto written = fs::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
        if (!error && written == active_->file_) {
            ++(std::this_thread::get_id() == active_->thread_ ? active_->onThread_
                                                              : active_->elsewhere_);
        }
        return active_->real_[call](descriptor, bytes, size, offset);
    }

    static inline FileWrites* active_ = nullptr;
    fs::path file_;
    std::thread::id thread_;
    sqlite3_vfs* vfs_ = nullptr;
    std::vector<Pwrite> real_;
    std::atomic<int> onThread_{0};
    std::atomic<int> elsewhere_{0};
};

// SQLite's own checkpoint would copy the log into the database file inside the commit that
// crosses its threshold, on the thread that commits.
TEST_F(CheckpointerTest, OnlyAnotherThreadCopiesTheLogIntoTheDatabaseFile) {
    FileWrites writes(fs::canonical(file_), std::this_thread::get_id());
    for (int i = 0; i < 4 * Checkpointer::kFrames && logFrames() < Checkpointer::kFrames; ++i) {
        saveNote(i);
    }
    ASSERT_GE(logFrames(), std::uintmax_t{Checkpointer::kFrames});
    ASSERT_LT(logFrames(), std::uintmax_t{Checkpointer::kMostFrames});
    for (int wait = 0; wait < 1000 && writes.elsewhere() == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(writes.elsewhere(), 0);
    EXPECT_EQ(writes.onThread(), 0);
    context_.reset();  // its thread ends before the writes stop being counted
}

}  // namespace
}  // namespace corvaline
