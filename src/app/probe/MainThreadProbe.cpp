#include "app/probe/MainThreadProbe.h"

#include <time.h>

#include <algorithm>
#include <cstdlib>

#include "core/model/entities/Group.h"
#include "core/model/entities/User.h"
#include "ui/roster/RosterModel.h"

namespace corvaline::app {
namespace {

constexpr int kBeatMs = 5;
constexpr int kReportMs = 50;

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
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
    : QObject(&model), model_(model), file_(file) {
    heartbeat_.setTimerType(Qt::PreciseTimer);
    connect(&heartbeat_, &QTimer::timeout, this, &MainThreadProbe::beat);
    connect(&reports_, &QTimer::timeout, this, &MainThreadProbe::report);
    heartbeat_.start(kBeatMs);
    reports_.start(kReportMs);
    sinceBeat_.start();
    cpuAtBeatNs_ = threadCpuNs();
    QTimer::singleShot(lifetime, this, [this] {
        report();
        heartbeat_.stop();
        reports_.stop();
    });
}

MainThreadProbe::~MainThreadProbe() {
    std::fclose(file_);
}

void MainThreadProbe::beat() {
    // A beat late by more than its interval: the loop was busy for the rest of the gap.
    longestGapNs_ = std::max(longestGapNs_, sinceBeat_.nsecsElapsed());
    sinceBeat_.restart();
    const qint64 cpu = threadCpuNs();
    longestBusyNs_ = std::max(longestBusyNs_, cpu - cpuAtBeatNs_);
    cpuAtBeatNs_ = cpu;
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
    const double stallMs = std::max<double>(0.0, longestGapNs_ / 1e6 - kBeatMs);
    std::fprintf(file_, "%.3f %d %.1f %.1f\n", now, online, stallMs, longestBusyNs_ / 1e6);
    std::fflush(file_);
    longestGapNs_ = 0;
    longestBusyNs_ = 0;
}

}  // namespace corvaline::app
