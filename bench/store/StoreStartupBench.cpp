// Start-up cost of the store with a large history, beside an empty store, and the cost of the
// newest entries of one user. Prints its figures; an optional argument sets the number of
// messages (default 1000000).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/model/UserListModel.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"

using namespace corvaline;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr int kUsers = 200;
constexpr std::size_t kHeavyUserEntries = 100000;
constexpr std::size_t kBatch = 50000;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

void fill(const std::filesystem::path& file, std::size_t messages) {
    auto context = ObjectContext::open(file, userListModel());
    std::vector<std::shared_ptr<User>> users;
    for (int i = 0; i < kUsers; ++i) {
        auto user = context->insert<User>();
        user->setUserId("A" + std::to_string(100000000 + i));
        users.push_back(user);
    }
    const Date start = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
    for (std::size_t i = 0; i < messages; ++i) {
        auto message = context->insert<Message>();
        message->setMessage("message number " + std::to_string(i));
        message->setMessageId(static_cast<std::int64_t>(i) + 1);
        message->setIncoming(i % 2 == 0);
        message->setTimeReceived(start + std::chrono::seconds(i));
        message->setTime(start + std::chrono::seconds(i));
        auto& owner = i < kHeavyUserEntries ? users[0] : users[1 + i % (kUsers - 1)];
        message->addUserObject(*owner);
        if ((i + 1) % kBatch == 0) {
            context->save();
        }
    }
    context->save();
}

// Opening the store and loading the roster, as the program does at start: the time, and the
// number of users loaded.
std::pair<double, std::size_t> startUp(const std::filesystem::path& file) {
    const auto begin = std::chrono::steady_clock::now();
    auto context = ObjectContext::open(file, userListModel());
    const auto users = context->fetch<User>();
    return {secondsSince(begin), users.size()};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t messages = argc > 1 ? std::stoul(argv[1]) : 1000000;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvaline-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const auto full = folder / "full.storedata";
    const auto empty = folder / "empty.storedata";

    auto begin = std::chrono::steady_clock::now();
    fill(full, messages);
    std::printf("filled %zu messages across %d users in %.1f s (%.1f MB)\n", messages, kUsers,
                secondsSince(begin), static_cast<double>(std::filesystem::file_size(full)) / 1e6);
    ObjectContext::open(empty, userListModel());

    const auto [fullStart, users] = startUp(full);
    const auto [emptyStart, none] = startUp(empty);
    std::printf(
        "start-up (open, load the roster): %.2f ms with %zu users and the history, "
        "%.2f ms with an empty store (%zu users)\n",
        fullStart * 1e3, users, emptyStart * 1e3, none);

    auto context = ObjectContext::open(full, userListModel());
    const auto heavy = context->fetch<User>()[0];
    constexpr int kRuns = 200;
    begin = std::chrono::steady_clock::now();
    std::size_t fetched = 0;
    for (int run = 0; run < kRuns; ++run) {
        fetched += heavy->lastLogEnties(20).size();
    }
    std::printf("newest 20 of %zu entries of one user: %.3f ms per fetch (%zu fetched)\n",
                heavy->logEntriesNumber(), secondsSince(begin) * 1e3 / kRuns, fetched / kRuns);

    context.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
