#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QLocalServer;

namespace corvaline::app {

// One running copy per user: a lock file and a local socket in $XDG_RUNTIME_DIR. A new copy
// asks the running one to quit and waits for its lock before it opens the store or a port;
// `--show` asks the running copy to bring its window forward instead. A lock left by a killed
// copy is taken over. GUI thread.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Outcome {
        Acquired,       // this copy runs; the old one, if any, has gone
        Shown,          // the running copy was asked to show its window; this one ends
        OldCopyStayed,  // the old copy still holds the lock after the wait
    };

    // `folder`: where the lock and the socket live (the runtime folder by default).
    explicit SingleInstance(QString folder = runtimeFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // With `show`, a running copy is asked to show itself; otherwise to quit, then its lock is
    // awaited for at most `wait` while events keep being handled.
    Outcome acquire(bool show, std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Gives the lock up (after the store is saved and the ports are closed).
    void release();
    bool holdsLock() const { return lock_.isLocked(); }

    QString lockPath() const;
    QString socketPath() const;
    // $XDG_RUNTIME_DIR, else a per-user folder in the temporary folder.
    static QString runtimeFolder();

  signals:
    // Another copy asks this one to end.
    void quitRequested();
    // Another copy was started with --show.
    void showRequested();

  private:
    bool ask(const QByteArray& request);
    void listen();

    QString folder_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace corvaline::app
