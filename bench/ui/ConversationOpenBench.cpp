// Opening a one-user conversation window until its text is laid out: for a user with a long
// history (count and newest entries included) beside a user without any. Prints its figures;
// an optional argument sets the number of entries (default 100000). Runs in a temporary HOME
// under offscreen Qt and opens no port.
#include <time.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/ui/LongHistory.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "support/qt/OffscreenCore.h"
#include "support/qt/OffscreenHome.h"
#include "ui/conversation/Conversation.h"
#include "ui/conversation/TextViewForReading.h"

using namespace corvaline;
using Milliseconds = std::chrono::duration<double, std::milli>;

namespace {

constexpr int kRuns = 30;

std::shared_ptr<User> makeUser(ObjectContext& context, const std::string& id) {
    auto user = context.insert<User>();
    user->setUserId(id);
    user->setName(id);
    user->setStatus("0");
    return user;
}

// This thread's processor time: on a busy machine it shows the work itself, which the
// wall-clock time mixes with the waits for a processor.
Milliseconds cpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

double median(std::vector<double> times) {
    std::nth_element(times.begin(), times.begin() + kRuns / 2, times.end());
    return times[kRuns / 2];
}

struct Figures {
    double wall;
    double cpu;
};

// The median times of opening the window and laying its text out.
Figures openAndLayOut(User& user) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < kRuns; ++run) {
        const auto begin = std::chrono::steady_clock::now();
        const auto cpuBegin = cpuTime();
        auto held = ui::Conversation::open({&user}, nullptr, false, {});
        auto* window = ui::Conversation::from(held);
        window->conversationTextView()->document()->documentLayout()->documentSize();
        cpu.push_back((cpuTime() - cpuBegin).count());
        wall.push_back(Milliseconds(std::chrono::steady_clock::now() - begin).count());
        delete window;
    }
    return {median(wall), median(cpu)};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::stoul(argv[1]) : 100000;
    testing::OffscreenHome home("corvaline-bench");
    if (!home.made()) {
        return 1;
    }
    QApplication application(argc, argv);
    testing::OffscreenCore core;
    if (!core.made()) {
        return 1;
    }
    {
        auto& context = core.context();
        auto heavy = makeUser(context, "A100000001");
        auto empty = makeUser(context, "A100000002");
        bench::fillHistory(context, *heavy, entries);

        openAndLayOut(*empty);  // loads the dictionaries and warms the caches
        auto begin = std::chrono::steady_clock::now();
        const std::size_t counted = heavy->logEntriesNumber();
        const double count = Milliseconds(std::chrono::steady_clock::now() - begin).count();
        const Figures full = openAndLayOut(*heavy);
        const Figures none = openAndLayOut(*empty);
        std::printf(
            "open and lay out a conversation: %.2f ms with %zu entries, %.2f ms without; "
            "%.2f ms more (the count alone: %.2f ms); processor time %.2f ms, %.2f ms, "
            "%.2f ms more\n",
            full.wall, counted, none.wall, full.wall - none.wall, count, full.cpu, none.cpu,
            full.cpu - none.cpu);
    }
    return 0;
}
