#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <utility>

namespace corvaline::ui {
class RosterModel;
}

namespace corvaline::app {

// For the benchmarks: while CORVALINE_MAIN_PROBE names a file, a heartbeat on the main thread
// measures how long the event loop was kept from its timers, and every 50 ms a line
//   <steady clock s> <online users the main list shows> <longest stall ms>
//   <of it on a CPU ms> <of it waiting for a CPU ms> <most CPU ms between two beats>
// is appended to that file (all since the line before; the rest of a stall the thread was
// blocked, on the disk say). It stops after CORVALINE_MAIN_PROBE_SECONDS (60 unless given), so
// an idle measurement after it sees no heartbeat. Off (and free) without the variable.
// GUI thread.
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
    int schedstat_;                     // the main thread's scheduler statistics
    std::pair<qint64, qint64> atBeat_;  // on a CPU and waiting for one until the last beat
    struct Stall {
        qint64 gapNs = 0;
        qint64 runningNs = 0;
        qint64 waitingNs = 0;
    } longest_;
    qint64 longestRunningNs_ = 0;
};

}  // namespace corvaline::app
