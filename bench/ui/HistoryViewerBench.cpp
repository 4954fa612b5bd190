// Selecting a user with a long history in the history viewer: the time until the newest
// entries are laid out on screen, and the longest pause of the event loop while the older ones
// are built below them (measured between the ticks of a zero-interval timer). Prints its
// figures, then the time of each keystroke typing into the find bar (a word whose first match
// lies near the end of the text, one that matches nothing, one that matches near the top) and
// the longest of them; an optional argument sets the
// number of entries (default 100000). Runs in a temporary HOME under offscreen Qt and opens no
// port.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/ui/LongHistory.h"
#include "core/model/entities/Message.h"
#include "core/model/entities/User.h"
#include "core/model/store/ObjectContext.h"
#include "support/qt/OffscreenCore.h"
#include "support/qt/OffscreenHome.h"
#include "ui/history/FindBar.h"
#include "ui/history/HistoryViewer.h"
#include "ui/history/PrintingTextView.h"

using namespace corvaline;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

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
        auto user = context.insert<User>();
        user->setUserId("A100000001");
        user->setName("Heavy");
        user->setStatus("0");
        bench::fillHistory(context, *user, entries);

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

        // A person typing into the find bar, one keystroke after the other, each followed by
        // the repaint the person sees: the time of each keystroke is printed.
        auto keystrokes = [&](const QString& word) {
            double longest = 0;
            std::printf("typing \"%s\":", qPrintable(word));
            for (qsizetype length = 1; length <= word.size(); ++length) {
                const auto typed = Clock::now();
                window->findBar()->field()->setText(word.left(length));
                text->viewport()->repaint();
                const double took = Milliseconds(Clock::now() - typed).count();
                std::printf(" %.1f", took);
                longest = std::max(longest, took);
            }
            std::printf(" ms\n");
            window->findBar()->field()->clear();
            return longest;
        };
        const double matching = keystrokes(QStringLiteral("number 4242"));
        const double missing = keystrokes(QStringLiteral("zqx"));
        const double late = keystrokes(QStringLiteral("number 999"));
        std::printf(
            "find bar over %zu entries: longest keystroke %.1f ms typing words that match, "
            "%.1f ms typing one that matches nothing\n",
            entries, std::max(matching, late), missing);
        delete window;
    }
    return 0;
}
