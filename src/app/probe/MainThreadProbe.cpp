#include "app/probe/MainThreadProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "ui/roster/RosterModel.h"

namespace corvaline::app {
namespace {

constexpr int kBeatMs = 5;
constexpr int kReportMs = 50;

// The thread's time on a CPU and waiting for one so far, from the scheduler's statistics
// ("<on a CPU ns> <waiting on a run queue ns> <slices>"); zeros when they cannot be read.
std::pair<qint64, qint64> schedulerTimes(int schedstat) {
    char text[128] = {};
    if (::pread(schedstat, text, sizeof text - 1, 0) <= 0) {
        return {0, 0};
    }
    long long running = 0;
    long long waiting = 0;
    if (std::sscanf(text, "%lld %lld", &running, &waiting) != 2) {
        return {0, 0};
    }
    return {running, waiting};
}

}  // namespace

void MainThreadProbe::startIfAsked(ui::RosterModel& model) {
    const char* path = std::getenv("CORVALINE_MAIN_PROBE");
    if (!path || !*path) {
        return;
    }
    std::FILE* file = std::fopen(path, "a");
    if (!file) {
        return;
    }
    const char* seconds = std::getenv("CORVALINE_MAIN_PROBE_SECONDS");
    const int lifetime = seconds ? std::atoi(seconds) : 0;
    new MainThreadProbe(model, file, std::chrono::seconds(lifetime > 0 ? lifetime : 60));
}

MainThreadProbe::MainThreadProbe(ui::RosterModel& model, std::FILE* file,
                                 std::chrono::seconds lifetime)
    : QObject(&model),
      model_(model),
      file_(file),
      schedstat_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {
    heartbeat_.setTimerType(Qt::PreciseTimer);
    connect(&heartbeat_, &QTimer::timeout, this, &MainThreadProbe::beat);
    connect(&reports_, &QTimer::timeout, this, &MainThreadProbe::report);
    heartbeat_.start(kBeatMs);
    reports_.start(kReportMs);
    sinceBeat_.start();
    atBeat_ = schedulerTimes(schedstat_);
    QTimer::singleShot(lifetime, this, [this] {
        report();
        heartbeat_.stop();
        reports_.stop();
    });
}

MainThreadProbe::~MainThreadProbe() {
    if (schedstat_ >= 0) {
        ::close(schedstat_);
    }
    std::fclose(file_);
}

void MainThreadProbe::beat() {
    // A beat late by more than its interval: the loop was kept from it for the rest of the
    // gap, running, waiting for a CPU, or blocked (the disk).
    const qint64 gap = sinceBeat_.nsecsElapsed();
    sinceBeat_.restart();
    const auto now = schedulerTimes(schedstat_);
    const qint64 running = now.first - atBeat_.first;
    if (gap > longest_.gapNs) {
        longest_ = {gap, running, now.second - atBeat_.second};
    }
    longestRunningNs_ = std::max(longestRunningNs_, running);
    atBeat_ = now;
}

void MainThreadProbe::report() {
    beat();
    int online = 0;
    for (const Group* group : model_.groups()) {
        for (const User* user : model_.shownUsers(*group)) {
            online += user->userOffline() ? 0 : 1;
        }
    }
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const double stallMs = std::max<double>(0.0, longest_.gapNs / 1e6 - kBeatMs);
    std::fprintf(file_, "%.3f %d %.1f %.1f %.1f %.1f\n", now, online, stallMs,
                 longest_.runningNs / 1e6, longest_.waitingNs / 1e6, longestRunningNs_ / 1e6);
    std::fflush(file_);
    longest_ = {};
    longestRunningNs_ = 0;
}

}  // namespace corvaline::app
