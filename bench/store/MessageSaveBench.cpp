// What the store does for each received message, without the network: the duplicate check by
// message id, the new entry with its sender, and the durable save (WAL, synchronous = FULL) on
// the filesystem of the temporary folder (or of the folder given as the first argument).
// Prints the wall time per message (median, p99), the CPU time per message (of the process, and
// of the thread that saves), and the log frames (pages) each save writes. The second argument sets
// the number of messages (default 2000); every tenth one is a chat line.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/model/UserListModel.h"
#include "core/model/entities/Chat.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"

using namespace corvaline;

namespace {

constexpr int kUsers = 50;
// A log frame: its header and one page of the default size.
constexpr double kFrameBytes = 24 + 4096;
// Fewer frames than the automatic checkpoint's threshold (1000), so that the log only grows.
constexpr int kCountedSaves = 100;

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Sender {
    ObjectContext& context;
    std::vector<std::shared_ptr<User>> users;
    std::shared_ptr<Chat> chat;
    std::int64_t nextId = 1;

    void receive(std::size_t i) {
        const std::int64_t id = 1000000 + nextId++;
        if (MessageIdAlreadyStored(context, id)) {
            return;
        }
        auto message = context.insert<Message>();
        message->setMessage("benchmark message number " + std::to_string(i));
        message->setMessageId(id);
        message->setIncoming(true);
        message->addUserObject(*users[i % users.size()]);
        if (i % 10 == 9) {
            message->setChat(chat.get());
        }
        context.save();
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path parent =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::size_t messages = argc > 2 ? std::stoul(argv[2]) : 2000;
    std::string pattern = (parent / "corvaline-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const auto file = folder / "save.storedata";
    const std::filesystem::path wal = file.string() + "-wal";
    {
        auto context = ObjectContext::open(file, userListModel());
        Sender sender{*context, {}, context->insert<Chat>()};
        for (int i = 0; i < kUsers; ++i) {
            auto user = context->insert<User>();
            user->setUserId("A" + std::to_string(100000000 + i));
            sender.users.push_back(user);
        }
        context->save();

        // Warm-up: the log reaches its working size and is reused from then on.
        for (std::size_t i = 0; i < 1000; ++i) {
            sender.receive(i);
        }
        std::vector<double> times;
        const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double threadBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        for (std::size_t i = 0; i < messages; ++i) {
            const auto start = std::chrono::steady_clock::now();
            sender.receive(i);
            times.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        const double cpu =
            (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) / static_cast<double>(messages);
        const double threadCpu =
            (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadBefore) / static_cast<double>(messages);
        std::sort(times.begin(), times.end());
        std::printf(
            "%zu received messages saved one by one: median %.3f ms, p99 %.3f ms, "
            "p99.9 %.3f ms, longest %.3f ms, CPU %.3f ms per message (%.3f ms on the saving "
            "thread)\n",
            messages, times[times.size() / 2] * 1e3, times[times.size() * 99 / 100] * 1e3,
            times[times.size() * 999 / 1000] * 1e3, times.back() * 1e3, cpu * 1e3, threadCpu * 1e3);

        // The log starts empty; a checkpoint still under way elsewhere answers busy.
        sqlite::Database emptying(file);
        for (int attempt = 0; attempt < 500; ++attempt) {
            auto truncate = emptying.prepare("PRAGMA wal_checkpoint(TRUNCATE)");
            if (truncate.step() && truncate.integer(0) == 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (int i = 0; i < kCountedSaves; ++i) {
            sender.receive(static_cast<std::size_t>(i));
        }
        const double frames =
            (static_cast<double>(std::filesystem::file_size(wal)) - 32) / kFrameBytes;
        std::printf("log frames (pages) written per save: %.2f\n", frames / kCountedSaves);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
