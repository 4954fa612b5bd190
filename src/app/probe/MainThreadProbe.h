#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace corvaline::ui {
class RosterModel;
}

namespace corvaline::app {

// For the benchmarks: while CORVALINE_MAIN_PROBE names a file, a heartbeat on the main thread
// measures how long the event loop was kept from its timers, and every 50 ms a line
//   <steady clock seconds> <online users the main list shows> <longest stall in ms>
//   <most CPU time in ms the thread spent between two beats>
// is appended to that file (both since the line before: a stall the thread spent waiting for
// a CPU or the disk is long but not busy). It stops after
// CORVALINE_MAIN_PROBE_SECONDS (60 unless given), so an idle measurement after it sees no
// heartbeat. Off (and free) without the variable. GUI thread.
class MainThreadProbe : public QObject {
    Q_OBJECT
  public:
    // Starts a probe of the model's list when the environment asks for one; the model owns it.
    static void startIfAsked(ui::RosterModel& model);

    MainThreadProbe(ui::RosterModel& model, std::FILE* file, std::chrono::seconds lifetime);
    ~MainThreadProbe() override;

  private:
    void beat();
    void report();

    const ui::RosterModel& model_;
    std::FILE* file_;
    QTimer heartbeat_;
    QTimer reports_;
    QElapsedTimer sinceBeat_;
    qint64 longestGapNs_ = 0;
    qint64 cpuAtBeatNs_ = 0;
    qint64 longestBusyNs_ = 0;
};

}  // namespace corvaline::app
