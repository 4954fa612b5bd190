// Selecting a user with a long history in the history viewer: the time until the newest
// entries are laid out on screen, and the longest pause of the event loop while the older ones
// are built below them (measured between the ticks of a zero-interval timer). Prints its
// figures; an optional argument sets the number of entries (default 100000). Runs in a
// temporary HOME under offscreen Qt and opens no port.
#include <stdlib.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/defaults/RegisteredDefaults.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/roster/UserList.h"
#include "core/model/services/CoreServices.h"
#include "core/model/store/AppStore.h"
#include "core/model/store/ObjectContext.h"
#include "platform/defaults/UserDefaults.h"
#include "ui/history/HistoryViewer.h"
#include "ui/history/PrintingTextView.h"

using namespace corvaline;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

namespace {

constexpr std::size_t kBatch = 50000;

void fill(ObjectContext& context, User& user, std::size_t entries) {
    const Date start = std::chrono::system_clock::now() - std::chrono::hours(24 * 365);
    for (std::size_t i = 0; i < entries; ++i) {
        auto message = context.insert<Message>();
        message->setMessage("message number " + std::to_string(i));
        message->setMessageId(static_cast<std::int64_t>(i) + 1);
        message->setIncoming(i % 2 == 0);
        message->setTimeReceived(start + std::chrono::seconds(i));
        message->setTime(start + std::chrono::seconds(i));
        message->addUserObject(user);
        if ((i + 1) % kBatch == 0) {
            context.save();
        }
    }
    context.save();
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::stoul(argv[1]) : 100000;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvaline-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path home = pattern;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("APP_SANDBOX_CONTAINER_ID");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    registerApplicationDefaults(UserDefaults::standard(), {});
    {
        auto* context = AppManagedObjectContext();
        UserList list(context);
        CoreServices::shared().userList = &list;
        list.updateMe();
        auto user = context->insert<User>();
        user->setUserId("A100000001");
        user->setName("Heavy");
        user->setStatus("0");
        fill(*context, *user, entries);

        auto* window = ui::HistoryViewer::initAndShow(nullptr);
        QApplication::processEvents();
        auto* text = window->textView();

        const auto begin = Clock::now();
        window->selectItem(user.get());
        text->document()->documentLayout()->documentSize();
        text->viewport()->repaint();
        const double firstScreen = Milliseconds(Clock::now() - begin).count();

        double longestPause = 0;
        auto last = Clock::now();
        QTimer heartbeat;
        heartbeat.setInterval(0);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longestPause = std::max(longestPause, Milliseconds(now - last).count());
            last = now;
        });
        QEventLoop loop;
        QObject::connect(window, &ui::HistoryViewer::olderEntriesLoaded, &loop, &QEventLoop::quit);
        heartbeat.start();
        last = Clock::now();
        if (window->loadingOlder()) {
            loop.exec();
        }
        heartbeat.stop();
        const double all = Milliseconds(Clock::now() - begin).count();
        std::printf(
            "history viewer, %zu entries: newest screen laid out in %.2f ms; longest event-loop "
            "pause while the rest is built %.2f ms; all %zu entries in %.0f ms\n",
            entries, firstScreen, longestPause, window->takenEntries(), all);
        delete window;
        CoreServices::shared() = CoreServices{};
    }
    AppStore::shared().close();
    std::filesystem::remove_all(home);
    return 0;
}
