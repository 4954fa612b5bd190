#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvaline::app {

// Turns SIGTERM and SIGINT into a Qt signal on the GUI thread, so that they end the program
// through the orderly shut-down. One instance per process. GUI thread.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    void terminationRequested(int signalNumber);

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvaline::app
